// SPDX-License-Identifier: GPL-3.0-or-later
// Small text routines shared by every layer. All work on NUL-terminated
// 8-bit texts; a null text is always handled without a crash.
#pragma once

#include <string>
#include <string_view>

// Replaces the last character and the one before it by the string end where
// each is a CR or an LF.
void StripLineEnd(char *text);

// True when the text's last character is CR or LF.
bool EndsWithLineBreak(const char *text);

// Copies token number `index` (0-based) into `out` (room for `size` bytes,
// NUL included). Runs of separators make no empty tokens. 0 on success,
// 1 when the token does not exist or does not fit.
int ExtractToken(const char *text, const char *separators, int index, char *out, int size);

// ExtractToken through a 60-character buffer, converted as atol does.
// 0 on success (number written), 1 on failure (number untouched).
int ExtractTokenNumber(const char *text, const char *separators, int index, long *number);

// Number of tokens ExtractToken would find; 0 for an empty or null text.
int CountTokens(const char *text, const char *separators);

// Removes trailing, then leading blanks (code 32 only) in place.
void TrimSpaces(char *text);

// Base-16 value of the first `count` characters: '0'..'9' count code - 48,
// every other character code - 55. Stops early at the string end.
long HexValue(const char *text, int count);

// The upper case of an ASCII letter; every other byte as it is (what the C
// library does in the C locale, without depending on the locale).
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Whole-text equality ignoring the case of ASCII letters; false for null.
bool EqualsNoCase(const char *a, const char *b);

// atol without its undefined behaviour: leading white space, optional sign,
// decimal digits up to the first other character; saturates at the 32-bit
// range instead of overflowing.
long ParseDecimal(const char *text);

// Text made safe to write to a terminal: tab, CR and LF as \t, \r, \n;
// other C0 controls, DEL and bytes that are no valid UTF-8 as \xNN; C1
// controls written in UTF-8 (U+0080 to U+009F, which some terminals obey
// as escape sequences) as \u00NN, and so the characters that reorder or
// break what a terminal shows (the bidirectional controls U+061C,
// U+200E/200F, U+202A-202E, U+2066-2069, and U+2028/2029). Everything
// else stays as it is.
std::string TerminalSafe(const std::string &text);
// The same, appended to out.
void AppendTerminalSafe(std::string_view text, std::string &out);

// The length of the well-formed UTF-8 sequence at text[at] (1 for ASCII);
// 0 where none starts: a stray or overlong form, a surrogate, beyond U+10FFFF,
// or cut by the end.
size_t Utf8SequenceLength(std::string_view text, size_t at);
// Whether every byte of the text belongs to a well-formed UTF-8 sequence.
bool IsWellFormedUtf8(std::string_view text);
