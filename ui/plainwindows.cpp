#include "plainwindows.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tvl::ui {

DateIntervalDialog::DateIntervalDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmQueDlg"));
    setWindowTitle(QStringLiteral("Date Interval"));
}

TaskViewerWindow::TaskViewerWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("fmRepDlg"));
    setWindowTitle(QStringLiteral("Task Viewer"));
    resize(696, 480);
}

WaitWindow::WaitWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("fmWait"));
    auto* panel = new QLabel(QStringLiteral("List loading, please wait"), this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    setFixedSize(223, 95);
}

}  // namespace tvl::ui
