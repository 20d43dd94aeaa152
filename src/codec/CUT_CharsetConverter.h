// SPDX-License-Identifier: GPL-3.0-or-later
// Text in a declared character set to UTF-8, for people to read: through
// the C library's iconv, which knows the sets mail uses (ISO-8859-*,
// KOI8-R, Shift_JIS, GB2312, Big5, Windows code pages, ...). A name it does
// not know, or none, falls back to UTF-8 when the bytes are valid UTF-8 and
// to Windows-1252 otherwise; bytes that do not belong to their set become
// U+FFFD. The result is always valid UTF-8.
#pragma once

#include <string>

class CUT_CharsetConverter {
public:
    static std::string ToUtf8(const std::string &bytes, const std::string &charset);
    static bool IsUtf8(const std::string &bytes);
};
