#include "application.h"

#include <exception>

#include "messagebox.h"

namespace tvl::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportUnexpectedError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportUnexpectedError(QStringLiteral("Unknown error"));
    }
    return false;
}

void reportUnexpectedError(const QString& text) {
    MessageBox::error(QApplication::activeWindow(), text);
}

}  // namespace tvl::ui
