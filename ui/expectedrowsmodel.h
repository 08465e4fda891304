#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include "core/expected.h"
#include "core/history.h"

namespace tvl::ui {

// After the six columns of the expected backups: what became of each start, for an
// interval that reaches into the past.
inline constexpr int kOutcomeColumn = kExpectedColumns;
inline constexpr int kViewerColumns = kExpectedColumns + 1;

// The Task Viewer's table over the expected backups: one table row per row of the core,
// no item per row. Cells show the user's text, decoded from the task line's bytes the way
// the editor decodes them; the order is the core's, which compares the bytes.
class ExpectedRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ExpectedRowsModel(QObject* parent = nullptr);

    // Takes the rows; lines is the task list they were computed from.
    void setRows(ExpectedBackups rows, const TaskLines& lines);
    void clear();
    // What became of the rows' starts, from the history made of these rows before any
    // sort; `texts` are the states' words by HistoryState. Rows the history does not
    // name show nothing.
    void setOutcomes(const std::vector<HistoryRow>& history, std::array<QString, 6> texts);
    bool hasOutcomes() const { return !m_outcomes.empty(); }
    // Sorts by the column with the core's order; false when there was nothing to compare.
    bool sortBy(int column);

    const ExpectedBackups& rows() const { return m_rows; }
    // The distinct texts a column can show: each task's cell, and for Time every start
    // time with every weekday name on a fixed date shape.
    QStringList distinctTexts(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The captions of the language in force.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    static QString headerText(int column);
    QString cellText(int row, int column) const;

private:
    static std::uint64_t outcomeKey(std::size_t task, const CivilDate& day);
    const HistoryState* outcome(int row) const;

    ExpectedBackups m_rows;
    // Per task of the rows: the start time, then the cells of columns 1 to 5, decoded.
    std::vector<std::array<QString, kExpectedColumns>> m_texts;
    std::array<QString, 7> m_names;
    std::array<QIcon, 3> m_icons;
    std::array<QString, kViewerColumns> m_headers;
    // By task of the rows and day: a task has at most one start a day.
    std::unordered_map<std::uint64_t, HistoryState> m_outcomes;
    std::array<QString, 6> m_outcomeTexts;
};

}  // namespace tvl::ui
