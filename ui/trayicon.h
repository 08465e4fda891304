#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace tvl::ui {

// The program's icon in the notification area. A left click asks to hide the main window
// into the tray or bring it back, a double-click and Open ask to open it, Close asks to
// end the program. Where the desktop offers no tray the icon stays off. The icon only says
// what the user asked for; the program decides what it means.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    enum class Availability { AsTheDesktopSays, Available, Missing };

    explicit TrayIcon(Availability availability = Availability::AsTheDesktopSays);
    ~TrayIcon() override;

    // True while the icon is there to bring the window back.
    bool available() const { return m_available && !m_removed; }
    bool isShown() const;
    // Exit: the icon goes before the program ends.
    void remove();

    // Left click: into the tray when the window is shown, else back to the front.
    void TrIcoClick();
    // Open: the window back from the tray or the taskbar.
    void miOpenClick();
    // What the platform reports of the mouse on the icon.
    void activated(QSystemTrayIcon::ActivationReason reason);

    // A word under the program's name in the tooltip (who starts the backups); empty
    // leaves the name alone.
    void setNotice(const QString& text);

    // A backup failed or its outcome is unknown: the icon turns to the warning sign, the
    // tooltip names the task (`line`, one per task, the latest kept) and the tray's own
    // message tells which backup and why. Never a box: nobody may be there to close it.
    void warn(const QString& task, const QString& line, const QString& why);
    // The user has opened the window: the icon and tooltip are the program's again.
    void clearWarning();
    bool warning() const { return !m_warnings.isEmpty(); }
    // The last message shown through the tray, title and text.
    QString lastMessage() const { return m_lastMessage; }

    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

signals:
    void toggleRequested();
    void activationRequested();
    void exitRequested();
    // The icon came or went: whether it is there to bring the window back.
    void availabilityChanged(bool available);

private:
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_miOpen = nullptr;
    QAction* m_miClose = nullptr;
    void showToolTip();

    QIcon m_normalIcon;
    QString m_notice;
    // The warning lines of the tooltip, and the tasks they name, in the same order.
    QStringList m_warnings;
    QStringList m_warnedTasks;
    QString m_lastMessage;
    bool m_available = false;
    bool m_removed = false;
};

}  // namespace tvl::ui
