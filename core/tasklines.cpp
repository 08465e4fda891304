#include "tasklines.h"

#include <cstring>

#include "schedule.h"
#include "taskline.h"

namespace tvl {

namespace {

std::int16_t startMinuteOf(std::string_view line) {
    const StartRule r = startRule(line);
    if (!r.hasRunMode) {
        return -1;
    }
    const std::optional<int> start = parseStartTime(r.startTime);
    return start ? static_cast<std::int16_t>(*start) : std::int16_t{-1};
}

// Where the next CR or LF is, eight bytes at a time: the text of a big file is scanned
// once and most of its bytes are neither.
const char* nextBreak(const char* p, const char* end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, 8);
        const std::uint64_t lf = w ^ (kOnes * '\n');
        const std::uint64_t cr = w ^ (kOnes * '\r');
        if ((((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighs) {
            break;
        }
        p += 8;
    }
    while (p < end && *p != '\n' && *p != '\r') {
        ++p;
    }
    return p;
}

}  // namespace

TaskLines::TaskLines(const std::vector<std::string>& lines) {
    m_lines.reserve(lines.size());
    for (const std::string& line : lines) {
        m_lines.push_back(keep(line));
    }
    m_start.reserve(m_lines.size());
    for (std::string_view line : m_lines) {
        m_start.push_back(startMinuteOf(line));
    }
    countSaved();
}

TaskLines::TaskLines(std::initializer_list<std::string_view> lines)
    : TaskLines(std::vector<std::string>(lines.begin(), lines.end())) {}

bool TaskLines::assign(std::shared_ptr<const void> block, std::string_view text,
                       std::size_t maxLines) {
    clear();
    text = text.substr(0, text.find('\0'));
    const char* p = text.data();
    const char* const end = p + text.size();
    // About one line in every 64 bytes of a real file; a list that doubles its way up from
    // there is copied once or twice at most.
    m_lines.reserve(text.size() / 64 + 16);
    while (p < end) {
        if (m_lines.size() == maxLines) {
            clear();
            return false;
        }
        const char* brk = nextBreak(p, end);
        m_lines.emplace_back(p, static_cast<std::size_t>(brk - p));
        if (brk == end) {
            break;
        }
        p = brk + 1;
        if (*brk == '\r' && p < end && *p == '\n') {
            ++p;
        }
    }
    m_start.reserve(m_lines.size());
    for (std::string_view line : m_lines) {
        m_start.push_back(startMinuteOf(line));
    }
    if (!text.empty()) {
        m_blocks.push_back(std::move(block));
    }
    countSaved();
    return true;
}

std::string_view TaskLines::keep(std::string line) {
    auto block = std::make_shared<const std::string>(std::move(line));
    const std::string_view view(*block);
    m_blocks.push_back(std::move(block));
    return view;
}

void TaskLines::countSaved() {
    m_saved = m_lines.size();
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (isHiddenLine(m_lines[i])) {
            m_saved = i;
            break;
        }
    }
}

void TaskLines::set(std::size_t i, std::string line) {
    m_lines.at(i) = keep(std::move(line));
    m_start[i] = startMinuteOf(m_lines[i]);
    countSaved();
}

void TaskLines::insert(std::size_t i, std::string line) {
    const auto at = static_cast<std::ptrdiff_t>(i);
    m_lines.insert(m_lines.begin() + at, keep(std::move(line)));
    m_start.insert(m_start.begin() + at, startMinuteOf(m_lines[i]));
    countSaved();
}

void TaskLines::erase(std::size_t i) {
    const auto at = static_cast<std::ptrdiff_t>(i);
    m_lines.erase(m_lines.begin() + at);
    m_start.erase(m_start.begin() + at);
    countSaved();
}

void TaskLines::clear() {
    m_lines = {};
    m_start = {};
    m_blocks.clear();
    m_saved = 0;
}

bool operator==(const TaskLines& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace tvl
