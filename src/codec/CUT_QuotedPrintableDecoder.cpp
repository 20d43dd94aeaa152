// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_QuotedPrintableDecoder.h"

#include "TextHelpers.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void CUT_QuotedPrintableDecoder::Feed(const char *data, size_t length, std::string &out) {
    if (data == nullptr) return;
    for (size_t i = 0; i < length; ++i) {
        const char c = data[i];
        switch (m_state) {
        case kText:
            if (c == '=')
                m_state = kEscape;
            else
                out += (c == '_' && m_options.underscoreIsBlank) ? ' ' : c;
            break;
        case kEscape:
            if (m_options.softBreaks &&
                (c == ' ' || c == '\t' || c == '\r' || (m_options.lenient && c == '\n'))) {
                m_state = c == '\n' ? kText : kSoftBreak;
            } else if (m_options.lenient && HexDigit(c) < 0) {
                out += '=';
                m_state = kText;
                --i;  // the character is text of its own
            } else {
                m_first = c;
                m_state = kEscapeDigit;
            }
            break;
        case kEscapeDigit:
            if (!m_options.lenient) {
                const char pair[3] = {m_first, c, '\0'};
                out += static_cast<char>(HexValue(pair, 2) & 0xFF);
            } else if (HexDigit(c) >= 0) {
                out += static_cast<char>(HexDigit(m_first) * 16 + HexDigit(c));
            } else {
                out += '=';
                out += m_first;
                --i;
            }
            m_state = kText;
            break;
        case kSoftBreak:
            if (c == '\n') m_state = kText;
            break;
        }
    }
}

bool CUT_QuotedPrintableDecoder::Finish(std::string &out) {
    const bool whole = m_state == kText || m_state == kSoftBreak;
    if (m_options.lenient && m_state == kEscape) out += '=';
    if (m_options.lenient && m_state == kEscapeDigit) {
        out += '=';
        out += m_first;
    }
    m_state = kText;
    return whole;
}
