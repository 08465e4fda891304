#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace tvl::ui {

class MainWindow;

// The program's icon in the notification area. A left click hides the main window into the
// tray or brings it back, a double-click opens it, the menu offers Open and Close (Exit).
// Where the desktop offers no tray the icon stays off, and the main window minimises onto
// the taskbar instead of hiding.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    enum class Availability { AsTheDesktopSays, Available, Missing };

    explicit TrayIcon(MainWindow& main, Availability availability = Availability::AsTheDesktopSays);
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

    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

private:
    MainWindow& m_main;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_miOpen = nullptr;
    QAction* m_miClose = nullptr;
    bool m_available = false;
    bool m_removed = false;
};

}  // namespace tvl::ui
