#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include "elidedlabel.h"

namespace tvl {
class MessageTable;
struct LocalDateTime;
}  // namespace tvl

namespace tvl::ui {

// A minute as the row shows it: "2026-12-08 09:06, Tuesday" (the weekday in the language
// of the message table).
QString runMinuteText(const LocalDateTime& minute, const MessageTable& messages);

// The last and the next run of the task shown in the editor, in a row of its own under the
// editor (the status panels belong to the field hints and the server operations). A last
// run that failed or whose outcome is unknown carries the warning sign, so it cannot be
// overlooked. Texts too long for the window end in "..." and are whole in the tooltip.
class RunsRow : public QWidget {
    Q_OBJECT
public:
    explicit RunsRow(QWidget* parent = nullptr);

    void setLastRun(const QString& text, bool warning);
    void setNextRun(const QString& text);
    QString lastRun() const { return m_last->text(); }
    QString nextRun() const { return m_next->text(); }
    bool warns() const { return !m_warning->isHidden(); }

private:
    QLabel* m_warning = nullptr;
    ElidedLabel* m_last = nullptr;
    ElidedLabel* m_next = nullptr;
};

}  // namespace tvl::ui
