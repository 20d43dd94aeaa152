// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextHelpers.h"

#include <cstdio>

#include <cstdint>
#include <cstring>

namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool IsSeparator(const char *separators, char c) {
    return c != '\0' && std::strchr(separators, c) != nullptr;
}

// Finds token `index`; on success sets start and length.
bool FindToken(const char *text, const char *separators, int index, const char **start,
               size_t *length) {
    if (text == nullptr || separators == nullptr || *separators == '\0' || index < 0)
        return false;
    const char *p = text;
    int number = 0;
    while (*p != '\0') {
        while (*p != '\0' && IsSeparator(separators, *p)) ++p;
        if (*p == '\0') break;
        const char *begin = p;
        while (*p != '\0' && !IsSeparator(separators, *p)) ++p;
        if (number == index) {
            *start = begin;
            *length = static_cast<size_t>(p - begin);
            return true;
        }
        ++number;
    }
    return false;
}

}  // namespace

void StripLineEnd(char *text) {
    if (text == nullptr) return;
    size_t len = std::strlen(text);
    // Both positions are judged on the original text, so look before writing.
    bool last = len >= 1 && IsLineBreak(text[len - 1]);
    bool before = len >= 2 && IsLineBreak(text[len - 2]);
    if (last) text[len - 1] = '\0';
    if (before) text[len - 2] = '\0';
}

bool EndsWithLineBreak(const char *text) {
    if (text == nullptr || *text == '\0') return false;
    return IsLineBreak(text[std::strlen(text) - 1]);
}

int ExtractToken(const char *text, const char *separators, int index, char *out, int size) {
    if (out != nullptr && size > 0) *out = '\0';
    const char *start = nullptr;
    size_t length = 0;
    if (!FindToken(text, separators, index, &start, &length)) return 1;
    if (out == nullptr || size <= 0 || length >= static_cast<size_t>(size)) return 1;
    std::memcpy(out, start, length);
    out[length] = '\0';
    return 0;
}

int ExtractTokenNumber(const char *text, const char *separators, int index, long *number) {
    char token[60];
    if (ExtractToken(text, separators, index, token, sizeof token) != 0) return 1;
    if (number != nullptr) *number = ParseDecimal(token);
    return 0;
}

int CountTokens(const char *text, const char *separators) {
    if (text == nullptr || *text == '\0' || separators == nullptr || *separators == '\0') return 0;
    int count = 0;
    const char *p = text;
    while (*p != '\0') {
        while (*p != '\0' && IsSeparator(separators, *p)) ++p;
        if (*p == '\0') break;
        ++count;
        while (*p != '\0' && !IsSeparator(separators, *p)) ++p;
    }
    return count;
}

void TrimSpaces(char *text) {
    if (text == nullptr) return;
    size_t len = std::strlen(text);
    while (len > 0 && text[len - 1] == ' ') text[--len] = '\0';
    size_t lead = 0;
    while (lead < len && text[lead] == ' ') ++lead;
    if (lead > 0) std::memmove(text, text + lead, len - lead + 1);
}

long HexValue(const char *text, int count) {
    if (text == nullptr) return 0;
    // Unsigned arithmetic: a long run of digits wraps instead of overflowing.
    uint32_t value = 0;
    for (int i = 0; i < count && text[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t digit = (c >= '0' && c <= '9') ? c - 48u : static_cast<uint32_t>(c) - 55u;
        value = value * 16u + digit;
    }
    return static_cast<int32_t>(value);
}

bool EqualsNoCase(const char *a, const char *b) {
    if (a == nullptr || b == nullptr) return false;
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
    return *a == *b;
}

long ParseDecimal(const char *text) {
    if (text == nullptr) return 0;
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Saturate at the 32-bit range, as the C library does for an overflow.
    const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > limit) value = limit;
    }
    return static_cast<long>(negative ? -value : value);
}

namespace {

// Eight bytes at once, in any alignment.
uint64_t Word(const char *at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Where the run of printable ASCII (0x20 to 0x7E) from at ends; eight bytes
// at a time while none of them is a control, DEL or beyond ASCII.
size_t PrintableRunEnd(std::string_view text, size_t at) {
    while (at + 8 <= text.size()) {
        const uint64_t word = Word(text.data() + at);
        const uint64_t below = (word - kOnes * 0x20) & ~word;   // a byte below 0x20
        const uint64_t above = (word + kOnes * 0x01) | word;    // a byte of 0x7F or more
        if (((below | above) & kHighBits) != 0) break;
        at += 8;
    }
    while (at < text.size()) {
        const unsigned char next = static_cast<unsigned char>(text[at]);
        if (next < 0x20 || next >= 0x7F) break;
        ++at;
    }
    return at;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (c >= 0xC2 && c <= 0xDF) length = 2, minimum = 0x80, value = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, minimum = 0x800, value = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, minimum = 0x10000, value = c & 0x07;
    else return 0;
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return length;
}

bool IsWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        // ASCII, the most of mail, eight bytes at a time.
        if (i + 8 <= text.size() && (Word(text.data() + i) & kHighBits) == 0) {
            i += 8;
            continue;
        }
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

namespace {

// The code point of a well-formed sequence of length bytes at i.
unsigned CodePointAt(std::string_view text, size_t i, size_t length) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    switch (length) {
    case 2: return (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
    case 3: return (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
    case 4: return (byte(0) & 0x07u) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 | (byte(3) & 0x3Fu);
    default: return byte(0);
    }
}

// C1 controls, and what reorders or breaks the lines a terminal shows:
// the bidirectional embeddings, overrides, isolates and marks, and the
// line and paragraph separators.
bool IsTerminalControl(unsigned point) {
    return (point >= 0x80 && point <= 0x9F) || point == 0x061C || point == 0x200E || point == 0x200F ||
           (point >= 0x2028 && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

std::string TerminalSafe(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    AppendTerminalSafe(text, out);
    return out;
}

void AppendTerminalSafe(std::string_view text, std::string &out) {
    char code[12];
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\t' || c == '\r' || c == '\n') {
            out += c == '\t' ? "\\t" : c == '\r' ? "\\r" : "\\n";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
            ++i;
        } else if (c < 0x80) {
            // A run of plain characters goes at once.
            const size_t end = PrintableRunEnd(text, i + 1);
            out.append(text, i, end - i);
            i = end;
        } else if (const size_t length = Utf8SequenceLength(text, i); length == 0) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
            ++i;
        } else if (const unsigned point = CodePointAt(text, i, length); IsTerminalControl(point)) {
            std::snprintf(code, sizeof code, "\\u%04x", point);
            out += code;
            i += length;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
}
