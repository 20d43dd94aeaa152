// SPDX-License-Identifier: GPL-3.0-or-later
// Quoted-printable decoding (RFC 2045, and the Q form of RFC 2047) as a
// step function: chunks go in one after the other, an escape may be split
// between them. Written once for the MIME codec, the header decoder and
// the preview, each with its options.
#pragma once

#include <cstddef>
#include <string>

class CUT_QuotedPrintableDecoder {
public:
    struct Options {
        // '_' stands for a blank (the Q form of encoded words).
        bool underscoreIsBlank = false;
        // '=' before blanks or a line end is a soft line break: it and
        // everything up to and including the LF go.
        bool softBreaks = true;
        // Hex digits of either case, and an '=' without two hex digits kept
        // as it is, as mail readers do; otherwise the two characters after
        // '=' are read as HexValue reads them, whatever they are.
        bool lenient = false;
    };

    CUT_QuotedPrintableDecoder() = default;
    explicit CUT_QuotedPrintableDecoder(Options options) : m_options(options) {}

    void Feed(const char *data, size_t length, std::string &out);
    // The end of the input; false when it ended inside an escape (which is
    // dropped, or kept as text when lenient).
    bool Finish(std::string &out);

private:
    enum State { kText, kEscape, kEscapeDigit, kSoftBreak };

    Options m_options;
    State m_state = kText;
    char m_first = 0;
};
