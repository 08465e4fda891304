#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fileio.h"
#include "taskline.h"

namespace tvl {

// The arrays beside the lines: a big file's get big blocks (allocateBigBlock).
template <class T>
struct LineArrayAllocator {
    using value_type = T;
    LineArrayAllocator() = default;
    template <class U>
    LineArrayAllocator(const LineArrayAllocator<U>& /*other*/) {}  // NOLINT: rebinding
    T* allocate(std::size_t n) { return static_cast<T*>(allocateBigBlock(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { freeBigBlock(p, n * sizeof(T)); }
    friend bool operator==(const LineArrayAllocator&, const LineArrayAllocator&) { return true; }
};

// The lines of a task file in file order. The text read from the file stays one block and
// each of its lines is a view into it; a line stored later gets a block of its own. Blocks
// never change once made, so a copy shares them. Beside the lines the list keeps what the
// minute's due test needs of every saved task: its start minute, so a minute looks only at
// the lines of the tasks that start in it.
class TaskLines {
public:
    using const_iterator =
        std::vector<std::string_view, LineArrayAllocator<std::string_view>>::const_iterator;
    using value_type = std::string_view;

    TaskLines() = default;
    // Copies the lines.
    TaskLines(const std::vector<std::string>& lines);  // NOLINT: a list of lines is one
    TaskLines(std::initializer_list<std::string_view> lines);

    // Cuts `text` into lines as splitTextLines does; `block` holds the text and is kept.
    // False, and the list left empty, when the text holds more than maxLines lines. With
    // keepSeparators, where each line's separators are is kept beside it, for a reader of
    // every line's fields (reading()): the cut finds them anyway.
    bool assign(std::shared_ptr<const void> block, std::string_view text, std::size_t maxLines,
                bool keepSeparators = false);

    std::size_t size() const { return m_lines.size(); }
    bool empty() const { return m_lines.empty(); }
    std::string_view operator[](std::size_t i) const { return m_lines[i]; }
    std::string_view at(std::size_t i) const { return m_lines.at(i); }
    const_iterator begin() const { return m_lines.begin(); }
    const_iterator end() const { return m_lines.end(); }

    // Lines before the first hidden line.
    std::size_t savedCount() const { return m_saved; }
    // True when one of the saved lines is empty: such a file has no selector to offer.
    bool hasEmptySavedLine() const { return m_emptySaved; }
    // The minute of the day at which the due test may find saved task i due; -1 when it
    // never does (no rule, or a start time that cannot be read).
    int startMinute(std::size_t i) const { return m_start[i]; }
    // readTaskLine(operator[](i)), from the separators kept when the line was cut, if they
    // were.
    TaskLineReading reading(std::size_t i) const;

    void set(std::size_t i, std::string line);
    void insert(std::size_t i, std::string line);
    void erase(std::size_t i);
    void clear();

    friend bool operator==(const TaskLines& a, const TaskLines& b) {
        return a.m_lines == b.m_lines;
    }
    friend bool operator==(const TaskLines& a, const std::vector<std::string>& b);

private:
    template <bool kKeepSeparators>
    bool cut(std::string_view text, std::size_t maxLines);
    std::string_view keep(std::string line);
    void countSaved();

    std::vector<std::shared_ptr<const void>> m_blocks;
    std::vector<std::string_view, LineArrayAllocator<std::string_view>> m_lines;
    std::vector<std::int16_t, LineArrayAllocator<std::int16_t>> m_start;
    // Of each line as it was cut, when asked for: byte k (0..5) is one more than the offset
    // of its first separator 0x01 + k, byte 6 one more than that of its start rule's 0x06
    // (0: none), byte 7 is 1. A line too long for offsets in a byte has 0 and is searched
    // again. Emptied by any change of the list.
    std::vector<std::uint64_t, LineArrayAllocator<std::uint64_t>> m_separators;
    std::size_t m_saved = 0;
    bool m_emptySaved = false;
};

[[gnu::always_inline]] inline TaskLineReading TaskLines::reading(std::size_t i) const {
    const std::string_view line = m_lines[i];
    const std::uint64_t packed = i < m_separators.size() ? m_separators[i] : 0;
    if (packed == 0) {
        return readTaskLine(line);
    }
    // One less than the byte: 0, none, becomes npos.
    auto offset = [packed](unsigned k) {
        return static_cast<std::size_t>((packed >> (8 * k)) & 0xFF) - 1;
    };
    static_assert(std::size_t{0} - 1 == std::string_view::npos);
    LineSeparators at;
    at.first = {offset(0), offset(1), offset(2), offset(3), offset(4), offset(5)};
    at.ruleMode = offset(6);
    return readTaskLine(line, at);
}

}  // namespace tvl
