#pragma once

#include <QComboBox>

namespace tvl::ui {

class TaskNameModel;

// The task selector `cbName`: a drop-down list of the task names with no typing. Its list
// opens below it with a scroll bar and maxVisibleItems() rows, as wide as the widest name
// needs, whatever the desktop style would do; a style that opens it as a menu as tall as the
// screen measures every entry first, which with 100,000 tasks takes a third of a second.
class TaskSelector : public QComboBox {
    Q_OBJECT
public:
    explicit TaskSelector(QWidget* parent);

    void setNames(TaskNameModel* names);
    void showPopup() override;

private:
    TaskNameModel* m_names = nullptr;
};

}  // namespace tvl::ui
