// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_ImapParser.h"
#include "Translate.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsStatus(const std::string &word) {
    static const char *const kWords[] = {"OK", "NO", "BAD", "PREAUTH", "BYE"};
    for (const char *status : kWords) {
        if (word.size() != std::strlen(status)) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i)
            same = (word[i] >= 'a' && word[i] <= 'z' ? word[i] - 32 : word[i]) == status[i];
        if (same) return true;
    }
    return false;
}

std::string Upper(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

// Ends an atom (outside the brackets of a section such as BODY[TEXT]).
bool EndsAtom(char c) {
    return c == ' ' || c == '(' || c == ')' || c == '\r' || c == '\n' || c == '"' || c == '{' ||
           c == ']';
}

}  // namespace

size_t CUT_ImapParser::Stream(const char *data, size_t size) {
    const size_t taken = std::min(size, m_streamLeft);
    if (taken > 0 && m_sink) m_sink(data, taken);
    m_streamLeft -= taken;
    m_streamed += taken;
    return taken;
}

bool CUT_ImapParser::Feed(const char *data, size_t size) {
    if (m_broken) return false;
    const size_t streamed = Stream(data, size);
    data += streamed, size -= streamed;
    if (size > 0) m_buffer.append(data, size);
    ParseAll();
    return !m_broken;
}

bool CUT_ImapParser::Next(ImapResponse *response) {
    if (m_ready.empty()) return false;
    *response = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

CUT_ImapParser::Parse CUT_ImapParser::Fail(const std::string &why) {
    if (!m_broken) m_problem = why;
    m_broken = true;
    return Parse::Bad;
}

bool CUT_ImapParser::LiteralBefore(size_t lineEnd, size_t *length, size_t *open) const {
    // "{123}\r\n" or "{123+}\n" at the end of a line.
    const std::string &b = m_buffer;
    size_t at = lineEnd;
    if (at > m_lineFrom && b[at - 1] == '\r') --at;
    if (at <= m_lineFrom || b[at - 1] != '}') return false;
    --at;
    if (at > m_lineFrom && b[at - 1] == '+') --at;
    size_t digits = 0;
    while (at > m_lineFrom && b[at - 1] >= '0' && b[at - 1] <= '9' && digits <= 12) --at, ++digits;
    if (digits == 0 || digits > 12 || at <= m_lineFrom || b[at - 1] != '{') return false;
    *length = 0;
    for (size_t i = at; i < at + digits; ++i) *length = *length * 10 + static_cast<size_t>(b[i] - '0');
    if (open != nullptr) *open = at - 1;
    return true;
}

bool CUT_ImapParser::IsTextLine(size_t from, size_t end) const {
    const std::string &b = m_buffer;
    if (b[from] == '+') return true;
    const void *found = std::memchr(b.data() + from, ' ', end - from);
    if (found == nullptr) return false;
    const size_t blank = static_cast<size_t>(static_cast<const char *>(found) - b.data());
    size_t word = blank + 1;
    while (word < end && !EndsAtom(b[word]) && b[word] != '[') ++word;
    return IsStatus(b.substr(blank + 1, word - blank - 1));
}

bool CUT_ImapParser::Framed() {
    // Where the response being read ends, found once, line by line, with
    // each literal's bytes skipped rather than looked at: a response of
    // many literals costs its length once, and is parsed only when whole.
    const std::string &b = m_buffer;
    if (m_scanAt < m_start) m_scanAt = m_lineFrom = m_start;
    while (m_scanAt < b.size()) {
        const void *found = std::memchr(b.data() + m_scanAt, '\n', b.size() - m_scanAt);
        const size_t end = found == nullptr ? b.size() : static_cast<size_t>(static_cast<const char *>(found) - b.data());
        if (end - m_lineFrom > kLineLimit) {
            Fail(Fill(Tr("imap", "eine Antwortzeile ist länger als %1 Bytes"), {std::to_string(kLineLimit)}));
            return false;
        }
        if (found == nullptr) {
            m_scanAt = b.size();
            return false;
        }
        size_t length = 0, open = 0;
        // A status response's or a continuation's text runs to the line end,
        // whatever it holds.
        if ((m_lineFrom == m_start && IsTextLine(m_start, end)) || !LiteralBefore(end, &length, &open)) return true;
        if (length > m_literalLimit) {
            Fail(Fill(Tr("imap", "ein Literal von %1 Bytes ist größer als erlaubt"), {std::to_string(length)}));
            return false;
        }
        if (m_sink && length >= m_streamFrom) {
            // To the sink, and an empty literal in its place.
            const size_t digits = m_buffer.find_first_not_of("0123456789", open + 1) - open - 1;
            m_buffer.replace(open + 1, digits, "0");
            const size_t from = end + 2 - digits;
            m_streamLeft = length;
            ++m_streams;
            m_buffer.erase(from, Stream(m_buffer.data() + from, m_buffer.size() - from));
            m_scanAt = m_lineFrom = from;
            continue;
        }
        m_scanAt = m_lineFrom = end + 1 + length;
    }
    return false;
}

void CUT_ImapParser::ParseAll() {
    while (!m_broken && m_start < m_buffer.size() && m_buffer.size() >= m_wanted && Framed()) {
        size_t at = m_start;
        ImapResponse response;
        m_items = 0;
        m_literalBytes = 0;
        m_wanted = 0;
        const Parse parsed = ParseResponse(&at, &response);
        if (parsed == Parse::Bad) break;
        // Bytes outside literals: read so far, or up to the literal awaited.
        const size_t reached = parsed == Parse::Done ? at : (m_wanted > 0 ? m_waitFrom : m_buffer.size());
        const size_t outside = reached - m_start - m_literalBytes;
        if (outside > kLineLimit) {
            Fail(Fill(Tr("imap", "eine Antwortzeile ist länger als %1 Bytes"), {std::to_string(kLineLimit)}));
            break;
        }
        if (parsed == Parse::More) {
            if (m_wanted == 0) m_wanted = m_buffer.size() + 1;
            break;
        }
        m_ready.push_back(std::move(response));
        m_start = m_scanAt = m_lineFrom = at;
    }
    // What was read goes; what waits moves to the front.
    if (m_start > 0 && (m_start == m_buffer.size() || m_start > 1024 * 1024)) {
        m_buffer.erase(0, m_start);
        m_wanted = m_wanted > m_start ? m_wanted - m_start : 0;
        m_scanAt = m_scanAt > m_start ? m_scanAt - m_start : 0;
        m_lineFrom = m_lineFrom > m_start ? m_lineFrom - m_start : 0;
        m_start = 0;
    }
}

CUT_ImapParser::Parse CUT_ImapParser::ParseResponse(size_t *at, ImapResponse *out) {
    const std::string &b = m_buffer;
    if (*at >= b.size()) return Parse::More;
    if (b[*at] == '+') {
        out->kind = ImapResponse::Continuation;
        ++*at;
        if (*at < b.size() && b[*at] == ' ') ++*at;
        return RestOfLine(at, &out->text);
    }
    if (b[*at] == '*') {
        out->kind = ImapResponse::Untagged;
        ++*at;
    } else {
        out->kind = ImapResponse::Tagged;
        while (*at < b.size() && !EndsAtom(b[*at]) && b[*at] != '[' &&
               static_cast<unsigned char>(b[*at]) > 0x20 && b[*at] != 0x7F)
            out->tag += b[(*at)++];
        if (*at >= b.size()) return Parse::More;
        if (out->tag.empty()) return Fail(Tr("imap", "eine Antwort ohne Kennung"));
    }
    if (*at >= b.size()) return Parse::More;
    if (b[*at] != ' ') return Fail(Tr("imap", "nach der Kennung fehlt das Leerzeichen"));
    ++*at;
    ImapValue first;
    const Parse word = ParseValue(at, &first, 0);
    if (word != Parse::Done) return word;
    if (first.kind == ImapValue::Atom && IsStatus(first.text)) {
        out->status = Upper(first.text);
        if (*at < b.size() && b[*at] == ' ') ++*at;
        if (*at >= b.size()) return Parse::More;
        if (b[*at] == '[') {
            ImapValue code;
            const Parse parsed = ParseValue(at, &code, 0);
            if (parsed != Parse::Done) return parsed;
            out->items.push_back(std::move(code));
            if (*at < b.size() && b[*at] == ' ') ++*at;
        }
        return RestOfLine(at, &out->text);
    }
    if (out->kind == ImapResponse::Tagged) return Fail(Tr("imap", "eine Antwort mit Kennung ohne OK, NO oder BAD"));
    out->items.push_back(std::move(first));
    return ParseValues(at, &out->items, 0, '\n');
}

CUT_ImapParser::Parse CUT_ImapParser::ParseValues(size_t *at, std::vector<ImapValue> *out, int depth,
                                                   char close) {
    const std::string &b = m_buffer;
    for (;;) {
        if (*at >= b.size()) return Parse::More;
        const char c = b[*at];
        if (close == '\n' && (c == '\r' || c == '\n')) {
            if (c == '\r') {
                if (*at + 1 >= b.size()) return Parse::More;
                if (b[*at + 1] != '\n') return Fail(Tr("imap", "ein CR ohne LF"));
                ++*at;
            }
            ++*at;
            return Parse::Done;
        }
        if (c == close) {
            ++*at;
            return Parse::Done;
        }
        if (c == ' ') {
            ++*at;
            continue;
        }
        if (c == '\r' || c == '\n') return Fail(Tr("imap", "eine Liste endet mit der Zeile nicht"));
        ImapValue value;
        const Parse parsed = ParseValue(at, &value, depth);
        if (parsed != Parse::Done) return parsed;
        if (++m_items > kItemLimit) return Fail(Fill(Tr("imap", "mehr als %1 Einträge"), {std::to_string(kItemLimit)}));
        out->push_back(std::move(value));
    }
}

CUT_ImapParser::Parse CUT_ImapParser::ParseValue(size_t *at, ImapValue *out, int depth) {
    const std::string &b = m_buffer;
    if (*at >= b.size()) return Parse::More;
    const char c = b[*at];
    if (c == '(' || c == '[') {
        if (depth + 1 > kDepthLimit)
            return Fail(Fill(Tr("imap", "Listen tiefer als %1 Ebenen"), {std::to_string(kDepthLimit)}));
        out->kind = ImapValue::List;
        out->bracketed = c == '[';
        ++*at;
        return ParseValues(at, &out->items, depth + 1, c == '(' ? ')' : ']');
    }
    if (c == '"') return ParseQuoted(at, out);
    if (c == '{' || (c == '~' && *at + 1 < b.size() && b[*at + 1] == '{')) {
        if (c == '~') ++*at;
        return ParseLiteral(at, out);
    }
    if (c == '~' && *at + 1 >= b.size()) return Parse::More;
    if (c == ')' || c == ']') return Fail(Tr("imap", "eine Klammer, die keine Liste schließt"));
    return ParseAtom(at, out);
}

CUT_ImapParser::Parse CUT_ImapParser::ParseAtom(size_t *at, ImapValue *out) {
    const std::string &b = m_buffer;
    out->kind = ImapValue::Atom;
    int section = 0;  // inside [ ] of a section, where blanks and ( ) are allowed
    for (;;) {
        if (*at >= b.size()) return Parse::More;
        const char c = b[*at];
        const unsigned char u = static_cast<unsigned char>(c);
        if (section == 0 && EndsAtom(c)) break;
        if (c == '\r' || c == '\n') return Fail(Tr("imap", "ein Abschnitt [ ] endet mit der Zeile nicht"));
        if (u < 0x20 || u == 0x7F) return Fail(Tr("imap", "ein Steuerzeichen in einem Atom"));
        if (c == '[') ++section;
        if (c == ']') --section;
        out->text += c;
        ++*at;
    }
    if (out->text.empty()) return Fail(Tr("imap", "ein leerer Eintrag"));
    if (Upper(out->text) == "NIL") out->kind = ImapValue::Nil;
    return Parse::Done;
}

CUT_ImapParser::Parse CUT_ImapParser::ParseQuoted(size_t *at, ImapValue *out) {
    const std::string &b = m_buffer;
    out->kind = ImapValue::Quoted;
    ++*at;
    for (;;) {
        if (*at >= b.size()) return Parse::More;
        char c = b[*at];
        if (c == '\\') {
            if (*at + 1 >= b.size()) return Parse::More;
            c = b[++*at];
        } else if (c == '"') {
            ++*at;
            return Parse::Done;
        }
        if (c == '\r' || c == '\n') return Fail(Tr("imap", "eine Zeichenkette endet mit der Zeile nicht"));
        out->text += c;
        ++*at;
    }
}

CUT_ImapParser::Parse CUT_ImapParser::ParseLiteral(size_t *at, ImapValue *out) {
    const std::string &b = m_buffer;
    out->kind = ImapValue::Literal;
    ++*at;  // '{'
    size_t length = 0;
    int digits = 0;
    for (;;) {
        if (*at >= b.size()) return Parse::More;
        const char c = b[*at];
        if (c < '0' || c > '9') break;
        if (++digits > 12) return Fail(Tr("imap", "ein Literal ist zu groß"));
        length = length * 10 + static_cast<size_t>(c - '0');
        ++*at;
    }
    if (digits == 0) return Fail(Tr("imap", "ein Literal ohne Länge"));
    if (*at < b.size() && b[*at] == '+') ++*at;
    if (*at >= b.size()) return Parse::More;
    if (b[*at] != '}') return Fail(Tr("imap", "ein Literal ohne schließende Klammer"));
    ++*at;
    if (*at >= b.size()) return Parse::More;
    if (b[*at] == '\r') {
        if (*at + 1 >= b.size()) return Parse::More;
        ++*at;
    }
    if (b[*at] != '\n') return Fail(Tr("imap", "nach der Länge eines Literals fehlt das Zeilenende"));
    ++*at;
    if (length > m_literalLimit)
        return Fail(Fill(Tr("imap", "ein Literal von %1 Bytes ist größer als erlaubt"), {std::to_string(length)}));
    if (b.size() - *at < length) {
        // No new try before all of it is there (and one byte more).
        m_wanted = *at + length + 1;
        m_waitFrom = *at;
        return Parse::More;
    }
    out->text.assign(b, *at, length);
    *at += length;
    m_literalBytes += length;
    return Parse::Done;
}

CUT_ImapParser::Parse CUT_ImapParser::RestOfLine(size_t *at, std::string *out) {
    const size_t end = m_buffer.find('\n', *at);
    if (end == std::string::npos) return Parse::More;
    out->assign(m_buffer, *at, end - *at);
    if (!out->empty() && out->back() == '\r') out->pop_back();
    *at = end + 1;
    return Parse::Done;
}
