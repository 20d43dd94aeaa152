// SPDX-License-Identifier: GPL-3.0-or-later
// IMAP responses come whole and in order however the bytes are split, and
// anything that is not IMAP, or beyond a bound, breaks the parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CUT_ImapParser.h"

namespace {

std::string Render(const ImapValue &value) {
    switch (value.kind) {
    case ImapValue::Atom: return value.text;
    case ImapValue::Quoted: return "\"" + value.text + "\"";
    case ImapValue::Literal: return "{" + std::to_string(value.text.size()) + "}" + value.text;
    case ImapValue::Nil: return "NIL";
    case ImapValue::List: {
        std::string text = value.bracketed ? "[" : "(";
        for (size_t i = 0; i < value.items.size(); ++i) text += (i > 0 ? " " : "") + Render(value.items[i]);
        return text + (value.bracketed ? "]" : ")");
    }
    }
    return {};
}

std::string Render(const ImapResponse &response) {
    std::string text = response.kind == ImapResponse::Untagged       ? "*"
                       : response.kind == ImapResponse::Continuation ? "+"
                                                                     : response.tag;
    if (!response.status.empty()) text += " " + response.status;
    for (const ImapValue &value : response.items) text += " " + Render(value);
    if (!response.text.empty() || !response.status.empty() || response.kind == ImapResponse::Continuation)
        text += " text=" + response.text;
    return text + "\n";
}

// Feeds the bytes in pieces of the given sizes (cycled); what came out,
// or "broken".
std::string Parse(const std::string &bytes, size_t piece, size_t literalLimit = 1000) {
    CUT_ImapParser parser(literalLimit);
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        if (!parser.Feed(bytes.data() + at, std::min(piece, bytes.size() - at))) return "broken";
        ImapResponse response;
        while (parser.Next(&response)) out += Render(response);
    }
    return parser.Pending() == 0 ? out : out + "pending";
}

}  // namespace

TEST(ImapParser, ResponsesComeWholeHoweverTheBytesAreSplit) {
    struct Case {
        const char *name;
        std::string bytes;
        std::string parsed;  // "broken" where the parser must give up
    };
    const std::vector<Case> cases = {
        {"greeting with a response code", "* OK [CAPABILITY IMAP4rev1 IDLE MOVE] Dovecot ready.\r\n",
         "* OK [CAPABILITY IMAP4rev1 IDLE MOVE] text=Dovecot ready.\n"},
        {"fetch with literals, sections and partials",
         "* 1 FETCH (UID 7 RFC822.SIZE 120 BODY[HEADER] {14}\r\nSubject: x\r\n\r\n"
         " BODY[TEXT]<0> {5+}\r\nhallo)\r\n",
         "* 1 FETCH (UID 7 RFC822.SIZE 120 BODY[HEADER] {14}Subject: x\r\n\r\n BODY[TEXT]<0> {5}hallo)\n"},
        {"a section with blanks and parentheses",
         "* 2 FETCH (BODY[HEADER.FIELDS (FROM TO)] NIL)\r\n",
         "* 2 FETCH (BODY[HEADER.FIELDS (FROM TO)] NIL)\n"},
        {"quoted strings, flags, nested lists",
         "* LIST (\\HasNoChildren \\Junk) \"/\" \"Sp\\\"am\"\r\n* 3 FETCH (FLAGS (\\Seen) X ((a b) c))\r\n",
         "* LIST (\\HasNoChildren \\Junk) \"/\" \"Sp\"am\"\n* 3 FETCH (FLAGS (\\Seen) X ((a b) c))\n"},
        {"continuations and tagged replies",
         "+ idling\r\n+\r\na1 NO [TRYCREATE] no such mailbox\r\na2 ok Done.\r\n",
         "+ text=idling\n+ text=\na1 NO [TRYCREATE] text=no such mailbox\na2 OK text=Done.\n"},
        {"free text that is no IMAP syntax", "* BYE text with ( and \" and {3}\n",
         "* BYE text=text with ( and \" and {3}\n"},
        {"a literal of nothing", "* 4 FETCH (BODY[] {0}\r\n)\r\n", "* 4 FETCH (BODY[] {0})\n"},
        {"no blank after the tag", "hello\r\n", "broken"},
        {"a tagged reply that is no status", "a1 FETCH (x)\r\n", "broken"},
        {"a literal beyond the bound", "* 5 FETCH (BODY[] {1001}\r\n", "broken"},
        {"a literal length beyond any size", "* 5 FETCH (BODY[] {9999999999999}\r\n", "broken"},
        {"lists too deep", "* X " + std::string(20, '(') + std::string(20, ')') + "\r\n", "broken"},
        {"a closing parenthesis without a list", "* 6 FETCH )\r\n", "broken"},
        {"a control character in an atom", "* 7 FETCH (A\x01" "B)\r\n", "broken"},
        {"a line that never ends", "* OK " + std::string(70000, 'x'), "broken"},
        {"a CR without LF", "* 8 EXISTS\rX\r\n", "broken"},
        {"a string cut by the line end", "* 9 FETCH (X \"ab\r\n", "broken"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Parse(c.bytes, c.bytes.size()), c.parsed);
        for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(64)})
            EXPECT_EQ(Parse(c.bytes, piece), c.parsed) << "pieces of " << piece;
    }
}

TEST(ImapParser, AResponseWaitsForItsWholeLiteral) {
    CUT_ImapParser parser;
    const std::string head = "* 1 FETCH (BODY[] {100000}\r\n";
    ASSERT_TRUE(parser.Feed(head.data(), head.size()));
    const std::string body(99999, 'x');
    ASSERT_TRUE(parser.Feed(body.data(), body.size()));
    ImapResponse response;
    EXPECT_FALSE(parser.Next(&response));
    ASSERT_TRUE(parser.Feed("y)\r\n", 4));
    ASSERT_TRUE(parser.Next(&response));
    ASSERT_EQ(response.items.size(), 3u);
    ASSERT_EQ(response.items[2].items.size(), 2u);
    EXPECT_EQ(response.items[2].items[1].text, body + "y");
    EXPECT_EQ(parser.Pending(), 0u);
}

// A large literal goes to the sink as it arrives, however the bytes are
// split, and its response shows it empty; a small one stays in its
// response; what follows the literal is parsed as ever.
TEST(ImapParser, ALargeLiteralGoesToTheSinkAsItArrives) {
    const std::string large(CUT_ImapParser::kStreamFrom + 12345, 'm');
    const std::string bytes = "* 1 FETCH (UID 7 BODY[] {" + std::to_string(large.size()) + "}\r\n" + large +
                              " FLAGS (\\Seen))\r\n* 2 FETCH (BODY[] {5}\r\nklein)\r\np3 OK fertig\r\n";
    for (size_t piece : {size_t(1000), size_t(7), size_t(65536), bytes.size()}) {
        SCOPED_TRACE(piece);
        CUT_ImapParser parser(1u << 20);
        std::string sunk, out;
        parser.SetLiteralSink([&sunk](const char *data, size_t size) { sunk.append(data, size); });
        for (size_t at = 0; at < bytes.size(); at += piece) {
            ASSERT_TRUE(parser.Feed(bytes.data() + at, std::min(piece, bytes.size() - at)));
            ImapResponse response;
            while (parser.Next(&response)) out += Render(response);
        }
        EXPECT_EQ(sunk, large);
        EXPECT_EQ(parser.Streams(), 1);
        EXPECT_EQ(out, "* 1 FETCH (UID 7 BODY[] {0} FLAGS (\\Seen))\n* 2 FETCH (BODY[] {5}klein)\np3 OK text=fertig\n");
    }
}
