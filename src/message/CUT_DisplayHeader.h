// SPDX-License-Identifier: GPL-3.0-or-later
// A header value as a mail reader shows it: every encoded word (RFC 2047)
// decoded and converted from its own charset, blanks between two adjacent
// encoded words dropped (RFC 2047 §6.2), folds unfolded, raw 8-bit text
// taken as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise. The
// result is UTF-8 whatever charsets the value mixes. A malformed word stays
// as it stands. (CUT_HeaderDecoder keeps the bytes and reports a charset.)
#pragma once

#include <string>

class CUT_DisplayHeader {
public:
    static std::string Decode(const std::string &value);
};
