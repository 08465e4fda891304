#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <QAbstractListModel>
#include <QFont>
#include <QString>
#include <QStringList>

namespace tvl {
class TaskList;
}

namespace tvl::ui {

// The task selector's entries over the task list itself: entry i below lineEntries() names
// line i, and its text is made from the line's bytes only when a view asks for it; the
// entries after them are new tasks that have no line yet and keep their own names. A
// file of 100,000 tasks thus fills the selector without an item per task.
//
// The task list changes first and the entries follow through the calls below, each of
// which tells the views, so the selector's current entry moves with its task.
class TaskNameModel : public QAbstractListModel {
    Q_OBJECT
public:
    TaskNameModel(const TaskList& tasks, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int lineEntries() const { return m_lineEntries; }
    QString name(int entry) const;
    // The first entry whose name equals `name` ignoring case, as the selector shows the
    // names; -1 when none does. Only the names that agree with it up to the first
    // differing character are read, so no name is made into text to be compared.
    int findName(const QString& name) const;
    // The width of the widest name in `font`, as a list draws the names; kept until the
    // names change.
    int widestNameWidth(const QFont& font) const;

    // The task list was read anew: one entry for each saved task, no new task.
    void reload();
    // A new task's entry at the end.
    void appendNew(const QString& name);
    // Entry `from` was stored: its line is now line `to`, which it names from now on. A new
    // task's entry moves to its line; a saved task's entry stays where it is.
    void stored(int from, int to);
    // Entry `entry` leaves the selector; its line, if it had one, is already deleted.
    void removeEntry(int entry);

private:
    const TaskList& m_tasks;
    int m_lineEntries = 0;
    QStringList m_newNames;
    mutable std::optional<std::pair<QFont, int>> m_widest;
};

// A name as the selector's duplicate check compares it: each character case-folded as
// QString::compare with Qt::CaseInsensitive folds it.
class FoldedName {
public:
    explicit FoldedName(const QString& name);
    // Whether the task name `name`, the bytes before the first separator of `line`, is
    // this name ignoring case. The name is read in the character set of its whole line,
    // which is looked at only when the name holds a byte above 0x7F.
    bool matches(std::string_view name, std::string_view line) const;

private:
    std::u32string m_folded;
};

}  // namespace tvl::ui
