#pragma once

#include <array>
#include <cstddef>

#include <QLabel>
#include <QStatusBar>
#include <QString>

namespace tvl::ui {

// A status bar of two text panels and no size grip: the main window's field hint and server
// status, the Task Viewer's help and sort order. The panels are named after the bar, with
// their number ("sbDesc0", "sbDesc1"); the window lays them out.
class PanelBar : public QStatusBar {
public:
    PanelBar(const char* name, QWidget* parent) : QStatusBar(parent) {
        setObjectName(QString::fromLatin1(name));
        setSizeGripEnabled(false);
        for (std::size_t i = 0; i < m_panels.size(); ++i) {
            m_panels[i] = new QLabel(this);
            m_panels[i]->setObjectName(objectName() + QString::number(i));
        }
    }

    QLabel* panel(int i) const { return m_panels.at(static_cast<std::size_t>(i)); }

private:
    std::array<QLabel*, 2> m_panels{};
};

}  // namespace tvl::ui
