#include "tasknamemodel.h"

#include "core/taskfile.h"
#include "core/taskline.h"
#include "textcodec.h"

namespace tvl::ui {

TaskNameModel::TaskNameModel(const TaskList& tasks, QObject* parent)
    : QAbstractListModel(parent), m_tasks(tasks) {}

int TaskNameModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_lineEntries + static_cast<int>(m_newNames.size());
}

QVariant TaskNameModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::EditRole) {
        return {};
    }
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return name(index.row());
}

QString TaskNameModel::name(int entry) const {
    if (entry < 0) {
        return {};
    }
    if (entry >= m_lineEntries) {
        return m_newNames.value(entry - m_lineEntries);
    }
    const auto i = static_cast<std::size_t>(entry);
    if (i >= m_tasks.size()) {
        return {};
    }
    // The name is read in the character set of its whole line, as the editor reads the
    // line's other fields.
    const std::string_view line = m_tasks.line(i);
    return fromFileBytes(lineTaskName(line), isValidUtf8(line));
}

void TaskNameModel::reload() {
    beginResetModel();
    m_lineEntries = static_cast<int>(m_tasks.savedCount());
    m_newNames.clear();
    endResetModel();
}

void TaskNameModel::appendNew(const QString& name) {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_newNames.append(name);
    endInsertRows();
}

void TaskNameModel::stored(int from, int to) {
    if (from < m_lineEntries) {
        const QModelIndex at = index(from);
        emit dataChanged(at, at);
        return;
    }
    const bool moves = from != to;
    if (moves) {
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to);
    }
    m_newNames.removeAt(from - m_lineEntries);
    ++m_lineEntries;
    if (moves) {
        endMoveRows();
    }
    const QModelIndex at = index(to);
    emit dataChanged(at, at);
}

void TaskNameModel::removeEntry(int entry) {
    if (entry < 0 || entry >= rowCount()) {
        return;
    }
    beginRemoveRows(QModelIndex(), entry, entry);
    if (entry < m_lineEntries) {
        --m_lineEntries;
    } else {
        m_newNames.removeAt(entry - m_lineEntries);
    }
    endRemoveRows();
}

}  // namespace tvl::ui
