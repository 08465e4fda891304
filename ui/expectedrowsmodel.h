#pragma once

#include <array>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include "core/expected.h"

namespace tvl::ui {

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

    static QString headerText(int column);
    QString cellText(int row, int column) const;

private:
    ExpectedBackups m_rows;
    // Per task of the rows: the start time, then the cells of columns 1 to 5, decoded.
    std::vector<std::array<QString, kExpectedColumns>> m_texts;
    std::array<QString, 7> m_names;
    std::array<QIcon, 3> m_icons;
};

}  // namespace tvl::ui
