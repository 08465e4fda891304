#include "tasklines.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "linemarks.h"
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

// The start minute of a line whose first 0x05 is at typeMark and whose start rule's first
// 0x06 is at modeMark (none: -1).
std::int16_t startMinuteBetween(const char* typeMark, const char* modeMark) {
    if (modeMark == nullptr) {
        return -1;
    }
    const std::optional<int> minute = parseStartTime(
        std::string_view(typeMark + 2, static_cast<std::size_t>(modeMark - typeMark - 2)));
    return minute ? static_cast<std::int16_t>(*minute) : std::int16_t{-1};
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
                       std::size_t maxLines, bool keepSeparators) {
    clear();
    const bool ok = keepSeparators ? cut<true>(text, maxLines) : cut<false>(text, maxLines);
    if (!ok) {
        clear();
        return false;
    }
    if (!m_lines.empty()) {
        m_blocks.push_back(std::move(block));
    }
    return true;
}

namespace {

// The separators of a line as TaskLines keeps them, from its first byte of each value up
// to kLastMark and its start rule's first 0x06; 0 when the line is too long for that.
std::uint64_t packedSeparators(const char* line, const char* end,
                               const char* const (&first)[kLastMark + 1], const char* ruleMode) {
    constexpr std::ptrdiff_t kLongest = 254;
    if (end - line > kLongest) {
        return 0;
    }
    auto offset = [line](const char* at) {
        return at == nullptr ? std::uint64_t{0} : static_cast<std::uint64_t>(at - line + 1);
    };
    auto of = [&](char separator) { return offset(first[static_cast<unsigned char>(separator)]); };
    // Written out: a loop over the six costs more than the rest of the line's cut.
    return of(kSepIp) | of(kSepPort) << 8 | of(kSepPaths) << 16 | of(kSepSaveDir) << 24 |
           of(kSepType) << 32 | of(kSepRunMode) << 40 | offset(ruleMode) << 48 |
           std::uint64_t{1} << 56;
}

}  // namespace

template <bool kKeepSeparators>
bool TaskLines::cut(std::string_view text, std::size_t maxLines) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    // About one line in every 64 bytes of a real file; a list that doubles its way up from
    // there is copied once or twice at most.
    m_lines.reserve(text.size() / 64 + 16);
    m_start.reserve(m_lines.capacity());
    if (kKeepSeparators) {
        m_separators.reserve(m_lines.capacity());
    }
    bool hidden = false;
    const char* line = begin;        // where the current line starts
    const char* typeMark = nullptr;  // its first 0x05
    const char* modeMark = nullptr;  // the first 0x06 of its start rule
    // Its first byte of each value up to kLastMark, when the separators are kept.
    const char* first[kLastMark + 1] = {};
    // Ends the current line at `stop`; false when that line is one too many.
    auto endLine = [&](const char* stop) {
        if (m_lines.size() == maxLines) {
            return false;
        }
        const std::string_view view(line, static_cast<std::size_t>(stop - line));
        if (!hidden) {
            if (view.empty()) {
                m_emptySaved = true;
            } else if (view.front() == kSepIp) {
                hidden = true;
                m_saved = m_lines.size();
            }
        }
        m_lines.push_back(view);
        m_start.push_back(startMinuteBetween(typeMark, modeMark));
        if (kKeepSeparators) {
            m_separators.push_back(packedSeparators(line, stop, first, modeMark));
            // Only the separators' entries: a fill of all of them is a slow string store.
            for (unsigned k = kSepIp; k <= kSepRunMode; ++k) {
                first[k] = nullptr;
            }
        }
        typeMark = nullptr;
        modeMark = nullptr;
        return true;
    };
    // One byte at most kLastMark at `p`: false when the text ends there (a NUL byte) or
    // holds too many lines, which `tooMany` tells.
    bool tooMany = false;
    auto mark = [&](const char* p) {
        if (kKeepSeparators) {
            const char*& firstOfByte = first[static_cast<unsigned char>(*p)];
            firstOfByte = firstOfByte == nullptr ? p : firstOfByte;
        }
        switch (*p) {
            case '\0':
                if (p > line && !endLine(p)) {
                    tooMany = true;
                }
                line = end;
                return false;
            case '\r':
            case '\n':
                if (p < line) {
                    return true;  // the LF of a CR LF
                }
                if (!endLine(p)) {
                    tooMany = true;
                    return false;
                }
                line = p + 1;
                if (*p == '\r' && line < end && *line == '\n') {
                    ++line;
                }
                return true;
            case kSepType:
                if (typeMark == nullptr) {
                    typeMark = p;
                }
                return true;
            case kSepRunMode:
                // The start rule begins after the backup type's digit.
                if (typeMark != nullptr && modeMark == nullptr && p >= typeMark + 2) {
                    modeMark = p;
                }
                return true;
            default:
                return true;
        }
    };
    if (forEachMark<kKeepSeparators>(begin, end, mark) && line < end && !endLine(end)) {
        tooMany = true;
    }
    if (tooMany) {
        return false;
    }
    if (!hidden) {
        m_saved = m_lines.size();
    }
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
    m_emptySaved = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (isHiddenLine(m_lines[i])) {
            m_saved = i;
            break;
        }
        m_emptySaved = m_emptySaved || m_lines[i].empty();
    }
}

void TaskLines::set(std::size_t i, std::string line) {
    m_separators = {};
    m_lines.at(i) = keep(std::move(line));
    m_start[i] = startMinuteOf(m_lines[i]);
    countSaved();
}

void TaskLines::insert(std::size_t i, std::string line) {
    m_separators = {};
    const auto at = static_cast<std::ptrdiff_t>(i);
    m_lines.insert(m_lines.begin() + at, keep(std::move(line)));
    m_start.insert(m_start.begin() + at, startMinuteOf(m_lines[i]));
    countSaved();
}

void TaskLines::erase(std::size_t i) {
    m_separators = {};
    const auto at = static_cast<std::ptrdiff_t>(i);
    m_lines.erase(m_lines.begin() + at);
    m_start.erase(m_start.begin() + at);
    countSaved();
}

void TaskLines::clear() {
    m_lines = {};
    m_start = {};
    m_separators = {};
    m_blocks.clear();
    m_saved = 0;
    m_emptySaved = false;
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
