// SPDX-License-Identifier: GPL-3.0-or-later
// The response side of an IMAP4rev1 conversation (RFC 3501; RFC 9051's
// servers in mind): bytes as they arrive, split anywhere, become whole
// responses. A response is untagged ("* ..."), a continuation request
// ("+ ...") or tagged ("a1 OK ..."); its data are atoms, quoted strings,
// literals ({n} and {n+}), parenthesised lists (nested) and NIL. Status
// responses (OK, NO, BAD, PREAUTH, BYE) keep their bracketed response code
// as a list and the rest of the line as plain text, so free text from a
// server can never break the parse.
//
// Every size is bounded: a literal, the bytes of one response outside its
// literals, the nesting and the number of items. Whatever is not IMAP, or
// beyond a bound, breaks the parser for good: the caller must then lose
// the step, as the POP3 session does, and send nothing more that could
// remove mail.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ImapValue {
    enum Kind { Atom, Quoted, Literal, List, Nil };
    Kind kind = Atom;
    std::string text;              // an atom's, string's or literal's bytes
    std::vector<ImapValue> items;  // a list's
    bool bracketed = false;        // a list in [ ] (a response code)
};

struct ImapResponse {
    enum Kind { Untagged, Continuation, Tagged };
    Kind kind = Untagged;
    std::string tag;               // tagged only
    std::vector<ImapValue> items;  // the data after the tag ("*", "+")
    // For status responses: the status word upper-cased, and the text.
    std::string status;
    std::string text;
};

class CUT_ImapParser {
public:
    static constexpr size_t kDefaultLiteralLimit = 64u * 1024 * 1024;
    static constexpr size_t kLineLimit = 64 * 1024;  // outside literals
    static constexpr int kDepthLimit = 16;
    static constexpr size_t kItemLimit = 100000;

    explicit CUT_ImapParser(size_t literalLimit = kDefaultLiteralLimit) : m_literalLimit(literalLimit) {}

    // The largest literal taken from now on.
    void SetLiteralLimit(size_t bytes) { m_literalLimit = bytes; }
    // Literals of at least kStreamFrom bytes go to sink as they arrive,
    // not into their response, which shows them as empty literals; so a
    // whole message is never held in memory. Streamed() tells how many
    // bytes went, in how many literals. An empty sink ends it.
    static constexpr size_t kStreamFrom = 64 * 1024;
    void SetLiteralSink(std::function<void(const char *data, size_t size)> sink, size_t from = kStreamFrom) {
        m_sink = std::move(sink);
        m_streamFrom = from;
        m_streamed = m_streams = 0;
    }
    size_t Streamed() const { return m_streamed; }
    int Streams() const { return m_streams; }
    // Takes the next bytes; false once the parser is broken.
    bool Feed(const char *data, size_t size);
    // The next whole response, in order; false when none is complete yet.
    bool Next(ImapResponse *response);
    bool Broken() const { return m_broken; }
    // Why it broke, for the failure reason; empty while it is not.
    const std::string &Problem() const { return m_problem; }
    // Bytes held that belong to no whole response yet.
    size_t Pending() const { return m_buffer.size() - m_start; }

private:
    enum class Parse { Done, More, Bad };
    void ParseAll();
    // Whether the response from m_start is all there (see the .cpp).
    bool Framed();
    // Whether the line ending at lineEnd closes with a literal's length.
    bool LiteralBefore(size_t lineEnd, size_t *length, size_t *open = nullptr) const;
    // Hands up to m_streamLeft bytes of data to the sink; how many it took.
    size_t Stream(const char *data, size_t size);
    // Whether the response beginning at from is a status response or a
    // continuation request (no literal in it).
    bool IsTextLine(size_t from, size_t end) const;
    Parse ParseResponse(size_t *at, ImapResponse *out);
    Parse ParseValues(size_t *at, std::vector<ImapValue> *out, int depth, char close);
    Parse ParseValue(size_t *at, ImapValue *out, int depth);
    Parse ParseLiteral(size_t *at, ImapValue *out);
    Parse ParseQuoted(size_t *at, ImapValue *out);
    Parse ParseAtom(size_t *at, ImapValue *out);
    Parse RestOfLine(size_t *at, std::string *out);
    Parse Fail(const std::string &why);

    std::string m_buffer;
    size_t m_start = 0;         // the first byte of the response being read
    size_t m_wanted = 0;        // no new try before the buffer holds this much
    size_t m_waitFrom = 0;      // where the literal awaited begins
    size_t m_scanAt = 0;        // how far the response being read is framed
    size_t m_lineFrom = 0;      // where the line being framed begins
    std::function<void(const char *, size_t)> m_sink;
    size_t m_streamFrom = kStreamFrom;
    size_t m_streamLeft = 0;    // of the literal being streamed
    size_t m_streamed = 0;
    int m_streams = 0;
    size_t m_items = 0;
    size_t m_literalBytes = 0;  // of the response being read
    size_t m_literalLimit;
    std::deque<ImapResponse> m_ready;
    bool m_broken = false;
    std::string m_problem;
};
