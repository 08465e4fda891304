#pragma once

#include <QWidget>

namespace tvl::ui {

// "List loading, please wait": no border, no title, shown over the main window while the
// expected backups are computed. It takes its place at its first showing and keeps it.
class WaitWindow : public QWidget {
    Q_OBJECT
public:
    explicit WaitWindow(QWidget* parent = nullptr);

    // Shows the window and paints it at once: no events are processed during the work.
    void showOver(const QWidget* mainWindow);

private:
    bool m_placed = false;
};

}  // namespace tvl::ui
