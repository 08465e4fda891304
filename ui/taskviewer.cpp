#include "taskviewer.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

#include "expectedrowsmodel.h"
#include "messagebox.h"
#include "panelbar.h"
#include "placement.h"

namespace tvl::ui {

namespace {

constexpr int kPanelWidth = 300;

// One field of RFC 4180: quoted when it holds a comma, a quote or a line break, quotes
// doubled.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A tab-separated field: a tab or a line break inside would start a new cell or row.
QString tsvField(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

}  // namespace

TaskViewerWindow::TaskViewerWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmRepDlg"));
    setWindowTitle(QStringLiteral("Task Viewer"));
    setSizeGripEnabled(true);
    resize(696, 480);

    m_model = new ExpectedRowsModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("lwTask"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    // Every row has one height: the view then never measures rows one by one.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setIconSize(QSize(16, 16));
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TaskViewerWindow::lwTaskColumnClick);

    auto* copy = new QAction(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("miCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &TaskViewerWindow::copySelection);
    auto* saveCsv = new QAction(QStringLiteral("Save as CSV..."), this);
    saveCsv->setObjectName(QStringLiteral("miSaveCsv"));
    connect(saveCsv, &QAction::triggered, this, &TaskViewerWindow::saveCsvAs);
    m_table->addAction(copy);
    m_table->addAction(saveCsv);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    // A shortcut works only in the active window; a Ctrl+C that reaches the table without
    // it would copy the one current cell, so the table's own copy is replaced as well.
    m_table->installEventFilter(this);

    m_sbHlp = new PanelBar("sbHlp", this);
    for (QLabel* panel : {m_sbHlp->panel(0), m_sbHlp->panel(1)}) {
        panel->setFixedWidth(kPanelWidth);
        m_sbHlp->addWidget(panel);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_table);
    layout->addWidget(m_sbHlp);
}

void TaskViewerWindow::setRows(ExpectedBackups rows, const TaskLines& lines) {
    m_model->setRows(std::move(rows), lines);
    m_table->setColumnHidden(kOutcomeColumn, true);
}

void TaskViewerWindow::setOutcomes(const std::vector<HistoryRow>& history,
                                   std::array<QString, 6> texts) {
    m_model->setOutcomes(history, std::move(texts));
    m_table->setColumnHidden(kOutcomeColumn, false);
}

void TaskViewerWindow::clearRows() {
    m_model->clear();
    m_table->setColumnHidden(kOutcomeColumn, true);
}

int TaskViewerWindow::shownColumns() const {
    return m_table->isColumnHidden(kOutcomeColumn) ? kExpectedColumns : kViewerColumns;
}

void TaskViewerWindow::sizeColumns() {
    const QFontMetrics fm = m_table->fontMetrics();
    const QFontMetrics headerFm = m_table->horizontalHeader()->fontMetrics();
    // Room the view's cell and header styles add around a text.
    const int cellPad = 2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4);
    const int headerPad = 24;
    for (int c = 0; c < shownColumns(); ++c) {
        int width = headerFm.horizontalAdvance(
                        m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                    headerPad;
        for (const QString& text : m_model->distinctTexts(c)) {
            int w = fm.horizontalAdvance(text) + cellPad;
            if (c == 0) {
                w += m_table->iconSize().width() + 4;
            }
            width = std::max(width, w);
        }
        m_table->setColumnWidth(c, width);
    }
}

void TaskViewerWindow::lwTaskColumnClick(int column) {
    m_sortColumn = column;
    if (m_model->sortBy(column)) {
        m_sbHlp->panel(1)->setText(
            m_sortCaption + QLatin1Char(' ') +
            m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    }
}

void TaskViewerWindow::setTip(const QString& text) {
    m_sbHlp->panel(0)->setText(text);
}

QString TaskViewerWindow::panelText(int panel) const {
    return panel == 0 ? m_sbHlp->panel(0)->text() : m_sbHlp->panel(1)->text();
}

void TaskViewerWindow::placeOver(const QWidget* mainWindow) {
    if (m_placed || mainWindow == nullptr) {
        return;
    }
    m_placed = true;
    centreOn(*this, *mainWindow);
}

QString TaskViewerWindow::selectionAsTsv() const {
    QStringList header;
    for (int c = 0; c < shownColumns(); ++c) {
        header << tsvField(m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    }
    QString text = header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    QList<int> rows;
    for (const QModelIndex& i : m_table->selectionModel()->selectedRows()) {
        rows << i.row();
    }
    std::sort(rows.begin(), rows.end());
    for (int r : rows) {
        for (int c = 0; c < shownColumns(); ++c) {
            if (c != 0) {
                text += QLatin1Char('\t');
            }
            text += tsvField(m_model->cellText(r, c));
        }
        text += QLatin1Char('\n');
    }
    return text;
}

bool TaskViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TaskViewerWindow::copySelection() const {
    QApplication::clipboard()->setText(selectionAsTsv());
}

bool TaskViewerWindow::saveCsv(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    const auto writeLine = [&file](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields) {
            quoted << csvField(f);
        }
        file.write((quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8());
    };
    QStringList fields;
    for (int c = 0; c < shownColumns(); ++c) {
        fields << m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    writeLine(fields);
    for (int r = 0; r < m_model->rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < shownColumns(); ++c) {
            fields << m_model->cellText(r, c);
        }
        writeLine(fields);
    }
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

void TaskViewerWindow::saveCsvAs() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save as CSV"), QStringLiteral("expected.csv"),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!saveCsv(path, &error)) {
        MessageBox::error(this, path + QStringLiteral(": ") + error);
    }
}

}  // namespace tvl::ui
