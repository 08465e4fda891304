#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tvl {

// Every byte of a task file's text that ends a line or a field, or the text itself, is at
// most 0x0D (NUL, the separators 0x01..0x06, CR, LF). Readers of every line of a big file
// find them sixteen bytes at a time instead of searching once for each separator.
inline constexpr unsigned char kLastMark = 0x0D;

// Bit k is set when byte k of the sixteen at `p` is at most kLastMark; without the field
// separators, a byte 0x01..0x04 is left out, for readers that only look at the start rule.
template <bool kFieldSeparators>
unsigned marksOf16(const char* p) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i low = _mm_min_epu8(v, _mm_set1_epi8(static_cast<char>(kLastMark)));
    __m128i marks = _mm_cmpeq_epi8(low, v);
    if (!kFieldSeparators) {
        // v - 1 is at most 3 just for the bytes 0x01..0x04 (NUL wraps round to 0xFF).
        const __m128i less = _mm_sub_epi8(v, _mm_set1_epi8(1));
        const __m128i field = _mm_cmpeq_epi8(_mm_min_epu8(less, _mm_set1_epi8(3)), less);
        marks = _mm_andnot_si128(field, marks);
    }
    return static_cast<unsigned>(_mm_movemask_epi8(marks));
#else
    unsigned bits = 0;
    for (unsigned k = 0; k < 16; ++k) {
        const auto c = static_cast<unsigned char>(p[k]);
        const bool field = c >= 0x01 && c <= 0x04;
        bits |= static_cast<unsigned>(c <= kLastMark && (kFieldSeparators || !field)) << k;
    }
    return bits;
#endif
}

// Calls mark(p) for each byte at most kLastMark in [begin, end) (without the field
// separators 0x01..0x04 unless kFieldSeparators), in order, until it answers false; true
// when it never did.
template <bool kFieldSeparators = true, class Mark>
bool forEachMark(const char* begin, const char* end, Mark&& mark) {
    const char* p = begin;
    for (; end - p >= 16; p += 16) {
        for (unsigned bits = marksOf16<kFieldSeparators>(p); bits != 0; bits &= bits - 1) {
            if (!mark(p + __builtin_ctz(bits))) {
                return false;
            }
        }
    }
    if (p == end) {
        return true;
    }
    // The last bytes are copied behind bytes that are no mark, so a short line is scanned in
    // one piece as well, without reading past its end.
    char last[16];
    std::memset(last, 0x7F, sizeof last);
    std::memcpy(last, p, static_cast<std::size_t>(end - p));
    for (unsigned bits = marksOf16<kFieldSeparators>(last); bits != 0; bits &= bits - 1) {
        if (!mark(p + __builtin_ctz(bits))) {
            return false;
        }
    }
    return true;
}

}  // namespace tvl
