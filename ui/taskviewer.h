#pragma once

#include <array>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "core/expected.h"
#include "core/history.h"

class QLabel;
class QTableView;

namespace tvl::ui {

class PanelBar;

class ExpectedRowsModel;

// The Task Viewer: the expected backups as a table sorted by any column on a header click,
// a status bar with the tip and the current sort. Created once, shown modally by the
// Expected backups command.
class TaskViewerWindow : public QDialog {
    Q_OBJECT
public:
    explicit TaskViewerWindow(QWidget* parent = nullptr);

    // Replaces the rows (the lines are the task list they came from).
    void setRows(ExpectedBackups rows, const TaskLines& lines);
    // What became of each start, for an interval that reaches into the past: the Outcome
    // column is shown until the next rows come.
    void setOutcomes(const std::vector<HistoryRow>& history, std::array<QString, 6> texts);
    void clearRows();
    // The columns shown, the Outcome column last when it is.
    int shownColumns() const;
    // Widths from the header and the distinct texts of each column.
    void sizeColumns();
    // -1 for none, else the column of the last sort.
    int sortColumn() const { return m_sortColumn; }
    void setSortColumn(int column) { m_sortColumn = column; }
    // Sorts ascending by the column; the second panel names the sort when rows were compared.
    void lwTaskColumnClick(int column);
    void setTip(const QString& text);
    // The text of key "srtyp" that names the sort in the second panel.
    void setSortCaption(const QString& text) { m_sortCaption = text; }
    // Centres the window over the main window at its first showing.
    void placeOver(const QWidget* mainWindow);

    // The selected rows as tab-separated text with the header line first; Ctrl+C puts it
    // on the clipboard.
    QString selectionAsTsv() const;
    void copySelection() const;
    // Every row in the shown order with a header line, RFC 4180, UTF-8, written whole or
    // not at all; false with the reason when the file could not be written.
    bool saveCsv(const QString& path, QString* error = nullptr) const;
    void saveCsvAs();

    ExpectedRowsModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QString panelText(int panel) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ExpectedRowsModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    PanelBar* m_sbHlp = nullptr;
    QString m_sortCaption;
    int m_sortColumn = -1;
    bool m_placed = false;
};

}  // namespace tvl::ui
