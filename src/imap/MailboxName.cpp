// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailboxName.h"

#include <cstdint>
#include <vector>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

// The code points of well-formed UTF-8.
bool CodePoints(const std::string &utf8, std::vector<uint32_t> *out) {
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + static_cast<size_t>(length) > utf8.size()) return false;
        uint32_t point = length == 1 ? c : c & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        out->push_back(point);
        i += static_cast<size_t>(length);
    }
    return true;
}

void AppendUtf8(uint32_t point, std::string *out) {
    if (point < 0x80) {
        *out += static_cast<char>(point);
    } else if (point < 0x800) {
        *out += static_cast<char>(0xC0 | point >> 6);
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out += static_cast<char>(0xE0 | point >> 12);
        *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | point >> 18);
        *out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// One run of other characters, as "&...-".
void AppendShifted(const std::vector<uint16_t> &units, std::string *out) {
    *out += '&';
    uint32_t bits = 0;
    int held = 0;
    for (uint16_t unit : units) {
        bits = bits << 16 | unit;
        held += 16;
        while (held >= 6) {
            held -= 6;
            *out += kAlphabet[bits >> held & 0x3F];
        }
        bits &= (1u << held) - 1;
    }
    if (held > 0) *out += kAlphabet[bits << (6 - held) & 0x3F];
    *out += '-';
}

}  // namespace

bool EncodeMailboxName(const std::string &utf8, std::string *wire) {
    wire->clear();
    bool ascii = true;
    for (char c : utf8) ascii = ascii && Printable(static_cast<unsigned char>(c));
    if (ascii) {
        *wire = utf8;
        return true;
    }
    std::vector<uint32_t> points;
    if (!CodePoints(utf8, &points)) return false;
    std::vector<uint16_t> run;
    for (uint32_t point : points) {
        if (point < 0x80 && Printable(static_cast<unsigned char>(point))) {
            if (!run.empty()) AppendShifted(run, wire), run.clear();
            *wire += point == '&' ? std::string("&-") : std::string(1, static_cast<char>(point));
        } else if (point >= 0x10000) {
            run.push_back(static_cast<uint16_t>(0xD800 + ((point - 0x10000) >> 10)));
            run.push_back(static_cast<uint16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            run.push_back(static_cast<uint16_t>(point));
        }
    }
    if (!run.empty()) AppendShifted(run, wire);
    return true;
}

bool DecodeMailboxName(const std::string &wire, std::string *utf8) {
    utf8->clear();
    for (size_t i = 0; i < wire.size();) {
        const unsigned char c = static_cast<unsigned char>(wire[i]);
        if (!Printable(c)) return false;
        if (c != '&') {
            *utf8 += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t end = wire.find('-', i + 1);
        if (end == std::string::npos) return false;
        if (end == i + 1) {
            *utf8 += '&';
            i = end + 1;
            continue;
        }
        uint32_t bits = 0, high = 0;
        int held = 0;
        for (size_t k = i + 1; k < end; ++k) {
            const char *at = std::char_traits<char>::find(kAlphabet, 64, wire[k]);
            if (at == nullptr) return false;
            bits = bits << 6 | static_cast<uint32_t>(at - kAlphabet);
            held += 6;
            if (held < 16) continue;
            held -= 16;
            const uint32_t unit = bits >> held & 0xFFFF;
            bits &= (1u << held) - 1;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                if (high != 0) return false;
                high = unit;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                if (high == 0) return false;
                AppendUtf8(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00), utf8);
                high = 0;
            } else {
                if (high != 0 || (unit < 0x80 && Printable(static_cast<unsigned char>(unit)))) return false;
                AppendUtf8(unit, utf8);
            }
        }
        // What is left over must be padding of zero bits, less than a unit.
        if (high != 0 || held >= 6 || bits != 0) return false;
        i = end + 1;
    }
    return true;
}
