// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_CharsetConverter.h"

#include <iconv.h>

#include <cerrno>

#include "TextHelpers.h"

namespace {

// Converts with iconv; false when the set is unknown. Undecodable bytes
// become U+FFFD, one each; an incomplete sequence at the end is dropped.
bool Convert(const std::string &bytes, const std::string &charset, std::string *out) {
    iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char *target = buffer;
        size_t targetLeft = sizeof buffer;
        const size_t done = ::iconv(converter, &in, &inLeft, &target, &targetLeft);
        out->append(buffer, sizeof buffer - targetLeft);
        if (done != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EINVAL) break;  // cut in the middle of a character
        // EILSEQ: a byte that is no character of the set.
        out->append("\xEF\xBF\xBD");
        ++in;
        --inLeft;
    }
    char *target = buffer;
    size_t targetLeft = sizeof buffer;
    ::iconv(converter, nullptr, nullptr, &target, &targetLeft);
    out->append(buffer, sizeof buffer - targetLeft);
    ::iconv_close(converter);
    return true;
}

bool Named(const std::string &charset, const char *name) { return EqualsNoCase(charset.c_str(), name); }

// Every byte that starts no well-formed sequence becomes U+FFFD.
std::string Repaired(const std::string &bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes, i, length);
            i += length;
        }
    }
    return out;
}

}  // namespace

bool CUT_CharsetConverter::IsUtf8(const std::string &bytes) { return IsWellFormedUtf8(bytes); }

std::string CUT_CharsetConverter::ToUtf8(const std::string &bytes, const std::string &charset) {
    std::string out;
    // RFC 2231 may add a language after '*'.
    std::string name = charset.substr(0, charset.find('*'));
    const bool utf8 = Named(name, "utf-8") || Named(name, "utf8");
    const bool plain = name.empty() || Named(name, "us-ascii") || Named(name, "ascii") || utf8;
    // iconv's own UTF-8 reading lets some ill-formed sequences through, so
    // what it gives is checked once more.
    if (!plain && Convert(bytes, name, &out)) return IsUtf8(out) ? out : Repaired(out);
    if (IsUtf8(bytes)) return bytes;
    // Declared UTF-8 and ill-formed: the bad bytes become U+FFFD. Mail that
    // claims ASCII and is not, or names a set nobody knows, was most likely
    // written in the Windows code page.
    if (utf8) return Repaired(bytes);
    if (Convert(bytes, "WINDOWS-1252", &out)) return IsUtf8(out) ? out : Repaired(out);
    return Repaired(bytes);
}
