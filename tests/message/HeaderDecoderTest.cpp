// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "CUT_HeaderDecoder.h"

namespace {

struct Decoded {
    bool ok;
    std::string text;
    bool flag;
    ResultCode last;
};

Decoded Decode(const std::string &input) {
    CUT_HeaderDecoder decoder;
    const char *flag = nullptr;
    const char *out = decoder.DecodeHeader(input.c_str(), &flag);
    return {out != nullptr, out != nullptr ? out : "", flag != nullptr, decoder.GetLastResult()};
}

}  // namespace

TEST(HeaderDecoder, DecodesQAndBWords) {
    Decoded d = Decode(" =?iso-8859-1?Q?Gr=FC=DFe?=");
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.text, " Gr\xFC\xDF" "e");
    EXPECT_TRUE(d.flag);
    EXPECT_EQ(Decode("=?ISO-8859-1?Q?Sch=F6ne_Gr=FC=DFe?=").text, "Sch\xF6ne Gr\xFC\xDF" "e");
    EXPECT_EQ(Decode("=?utf-8?B?SGFsbG8=?=").text, "Hallo");
    EXPECT_EQ(Decode("=?utf-8?b?SGFsbG8?=").text, "Hallo");  // padding one short
    EXPECT_EQ(Decode("=?x?q?=3d?=").text, std::string(1, static_cast<char>(93)));
    EXPECT_EQ(Decode("=?UTF-8?B?TWFyw61hIEdhcmPDrWE=?= <maria@example.es>").text,
              "Mar\xC3\xAD" "a Garc\xC3\xAD" "a <maria@example.es>");
}

TEST(HeaderDecoder, KeepsBlanksBetweenWordsButDropsFolds) {
    EXPECT_EQ(Decode("=?a?B?SGk=?= =?a?B?SGk=?=").text, "Hi Hi");
    EXPECT_EQ(Decode("=?a?B?SGk=?=\r\n =?a?B?SGk=?=").text, "HiHi");
    EXPECT_EQ(Decode("=?a?B?SGk=?=\r\n\t=?a?B?SGk=?=").text, "HiHi");
    EXPECT_EQ(Decode("Re: =?a?Q?x?= and plain").text, "Re: x and plain");
    Decoded plain = Decode("Nothing encoded = here ?");
    EXPECT_EQ(plain.text, "Nothing encoded = here ?");
    EXPECT_FALSE(plain.flag);
    Decoded empty = Decode("");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.text, "");
}

TEST(HeaderDecoder, MalformedWordsFailWithTheirCodes) {
    Decoded d = Decode("=?x?X?abc?=");
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.last, RC_BAD_ENCODING);
    EXPECT_TRUE(d.flag);
    d = Decode("=?x?Q?abc");
    EXPECT_EQ(d.last, RC_MALFORMED_WORD);
    EXPECT_TRUE(d.flag);  // the charset was read before the failure
    d = Decode("=?x?Q?a=4?=");
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.last, RC_ERROR);
    d = Decode("=?" + std::string(76, 'c') + "?Q?abc?=");
    EXPECT_EQ(d.last, RC_CHARSET_TOO_LONG);
    EXPECT_FALSE(d.flag);
    EXPECT_TRUE(Decode("=?" + std::string(75, 'c') + "?Q?abc?=").ok);
    // Unclosed charset, missing letter, too short, too long a word.
    EXPECT_EQ(Decode("=?utf-8").last, RC_MALFORMED_WORD);
    EXPECT_EQ(Decode("=?utf-8?").last, RC_MALFORMED_WORD);
    EXPECT_EQ(Decode("=?utf-8?Q").last, RC_MALFORMED_WORD);
    EXPECT_EQ(Decode("=?utf-8?Qx").last, RC_MALFORMED_WORD);
    EXPECT_EQ(Decode("=?utf-8?Q?a").last, RC_MALFORMED_WORD);
    EXPECT_EQ(Decode("=?u?B?" + std::string(200, 'A') + "?=").last, RC_MALFORMED_WORD);
    EXPECT_TRUE(Decode("=?u?B?" + std::string(196, 'A') + "?=").ok);

    CUT_HeaderDecoder decoder;
    EXPECT_EQ(decoder.DecodeHeader(nullptr, nullptr), nullptr);
    EXPECT_EQ(decoder.GetLastResult(), RC_EMPTY_TEXT);
    EXPECT_NE(decoder.DecodeHeader("ok", nullptr), nullptr);
    EXPECT_EQ(decoder.GetLastResult(), RC_EMPTY_TEXT);  // a success does not clear it
}

TEST(HeaderDecoder, WordDecodersCheckTheirBuffers) {
    CUT_HeaderDecoder decoder;
    char out[8];
    EXPECT_EQ(decoder.DecodeBase64Word(nullptr, out, 8), RC_NULL_ARGUMENT);
    EXPECT_EQ(decoder.DecodeQWord("abc", nullptr, 8), RC_NULL_ARGUMENT);
    EXPECT_EQ(decoder.DecodeQWord("abcdefghi", out, 8), RC_BUFFER_TOO_SMALL);
    // Output plus NUL must fit, even when the input length equals the size.
    EXPECT_EQ(decoder.DecodeQWord("abcdefgh", out, 8), RC_BUFFER_TOO_SMALL);
    EXPECT_EQ(decoder.DecodeBase64Word("Q", out, 1), RC_BUFFER_TOO_SMALL);
    EXPECT_EQ(decoder.DecodeQWord("a_b=41", out, 8), RC_OK);
    EXPECT_STREQ(out, "a bA");
    // Characters outside the alphabet are not skipped: they count as 255.
    EXPECT_EQ(decoder.DecodeBase64Word("S!Gk", out, 8), RC_OK);
    EXPECT_EQ(std::strlen(out), 3u);
}

TEST(HeaderDecoder, EncodesBAndQWords) {
    CUT_HeaderDecoder decoder;
    EXPECT_STREQ(decoder.EncodeHeader("Hallo", "iso-8859-1", 1), "=?iso-8859-1?Q?Hallo?=");
    EXPECT_STREQ(decoder.EncodeHeader("Hallo", "iso-8859-1", 0), "=?iso-8859-1?B?SGFsbG8=?=");
    EXPECT_STREQ(decoder.EncodeHeader("Gr\xFC\xDF" "e, du!", "latin1", 1),
                 "=?latin1?Q?Gr=FC=DFe=2C=20du=21?=");
    EXPECT_EQ(decoder.EncodeHeader("", "x", 1), nullptr);
    EXPECT_EQ(decoder.GetLastResult(), RC_EMPTY_TEXT);
    EXPECT_EQ(decoder.EncodeHeader("a", "bad.charset", 1), nullptr);
    EXPECT_EQ(decoder.GetLastResult(), RC_BAD_CHARSET);
    EXPECT_EQ(decoder.EncodeHeader("a", std::string(31, 'c').c_str(), 1), nullptr);
    EXPECT_EQ(decoder.GetLastResult(), RC_CHARSET_TOO_LONG);

    // Long texts are split into words that decode back to the same bytes.
    std::string text;
    for (int i = 0; i < 300; ++i) text += static_cast<char>(32 + (i * 7) % 200);
    for (int useQ = 0; useQ <= 1; ++useQ) {
        const char *encoded = decoder.EncodeHeader(text.c_str(), "utf-8", useQ);
        ASSERT_NE(encoded, nullptr);
        std::string words(encoded);
        size_t longest = 0, start = 0;
        for (size_t end; (end = words.find("\r\n", start)) != std::string::npos; start = end + 2)
            longest = std::max(longest, end - start);
        EXPECT_LE(longest, 76u);
        CUT_HeaderDecoder back;
        const char *flag = nullptr;
        const char *decoded = back.DecodeHeader(encoded, &flag);
        ASSERT_NE(decoded, nullptr) << back.GetLastResult();
        EXPECT_EQ(std::string(decoded), text) << "useQ " << useQ;
    }
    // B pieces are 49 minus the charset length bytes long.
    const char *b = decoder.EncodeHeader(std::string(45, 'z').c_str(), "utf-8", 0);
    EXPECT_EQ(std::string(b).find("\r\n "), std::string("=?utf-8?B?").size() + 60 + 2);
}
