#include "tasknamemodel.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include <QChar>
#include <QFontMetrics>

#include "core/charset.h"
#include "core/taskfile.h"
#include "core/taskline.h"
#include "textcodec.h"

namespace tvl::ui {

namespace {

// The characters of a line's task name, read in the character set of the whole line as
// the selector reads it. Whether the line is UTF-8 is asked only when the name holds a byte
// above 0x7F: below that both character sets agree.
class NameReader {
public:
    NameReader(std::string_view name, std::string_view line) : m_name(name), m_line(line) {}
    bool atEnd() const { return m_at >= m_name.size(); }
    char32_t next() {
        if (!m_utf8 && static_cast<unsigned char>(m_name[m_at]) >= 0x80) {
            m_utf8 = isValidUtf8(m_line);
        }
        return nextFileChar(m_name, m_utf8.value_or(true), m_at);
    }

private:
    std::string_view m_name;
    std::string_view m_line;
    std::size_t m_at = 0;
    std::optional<bool> m_utf8;
};

// Each character's advance in one font, measured once, and the sums of them along names.
class CharAdvances {
public:
    explicit CharAdvances(const QFontMetrics& metrics) : m_metrics(metrics) { m_ascii.fill(-1); }
    // A line's task name: most names are ASCII, whose bytes are their characters.
    int sum(std::string_view name, std::string_view line) {
        int width = 0;
        for (const char c : name) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= m_ascii.size()) {
                return sumOfChars(name, line);
            }
            width += advance(b);
        }
        return width;
    }
    int sum(const QString& text) {
        int width = 0;
        for (const char32_t c : text.toUcs4()) {
            width += advance(c);
        }
        return width;
    }

private:
    int sumOfChars(std::string_view name, std::string_view line) {
        NameReader chars(name, line);
        int width = 0;
        while (!chars.atEnd()) {
            width += advance(chars.next());
        }
        return width;
    }
    int advance(char32_t c) {
        if (c < m_ascii.size()) {
            if (m_ascii[c] < 0) {
                m_ascii[c] = m_metrics.horizontalAdvance(QChar(c));
            }
            return m_ascii[c];
        }
        auto [at, added] = m_other.try_emplace(c, 0);
        if (added) {
            at->second = m_metrics.horizontalAdvance(QString::fromUcs4(&c, 1));
        }
        return at->second;
    }

    const QFontMetrics& m_metrics;
    std::array<int, 128> m_ascii{};
    std::unordered_map<char32_t, int> m_other;
};

// How many of the names that their characters' advances make widest are measured whole:
// kerning and ligatures move a name's width by a few pixels at most, so the widest name
// is among them.
constexpr std::size_t kMeasuredWhole = 16;

// The entries of the largest sums seen, at most kMeasuredWhole of them, and the largest sum
// that did not stay among them.
class WidestSums {
public:
    void add(int sum, int entry) {
        if (m_kept.size() == kMeasuredWhole) {
            if (sum <= m_kept.front().first) {
                m_leftOut = std::max(m_leftOut, sum);
                return;
            }
            std::pop_heap(m_kept.begin(), m_kept.end(), std::greater<>());
            m_leftOut = std::max(m_leftOut, m_kept.back().first);
            m_kept.pop_back();
        }
        m_kept.emplace_back(sum, entry);
        std::push_heap(m_kept.begin(), m_kept.end(), std::greater<>());
    }
    const std::vector<std::pair<int, int>>& kept() const { return m_kept; }
    int leftOut() const { return m_leftOut; }

private:
    std::vector<std::pair<int, int>> m_kept;  // a heap whose front is the smallest sum
    int m_leftOut = 0;
};

// QChar::toCaseFolded, with the ASCII letters, most of any name, folded here.
char32_t caseFolded(char32_t c) {
    if (c < 0x80) {
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    }
    return QChar::toCaseFolded(c);
}

}  // namespace

FoldedName::FoldedName(const QString& name) {
    for (const char32_t c : name.toUcs4()) {
        m_folded.push_back(caseFolded(c));
    }
}

bool FoldedName::matches(std::string_view name, std::string_view line) const {
    NameReader chars(name, line);
    for (const char32_t wanted : m_folded) {
        if (chars.atEnd() || caseFolded(chars.next()) != wanted) {
            return false;
        }
    }
    return chars.atEnd();
}

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

int TaskNameModel::findName(const QString& name) const {
    const FoldedName wanted(name);
    for (int entry = 0; entry < m_lineEntries; ++entry) {
        const std::string_view line = m_tasks.line(static_cast<std::size_t>(entry));
        if (wanted.matches(lineTaskName(line), line)) {
            return entry;
        }
    }
    for (int k = 0; k < m_newNames.size(); ++k) {
        if (m_newNames[k].compare(name, Qt::CaseInsensitive) == 0) {
            return m_lineEntries + k;
        }
    }
    return -1;
}

int TaskNameModel::widestNameWidth(const QFont& font) const {
    if (m_widest && m_widest->first == font) {
        return m_widest->second;
    }
    // Shaping every name, as measuring it whole does, costs about a microsecond a name;
    // summing its characters' advances costs a few nanoseconds. The sums rank the names,
    // and only the widest few are measured whole.
    const QFontMetrics metrics(font);
    CharAdvances advances(metrics);
    WidestSums sums;
    for (int entry = 0; entry < m_lineEntries; ++entry) {
        const std::string_view line = m_tasks.line(static_cast<std::size_t>(entry));
        sums.add(advances.sum(lineTaskName(line), line), entry);
    }
    for (int k = 0; k < m_newNames.size(); ++k) {
        sums.add(advances.sum(m_newNames[k]), m_lineEntries + k);
    }
    // A name left out is as wide as its sum give or take its kerning: the largest sum left
    // out counts too.
    int widest = sums.leftOut();
    for (const auto& [sum, entry] : sums.kept()) {
        widest = std::max(widest, metrics.horizontalAdvance(name(entry)));
    }
    m_widest.emplace(font, widest);
    return widest;
}

void TaskNameModel::reload() {
    beginResetModel();
    m_widest.reset();
    m_lineEntries = static_cast<int>(m_tasks.savedCount());
    m_newNames.clear();
    endResetModel();
}

void TaskNameModel::appendNew(const QString& name) {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_widest.reset();
    m_newNames.append(name);
    endInsertRows();
}

void TaskNameModel::stored(int from, int to) {
    m_widest.reset();
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
    m_widest.reset();
    if (entry < m_lineEntries) {
        --m_lineEntries;
    } else {
        m_newNames.removeAt(entry - m_lineEntries);
    }
    endRemoveRows();
}

}  // namespace tvl::ui
