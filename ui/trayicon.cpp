#include "trayicon.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QMenu>
#include <QStyle>

namespace tvl::ui {

TrayIcon::TrayIcon(Availability availability) : QObject(nullptr) {
    m_available = availability == Availability::AsTheDesktopSays
                      ? QSystemTrayIcon::isSystemTrayAvailable()
                      : availability == Availability::Available;

    m_menu = new QMenu();
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_miOpen = m_menu->addAction(QStringLiteral("&Open"));
    m_miOpen->setObjectName(QStringLiteral("miOpen"));
    QFont bold = m_miOpen->font();
    bold.setBold(true);
    m_miOpen->setFont(bold);
    m_menu->setDefaultAction(m_miOpen);
    m_miClose = m_menu->addAction(QStringLiteral("&Close"));
    m_miClose->setObjectName(QStringLiteral("miClose"));

    m_icon = new QSystemTrayIcon(this);
    m_icon->setObjectName(QStringLiteral("TrIco"));
    m_icon->setIcon(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon));
    setNotice(QString());
    m_icon->setContextMenu(m_menu);

    connect(m_miOpen, &QAction::triggered, this, &TrayIcon::miOpenClick);
    connect(m_miClose, &QAction::triggered, this, &TrayIcon::exitRequested);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::activated);

    if (m_available) {
        m_icon->show();
    }
}

TrayIcon::~TrayIcon() {
    if (available()) {
        emit availabilityChanged(false);
    }
    delete m_menu;
}

bool TrayIcon::isShown() const {
    return m_available && !m_removed && m_icon->isVisible();
}

void TrayIcon::remove() {
    const bool was = available();
    m_removed = true;
    m_icon->hide();
    if (was) {
        emit availabilityChanged(false);
    }
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            TrIcoClick();
            break;
        case QSystemTrayIcon::DoubleClick:
            // The first click of the pair has already acted: a double-click ends with the
            // window shown, whatever it was before.
            miOpenClick();
            break;
        default:
            // The menu is the platform's business; it never changes the window's state.
            break;
    }
}

void TrayIcon::TrIcoClick() {
    emit toggleRequested();
}

void TrayIcon::miOpenClick() {
    emit activationRequested();
}

void TrayIcon::setNotice(const QString& text) {
    const QString name = QStringLiteral("Tarvel Utility");
    m_icon->setToolTip(text.isEmpty() ? name : name + QLatin1Char('\n') + text);
}

}  // namespace tvl::ui
