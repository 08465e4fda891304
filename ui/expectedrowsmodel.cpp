#include "expectedrowsmodel.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "core/civil.h"
#include "textcodec.h"

namespace tvl::ui {

namespace {

// The program's own row images, drawn rather than shipped: a blue disc for Cumulative, a
// green square for Full, an orange triangle for Incremental.
QIcon typeIcon(int type) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    switch (type) {
        case 0:
            p.setBrush(QColor(52, 120, 220));
            p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
            break;
        case 1:
            p.setBrush(QColor(46, 160, 67));
            p.drawRect(QRectF(2.5, 2.5, 11, 11));
            break;
        default: {
            QPainterPath path;
            path.moveTo(8, 2.5);
            path.lineTo(13.5, 13.5);
            path.lineTo(2.5, 13.5);
            path.closeSubpath();
            p.setBrush(QColor(235, 140, 30));
            p.drawPath(path);
            break;
        }
    }
    return QIcon(pixmap);
}

}  // namespace

ExpectedRowsModel::ExpectedRowsModel(QObject* parent) : QAbstractTableModel(parent) {
    for (int c = 0; c < kViewerColumns; ++c) {
        m_headers[static_cast<std::size_t>(c)] = headerText(c);
    }
    for (int t = 0; t < 3; ++t) {
        m_icons[static_cast<std::size_t>(t)] = typeIcon(t);
    }
}

void ExpectedRowsModel::setRows(ExpectedBackups rows, const TaskLines& lines) {
    beginResetModel();
    m_rows = std::move(rows);
    m_outcomes.clear();
    m_texts.assign(m_rows.taskCount(), {});
    for (std::size_t t = 0; t < m_rows.taskCount(); ++t) {
        const std::size_t index = m_rows.taskLine(t);
        // The editor reads a whole line as UTF-8 or, failing that, as Windows-1251.
        const bool utf8 = index < lines.size() && isValidUtf8(lines[index]);
        for (int c = 0; c < kExpectedColumns; ++c) {
            m_texts[t][static_cast<std::size_t>(c)] = fromFileBytes(m_rows.taskText(t, c), utf8);
        }
    }
    for (std::size_t d = 0; d < 7; ++d) {
        m_names[d] = fromFileBytes(m_rows.weekdayNames()[d]);
    }
    endResetModel();
}

void ExpectedRowsModel::clear() {
    setRows(ExpectedBackups(), {});
}

std::uint64_t ExpectedRowsModel::outcomeKey(std::size_t task, const CivilDate& day) {
    return (static_cast<std::uint64_t>(task) << 32) ^
           static_cast<std::uint32_t>(daysFromCivil(day));
}

void ExpectedRowsModel::setOutcomes(const std::vector<HistoryRow>& history,
                                    std::array<QString, 6> texts) {
    m_outcomeTexts = std::move(texts);
    m_outcomes.clear();
    for (const HistoryRow& h : history) {
        if (h.expectedRow && *h.expectedRow < m_rows.size()) {
            const std::size_t r = *h.expectedRow;
            m_outcomes[outcomeKey(m_rows.task(r), m_rows.day(r))] = h.state;
        }
    }
    if (rowCount() > 0) {
        emit dataChanged(index(0, kOutcomeColumn), index(rowCount() - 1, kOutcomeColumn));
    }
}

const HistoryState* ExpectedRowsModel::outcome(int row) const {
    const auto r = static_cast<std::size_t>(row);
    const auto it = m_outcomes.find(outcomeKey(m_rows.task(r), m_rows.day(r)));
    return it == m_outcomes.end() ? nullptr : &it->second;
}

bool ExpectedRowsModel::sortBy(int column) {
    if (m_rows.size() < 2 || column < 0 || column >= kExpectedColumns) {
        return false;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_rows.sort(column);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}

QStringList ExpectedRowsModel::distinctTexts(int column) const {
    QStringList texts;
    if (column == 0) {
        // The date part has one shape; every start time can fall on every weekday. Which
        // of them is widest depends on the font (" 2:00" is shorter than "23:30"), so
        // each pair is measured.
        QStringList times;
        for (const auto& t : m_texts) {
            times << t[0];
        }
        times.removeDuplicates();
        for (const QString& time : times) {
            for (const QString& name : m_names) {
                texts << QStringLiteral("0000-00-00, ") + time + QStringLiteral(" {") + name +
                             QLatin1Char('}');
            }
        }
        return texts;
    }
    if (column == kOutcomeColumn) {
        for (const QString& t : m_outcomeTexts) {
            texts << t;
        }
        return texts;
    }
    for (const auto& t : m_texts) {
        texts << t[static_cast<std::size_t>(column)];
    }
    texts.removeDuplicates();
    return texts;
}

int ExpectedRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ExpectedRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kViewerColumns;
}

QString ExpectedRowsModel::cellText(int row, int column) const {
    const auto r = static_cast<std::size_t>(row);
    const auto& texts = m_texts[m_rows.task(r)];
    if (column == kOutcomeColumn) {
        const HistoryState* state = outcome(row);
        return state == nullptr ? QString() : m_outcomeTexts[static_cast<std::size_t>(*state)];
    }
    if (column != 0) {
        return texts[static_cast<std::size_t>(column)];
    }
    const auto weekday = static_cast<std::size_t>(isoWeekday(m_rows.day(r)) - 1);
    return QString::fromLatin1(m_rows.dayHead(r)) + texts[0] + QStringLiteral(" {") +
           m_names[weekday] + QLatin1Char('}');
}

QVariant ExpectedRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return cellText(index.row(), index.column());
    }
    if (role == Qt::ForegroundRole && index.column() == kOutcomeColumn) {
        // What went wrong stands out from what went as planned.
        const HistoryState* state = outcome(index.row());
        if (state != nullptr &&
            (*state == HistoryState::Failed || *state == HistoryState::Unknown ||
             *state == HistoryState::Missed)) {
            return QColor(190, 20, 20);
        }
        return {};
    }
    if (role == Qt::DecorationRole && index.column() == 0) {
        const int type = m_rows.backupType(static_cast<std::size_t>(index.row()));
        return type >= 0 && type <= 2 ? m_icons[static_cast<std::size_t>(type)] : QIcon();
    }
    return {};
}

QVariant ExpectedRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kViewerColumns) {
        return m_headers[static_cast<std::size_t>(section)];
    }
    return {};
}

bool ExpectedRowsModel::setHeaderData(int section, Qt::Orientation orientation,
                                      const QVariant& value, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= kViewerColumns ||
        (role != Qt::EditRole && role != Qt::DisplayRole)) {
        return false;
    }
    m_headers[static_cast<std::size_t>(section)] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

QString ExpectedRowsModel::headerText(int column) {
    static const char* const kHeaders[kViewerColumns] = {
        "Time", "Name", "Server IP:Port", "Database", "Type", "Path", "Outcome"};
    return column >= 0 && column < kViewerColumns ? QString::fromLatin1(kHeaders[column])
                                                  : QString();
}

}  // namespace tvl::ui
