#include "waitwindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "placement.h"

namespace tvl::ui {

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

void WaitWindow::showOver(const QWidget* mainWindow) {
    if (!m_placed && mainWindow != nullptr) {
        m_placed = true;
        centreOn(*this, *mainWindow);
    }
    show();
    raise();
    repaint();
}

}  // namespace tvl::ui
