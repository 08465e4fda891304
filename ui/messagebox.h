#pragma once

#include <deque>
#include <vector>

#include <QString>

class QWidget;

namespace tvl::ui {

// Every box of the program goes through this class, so a test can answer it without a
// person and no modal box ever blocks a test.
//
// When the environment variable TVL_TEST_ANSWER is "yes", "no" or "ok", no box is shown:
// the box's title, icon and text go to stderr and that answer is given. In-process tests
// switch the test mode on with setTestMode(), queue the next answers and read back the
// boxes that were asked for.
class MessageBox {
public:
    enum class Icon { None, Error, Warning };
    enum class Answer { Ok, Yes, No };

    struct Shown {
        QString title;
        Icon icon = Icon::None;
        QString text;
        bool question = false;
    };

    static constexpr const char* kTitle = "TVL";

    // Error icon, OK button, title "TVL".
    static void error(QWidget* parent, const QString& text);
    // Exclamation icon, OK button, title "TVL".
    static void warning(QWidget* parent, const QString& text);
    // Yes and No buttons, no icon, title "TVL"; true for Yes.
    static bool question(QWidget* parent, const QString& text);
    // OK button only, no icon, title "TVL" or the one given.
    static void plain(QWidget* parent, const QString& text);
    static void plain(QWidget* parent, const QString& text, const QString& title);

    static void setTestMode(bool on);
    static bool testMode();
    // Answers for the next questions, in order; a question with none queued gets No.
    static void queueAnswers(std::initializer_list<Answer> answers);
    static std::vector<Shown> takeShown();
    static void clear();

private:
    static Answer show(QWidget* parent, const Shown& box);
};

const char* iconName(MessageBox::Icon icon);

}  // namespace tvl::ui
