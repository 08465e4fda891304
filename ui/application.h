#pragma once

#include <QApplication>
#include <QString>

namespace tvl::ui {

// The application object. An error that escapes an event handler ends that handler only:
// it is shown in a box with its text and the program goes on.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The general handler of unexpected errors: shows the text in an error box.
void reportUnexpectedError(const QString& text);

// Runs a handler; an exception that leaves it goes to the general handler.
template <class F>
void guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        reportUnexpectedError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportUnexpectedError(QStringLiteral("Unknown error"));
    }
}

}  // namespace tvl::ui
