#include "trayicon.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QMenu>
#include <QStyle>

#include "application.h"
#include "mainwindow.h"

namespace tvl::ui {

TrayIcon::TrayIcon(MainWindow& main, Availability availability) : QObject(nullptr), m_main(main) {
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
    m_icon->setToolTip(QStringLiteral("Tarvel Utility"));
    m_icon->setContextMenu(m_menu);

    connect(m_miOpen, &QAction::triggered, this, [this] { guarded([this] { miOpenClick(); }); });
    connect(m_miClose, &QAction::triggered, this,
            [this] { guarded([this] { m_main.ExitClick(); }); });
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                guarded([this, reason] { activated(reason); });
            });

    m_main.setTrayIcon(this);
    if (m_available) {
        m_icon->show();
    }
}

TrayIcon::~TrayIcon() {
    m_main.setTrayIcon(nullptr);
    delete m_menu;
}

bool TrayIcon::isShown() const {
    return m_available && !m_removed && m_icon->isVisible();
}

void TrayIcon::remove() {
    m_removed = true;
    m_icon->hide();
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
    if (m_main.isVisible() && !m_main.isMinimized()) {
        m_main.minimize();
    } else {
        miOpenClick();
    }
}

void TrayIcon::miOpenClick() {
    m_main.wakeUp();
}

}  // namespace tvl::ui
