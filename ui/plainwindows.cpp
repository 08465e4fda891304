#include "plainwindows.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tvl::ui {

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmAboutDlg"));
    setWindowTitle(QStringLiteral("About"));
}

}  // namespace tvl::ui
