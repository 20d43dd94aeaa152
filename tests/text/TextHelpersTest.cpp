// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextHelpers.h"

namespace {

std::string Stripped(std::string text) {
    StripLineEnd(text.data());
    return text.c_str();
}

std::string Trimmed(std::string text) {
    TrimSpaces(text.data());
    return text.c_str();
}

std::string Token(const char *text, const char *separators, int index, int size, int *result) {
    char out[300] = "unchanged";
    *result = ExtractToken(text, separators, index, out, size);
    return out;
}

}  // namespace

TEST(TextHelpers, StripLineEndLooksAtTheLastTwoCharactersOnly) {
    EXPECT_EQ(Stripped("+OK 3\r\n"), "+OK 3");
    EXPECT_EQ(Stripped("line\n"), "line");
    EXPECT_EQ(Stripped("line\r"), "line");
    EXPECT_EQ(Stripped("line\n\r"), "line");
    EXPECT_EQ(Stripped("line\r\n\r\n"), "line\r\n");
    // The character before the last is judged on its own.
    EXPECT_EQ(Stripped("ab\nc"), "ab");
    EXPECT_EQ(Stripped("\n"), "");
    EXPECT_EQ(Stripped(""), "");
    StripLineEnd(nullptr);
}

TEST(TextHelpers, EndsWithLineBreak) {
    EXPECT_TRUE(EndsWithLineBreak("a\r\n"));
    EXPECT_TRUE(EndsWithLineBreak("a\r"));
    EXPECT_FALSE(EndsWithLineBreak("a\r\nb"));
    EXPECT_FALSE(EndsWithLineBreak(""));
    EXPECT_FALSE(EndsWithLineBreak(nullptr));
}

TEST(TextHelpers, ExtractTokenSkipsSeparatorRunsAndChecksTheSize) {
    int rc;
    EXPECT_EQ(Token("+OK 3 1200", " ", 1, 261, &rc), "3");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Token("  +OK   2  1500 ", " ", 2, 261, &rc), "1500");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Token("+OK 2 (1500)", " ()", 2, 261, &rc), "1500");
    EXPECT_EQ(rc, 0);
    // No such token: out becomes empty.
    EXPECT_EQ(Token("+OK", " ", 1, 261, &rc), "");
    EXPECT_EQ(rc, 1);
    // A token must be shorter than the size (room for the NUL).
    EXPECT_EQ(Token("a abcd", " ", 1, 5, &rc), "abcd");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Token("a abcde", " ", 1, 5, &rc), "");
    EXPECT_EQ(rc, 1);
    // Null text, null or empty separators fail.
    EXPECT_EQ(Token(nullptr, " ", 0, 10, &rc), "");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Token("abc", nullptr, 0, 10, &rc), "");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Token("abc", "", 0, 10, &rc), "");
    EXPECT_EQ(rc, 1);
    // A size of 0 leaves out alone and fails.
    EXPECT_EQ(Token("abc", " ", 0, 0, &rc), "unchanged");
    EXPECT_EQ(rc, 1);
}

TEST(TextHelpers, ExtractTokenNumberUsesA60CharacterBuffer) {
    long number = -7;
    EXPECT_EQ(ExtractTokenNumber("1 abc\r\n", " \r\n", 0, &number), 0);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(ExtractTokenNumber("x 12abc", " ", 1, &number), 0);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(ExtractTokenNumber("x abc", " ", 1, &number), 0);
    EXPECT_EQ(number, 0);
    number = -7;
    std::string long_token(60, '9');
    EXPECT_EQ(ExtractTokenNumber(long_token.c_str(), " ", 0, &number), 1);
    EXPECT_EQ(number, -7);
    std::string fits(59, '9');
    EXPECT_EQ(ExtractTokenNumber(fits.c_str(), " ", 0, &number), 0);
    EXPECT_EQ(number, 2147483647);  // saturated, never undefined
}

TEST(TextHelpers, CountTokensMatchesExtractToken) {
    EXPECT_EQ(CountTokens("", " "), 0);
    EXPECT_EQ(CountTokens("   ", " "), 0);
    EXPECT_EQ(CountTokens("a", " "), 1);
    EXPECT_EQ(CountTokens(" a;b ;; c ", " ;"), 3);
    EXPECT_EQ(CountTokens(nullptr, " "), 0);
}

TEST(TextHelpers, TrimSpacesRemovesBlanksButNotTabs) {
    EXPECT_EQ(Trimmed("  abc  "), "abc");
    EXPECT_EQ(Trimmed("\t abc \t"), "\t abc \t");
    EXPECT_EQ(Trimmed("    "), "");
    EXPECT_EQ(Trimmed(" a b "), "a b");
    TrimSpaces(nullptr);
}

TEST(TextHelpers, HexValueCountsEveryNonDigitAsCodeMinus55) {
    EXPECT_EQ(HexValue("3D", 2), 61);
    EXPECT_EQ(HexValue("ff", 2), 47 * 16 + 47);  // lower case: 102 - 55
    EXPECT_EQ(HexValue("A0x", 2), 160);
    EXPECT_EQ(HexValue("1", 0), 0);
    // Never reads past the string end.
    EXPECT_EQ(HexValue("F", 2), 15);
}

TEST(TextHelpers, ParseDecimalActsLikeAtolWithoutOverflow) {
    EXPECT_EQ(ParseDecimal("  -42xyz"), -42);
    EXPECT_EQ(ParseDecimal("+7"), 7);
    EXPECT_EQ(ParseDecimal("x1"), 0);
    EXPECT_EQ(ParseDecimal("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseDecimal("-99999999999999999999"), -2147483647L - 1);
}

// Runs of plain text are read eight bytes at a time: a control, a byte
// beyond ASCII or a broken sequence is found wherever it sits in the run.
TEST(TextHelpers, TerminalTextAndUtf8CheckFindEveryByteWhereverItSits) {
    struct Case {
        std::string bytes, shown;
        bool wellFormed;
    };
    const std::vector<Case> cases = {
        {" ~", " ~", true},
        {"\t", "\\t", true},
        {"\x1f", "\\x1f", true},
        {"\x7f", "\\x7f", true},
        {"\xc3\xa9", "\xc3\xa9", true},
        {"\xc2\x85", "\\u0085", true},
        {"\xf0\x9f\x93\xa7", "\xf0\x9f\x93\xa7", true},
        // What reorders or breaks a terminal's lines; their neighbours pass.
        {"\xd8\x9c", "\\u061c", true},
        {"\xe2\x80\x8e", "\\u200e", true},
        {"\xe2\x80\xa8", "\\u2028", true},
        {"\xe2\x80\xae", "\\u202e", true},
        {"\xe2\x81\xa9", "\\u2069", true},
        {"\xe2\x80\xa7", "\xe2\x80\xa7", true},
        {"\xe2\x81\xaa", "\xe2\x81\xaa", true},
        {"\xc3", "\\xc3", false},
        {"\xc0\xaf", "\\xc0\\xaf", false},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80", false},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", false},
    };
    for (const Case &c : cases) {
        for (size_t at = 0; at <= 19; ++at) {
            const std::string before(at, 'a'), after(19 - at, 'z');
            SCOPED_TRACE(c.shown + " at " + std::to_string(at));
            EXPECT_EQ(TerminalSafe(before + c.bytes + after), before + c.shown + after);
            EXPECT_EQ(IsWellFormedUtf8(before + c.bytes + after), c.wellFormed);
        }
    }
}
