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
    m_normalIcon = QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
    m_icon->setIcon(m_normalIcon);
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
    m_notice = text;
    showToolTip();
}

void TrayIcon::showToolTip() {
    QStringList lines{QStringLiteral("Tarvel Utility")};
    if (!m_notice.isEmpty()) {
        lines << m_notice;
    }
    m_icon->setToolTip((lines + m_warnings).join(QLatin1Char('\n')));
}

void TrayIcon::warn(const QString& task, const QString& line, const QString& why) {
    const qsizetype known = m_warnedTasks.indexOf(task);
    if (known >= 0) {
        m_warnedTasks.removeAt(known);
        m_warnings.removeAt(known);
    }
    m_warnedTasks << task;
    m_warnings << line;
    m_icon->setIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
    showToolTip();
    m_lastMessage = line + QLatin1Char('\n') + why;
    if (isShown()) {
        m_icon->showMessage(line, why, QSystemTrayIcon::Warning);
    }
}

void TrayIcon::clearWarning() {
    if (m_warnings.isEmpty()) {
        return;
    }
    m_warnings.clear();
    m_warnedTasks.clear();
    m_icon->setIcon(m_normalIcon);
    showToolTip();
}

}  // namespace tvl::ui
