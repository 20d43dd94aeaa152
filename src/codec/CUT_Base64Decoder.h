// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 decoding as a step function: chunks go in one after the other and
// a group of four characters may be split between them, so a part can be
// decoded as it streams or where it was cut off. Written once for the MIME
// codec, the header decoder and the preview, each with its options.
#pragma once

#include <cstddef>
#include <string>

class CUT_Base64Decoder {
public:
    enum Skip {
        kSkipNothing,        // every character counts (encoded header words)
        kSkipLineBreaks,     // CR, LF and blanks are passed over (MIME bodies)
        kSkipAllButBase64,   // anything outside the alphabet and '=' (previews)
    };

    explicit CUT_Base64Decoder(Skip skip = kSkipLineBreaks) : m_skip(skip) {}

    // Decodes every complete group of four; the rest waits for more.
    void Feed(const char *data, size_t length, std::string &out);
    // The end of the input: a group left short is filled up with '=' and
    // decoded when pad is set, else dropped.
    void Finish(std::string &out, bool pad);

    // 0 to 63 for a character of the alphabet, 255 for any other.
    static unsigned Value(char c);

private:
    void DecodeGroup(std::string &out);

    Skip m_skip;
    char m_group[4] = {};
    int m_count = 0;
};
