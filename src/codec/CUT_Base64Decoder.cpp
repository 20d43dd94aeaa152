// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_Base64Decoder.h"

unsigned CUT_Base64Decoder::Value(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 255;
}

void CUT_Base64Decoder::DecodeGroup(std::string &out) {
    const unsigned w = Value(m_group[0]), x = Value(m_group[1]);
    const unsigned y = Value(m_group[2]), z = Value(m_group[3]);
    const char bytes[3] = {static_cast<char>((w << 2) | ((x >> 4) & 3)),
                           static_cast<char>((x << 4) | ((y >> 2) & 15)),
                           static_cast<char>((y << 6) | (z & 63))};
    // Padding says how many of the three bytes are data.
    const size_t count = m_group[2] == '=' ? 1 : m_group[3] == '=' ? 2 : 3;
    out.append(bytes, count);
    m_count = 0;
}

void CUT_Base64Decoder::Feed(const char *data, size_t length, std::string &out) {
    if (data == nullptr) return;
    for (size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (m_skip == kSkipLineBreaks && (c == '\r' || c == '\n' || c == ' ')) continue;
        if (m_skip == kSkipAllButBase64 && c != '=' && Value(c) == 255) continue;
        m_group[m_count++] = c;
        if (m_count == 4) DecodeGroup(out);
    }
}

void CUT_Base64Decoder::Finish(std::string &out, bool pad) {
    if (m_count > 0 && pad) {
        while (m_count < 4) m_group[m_count++] = '=';
        DecodeGroup(out);
    }
    m_count = 0;
}
