#include "messagebox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QMessageBox>

namespace tvl::ui {

namespace {

struct TestState {
    bool on = false;
    std::deque<MessageBox::Answer> answers;
    std::vector<MessageBox::Shown> shown;
};

TestState& state() {
    static TestState s;
    return s;
}

// The answer that TVL_TEST_ANSWER asks for; false when the variable is unset or unknown.
bool environmentAnswer(MessageBox::Answer& answer) {
    const char* value = std::getenv("TVL_TEST_ANSWER");
    if (value == nullptr) {
        return false;
    }
    if (std::strcmp(value, "yes") == 0) {
        answer = MessageBox::Answer::Yes;
    } else if (std::strcmp(value, "no") == 0) {
        answer = MessageBox::Answer::No;
    } else if (std::strcmp(value, "ok") == 0) {
        answer = MessageBox::Answer::Ok;
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* iconName(MessageBox::Icon icon) {
    switch (icon) {
        case MessageBox::Icon::Error:
            return "error";
        case MessageBox::Icon::Warning:
            return "warning";
        case MessageBox::Icon::None:
            break;
    }
    return "none";
}

void MessageBox::error(QWidget* parent, const QString& text) {
    show(parent, Shown{QString::fromLatin1(kTitle), Icon::Error, text, false});
}

void MessageBox::warning(QWidget* parent, const QString& text) {
    show(parent, Shown{QString::fromLatin1(kTitle), Icon::Warning, text, false});
}

bool MessageBox::question(QWidget* parent, const QString& text) {
    return show(parent, Shown{QString::fromLatin1(kTitle), Icon::None, text, true}) == Answer::Yes;
}

void MessageBox::plain(QWidget* parent, const QString& text) {
    plain(parent, text, QString::fromLatin1(kTitle));
}

void MessageBox::plain(QWidget* parent, const QString& text, const QString& title) {
    show(parent, Shown{title, Icon::None, text, false});
}

void MessageBox::setTestMode(bool on) {
    state().on = on;
    clear();
}

bool MessageBox::testMode() {
    return state().on;
}

void MessageBox::queueAnswers(std::initializer_list<Answer> answers) {
    state().answers.insert(state().answers.end(), answers.begin(), answers.end());
}

std::vector<MessageBox::Shown> MessageBox::takeShown() {
    std::vector<Shown> shown;
    shown.swap(state().shown);
    return shown;
}

void MessageBox::clear() {
    state().answers.clear();
    state().shown.clear();
}

MessageBox::Answer MessageBox::show(QWidget* parent, const Shown& box) {
    if (state().on) {
        state().shown.push_back(box);
        Answer answer = box.question ? Answer::No : Answer::Ok;
        if (box.question && !state().answers.empty()) {
            answer = state().answers.front();
            state().answers.pop_front();
        }
        return answer;
    }

    Answer answer = Answer::Ok;
    if (environmentAnswer(answer)) {
        std::fprintf(stderr, "TVL box: title=%s icon=%s text=%s\n", box.title.toUtf8().constData(),
                     iconName(box.icon), box.text.toUtf8().constData());
        std::fflush(stderr);
        return answer;
    }

    QMessageBox dialog(parent);
    dialog.setWindowTitle(box.title);
    dialog.setText(box.text);
    switch (box.icon) {
        case Icon::Error:
            dialog.setIcon(QMessageBox::Critical);
            break;
        case Icon::Warning:
            dialog.setIcon(QMessageBox::Warning);
            break;
        case Icon::None:
            dialog.setIcon(QMessageBox::NoIcon);
            break;
    }
    if (box.question) {
        dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        dialog.setDefaultButton(QMessageBox::Yes);
        return dialog.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    dialog.setStandardButtons(QMessageBox::Ok);
    dialog.exec();
    return Answer::Ok;
}

}  // namespace tvl::ui
