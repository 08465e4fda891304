#pragma once

#include <QAbstractListModel>
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
};

}  // namespace tvl::ui
