// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_MessagePreview.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "CUT_Base64Decoder.h"
#include "CUT_CharsetConverter.h"
#include "CUT_DisplayHeader.h"
#include "CUT_HtmlText.h"
#include "CUT_QuotedPrintableDecoder.h"

namespace {

// Nested multiparts and attached messages deeper than this are not looked
// into: a hostile message cannot take the stack.
constexpr int kMaxDepth = 12;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trim(std::string_view text) {
    size_t start = 0, end = text.size();
    while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(start, end - start));
}

// What the header of a message or part says about its content.
struct Entity {
    std::string type = "text";
    std::string subtype = "plain";
    bool typed = false;  // a Content-Type field was there
    std::string charset;
    std::string boundary;
    std::string encoding;
    bool attachment = false;
    std::string name;
};

// The parameters of a Content-Type or Content-Disposition value; keys in
// lower case, RFC 2231 forms ("name*", "name*0*") under their plain name.
void ReadParameters(std::string_view value, Entity &entity, bool disposition) {
    size_t at = value.find(';');
    while (at != std::string_view::npos && at < value.size()) {
        ++at;
        // Empty parameters (";;") name nothing.
        while (at < value.size() && (value[at] == ';' || value[at] == ' ' || value[at] == '\t')) ++at;
        const size_t equals = value.find('=', at);
        if (equals == std::string_view::npos) return;
        std::string key = Lower(Trim(value.substr(at, equals - at)));
        size_t pos = equals + 1;
        while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
        std::string parameter;
        if (pos < value.size() && value[pos] == '"') {
            ++pos;
            while (pos < value.size() && value[pos] != '"') {
                if (value[pos] == '\\' && pos + 1 < value.size()) ++pos;
                parameter += value[pos++];
            }
            at = value.find(';', pos);
        } else {
            const size_t next = value.find(';', pos);
            parameter = Trim(value.substr(pos, next == std::string_view::npos ? std::string_view::npos
                                                                              : next - pos));
            at = next;
        }
        const size_t star = key.find('*');
        if (star != std::string::npos) {
            key.erase(star);
            // charset'language'text: the text is what counts here.
            const size_t quote = parameter.find('\'');
            const size_t second = quote == std::string::npos ? quote : parameter.find('\'', quote + 1);
            if (second != std::string::npos) parameter.erase(0, second + 1);
        }
        if (key == "charset" && !disposition) entity.charset = parameter;
        if (key == "boundary" && !disposition && entity.boundary.empty()) entity.boundary = parameter;
        if ((key == "name" || key == "filename") && entity.name.empty())
            entity.name = CUT_DisplayHeader::Decode(parameter);
    }
}

Entity Describe(std::string_view header) {
    Entity entity;
    // Unfold field by field.
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find('\n', at);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !fields.empty())
            fields.back() += std::string(" ") + Trim(line);
        else
            fields.emplace_back(line);
        at = end + 1;
    }
    for (const std::string &field : fields) {
        const size_t colon = field.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lower(Trim(std::string_view(field).substr(0, colon)));
        const std::string_view value = std::string_view(field).substr(colon + 1);
        if (name == "content-type" && !entity.typed) {
            entity.typed = true;
            const std::string full = Lower(Trim(value.substr(0, value.find(';'))));
            const size_t slash = full.find('/');
            entity.type = Trim(full.substr(0, slash));
            entity.subtype = slash == std::string::npos ? "" : Trim(full.substr(slash + 1));
            // A type that does not parse counts as plain text (RFC 2045 §5.2).
            if (entity.type.empty() || entity.subtype.empty()) {
                entity.type = "text";
                entity.subtype = "plain";
            }
            ReadParameters(value, entity, false);
        } else if (name == "content-transfer-encoding") {
            entity.encoding = Lower(Trim(value));
        } else if (name == "content-disposition") {
            entity.attachment = Lower(Trim(value.substr(0, value.find(';')))) == "attachment";
            ReadParameters(value, entity, true);
        }
    }
    return entity;
}

// "Name:" with printable characters in the name, blanks allowed before
// the colon (the obsolete syntax of RFC 5322 §4.5.3).
bool IsFieldLine(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    size_t end = colon;
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    if (end == 0) return false;
    for (size_t i = 0; i < end; ++i)
        if (line[i] < 33 || line[i] > 126) return false;
    return true;
}

// Header and body of a message or part: the header ends at the first
// empty line, or before the first line that is neither a field nor the
// continuation of one (a line of blanks continues, RFC 5322 §4.2). False
// when the lines end inside the header.
bool Split(std::string_view text, std::string_view *header, std::string_view *body) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos
                                                                              : end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {
            *header = text.substr(0, at);
            *body = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            return true;
        }
        const bool continuation = (line[0] == ' ' || line[0] == '\t') && at > 0;
        // An mbox separator line ("From sender date") is no part of it.
        const bool separator = at == 0 && line.substr(0, 5) == "From ";
        if (!continuation && !separator && !IsFieldLine(line)) {
            *header = text.substr(0, at);
            *body = text.substr(at);
            return true;
        }
        if (end == std::string_view::npos) return false;
        at = end + 1;
    }
    return false;
}

// The parts of a multipart body between its delimiter lines; the last one
// runs to the end of the lines when they end before its delimiter.
std::vector<std::string_view> Parts(std::string_view body, const std::string &boundary) {
    std::vector<std::string_view> parts;
    if (boundary.empty()) return parts;
    const std::string delimiter = "--" + boundary;
    size_t start = std::string_view::npos;  // where the current part begins
    size_t at = 0;
    while (at <= body.size()) {
        size_t end = body.find('\n', at);
        const bool last = end == std::string_view::npos;
        if (last) end = body.size();
        std::string_view line = body.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, delimiter.size()) == delimiter) {
            const std::string_view rest = line.substr(delimiter.size());
            if (start != std::string_view::npos) {
                // The line break before a delimiter belongs to it.
                size_t stop = at;
                if (stop > start && body[stop - 1] == '\n') --stop;
                if (stop > start && body[stop - 1] == '\r') --stop;
                parts.push_back(body.substr(start, stop - start));
            }
            if (rest.substr(0, 2) == "--") return parts;
            start = last ? body.size() : end + 1;
        }
        if (last) break;
        at = end + 1;
    }
    if (start != std::string_view::npos && start < body.size()) parts.push_back(body.substr(start));
    return parts;
}

std::string Undo(const Entity &entity, std::string_view body) {
    std::string out;
    if (entity.encoding == "base64") {
        CUT_Base64Decoder decoder(CUT_Base64Decoder::kSkipAllButBase64);
        decoder.Feed(body.data(), body.size(), out);
        decoder.Finish(out, false);  // a group cut off at the end is no text
    } else if (entity.encoding == "quoted-printable") {
        CUT_QuotedPrintableDecoder::Options options;
        options.lenient = true;
        CUT_QuotedPrintableDecoder decoder(options);
        decoder.Feed(body.data(), body.size(), out);
        decoder.Finish(out);
    } else {
        out.assign(body);
    }
    return out;
}

// The text before a line "begin NNN name" of a uuencoded block.
std::string_view BeforeUuBlock(std::string_view body) {
    size_t at = 0;
    while (at < body.size()) {
        if (body.substr(at, 6) == "begin ") {
            size_t digit = at + 6;
            while (digit < body.size() && body[digit] >= '0' && body[digit] <= '7') ++digit;
            if (digit - (at + 6) >= 3 && digit < body.size() && body[digit] == ' ')
                return body.substr(0, at);
        }
        const size_t next = body.find('\n', at);
        if (next == std::string_view::npos) break;
        at = next + 1;
    }
    return body;
}

// Line breaks as "\n", no blanks at line ends, at most one empty line in
// a row, none at either end.
std::string Tidy(const std::string &text) {
    std::string out;
    std::string line;
    int emptyLines = 0;
    auto endLine = [&] {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.empty()) {
            ++emptyLines;
        } else {
            if (!out.empty()) out += emptyLines > 0 ? "\n\n" : "\n";
            out += line;
            emptyLines = 0;
        }
        line.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endLine();
        } else if (c == '\n') {
            endLine();
        } else {
            line += c;
        }
    }
    endLine();
    return out;
}

class Finder {
public:
    // The text of the first text part in this entity; empty when none.
    std::string TextOf(std::string_view header, std::string_view body, int depth) {
        if (depth > kMaxDepth) return {};
        const Entity entity = Describe(header);
        if (entity.type == "multipart") return FromMultipart(entity, body, depth);
        if (entity.type == "message" && entity.subtype == "rfc822" && !entity.attachment) {
            std::string_view innerHeader, innerBody;
            if (Split(body, &innerHeader, &innerBody)) return TextOf(innerHeader, innerBody, depth + 1);
            return {};
        }
        const bool text = entity.type == "text" && (entity.subtype == "plain" || entity.subtype == "html");
        if (!text || entity.attachment) {
            m_attachments.push_back(!entity.name.empty() ? entity.name : entity.type + "/" + entity.subtype);
            return {};
        }
        std::string bytes = Undo(entity, entity.typed ? body : BeforeUuBlock(body));
        std::string utf8 = CUT_CharsetConverter::ToUtf8(bytes, entity.charset);
        if (entity.subtype == "html") utf8 = CUT_HtmlText::ToText(utf8);
        return Tidy(utf8);
    }
    const std::vector<std::string> &Attachments() const { return m_attachments; }

private:
    std::string FromMultipart(const Entity &entity, std::string_view body, int depth) {
        struct Part {
            std::string_view header, body;
            Entity entity;
        };
        std::vector<Part> parts;
        for (std::string_view part : Parts(body, entity.boundary)) {
            Part p;
            // A part whose header is cut off has nothing to show yet.
            if (!Split(part, &p.header, &p.body)) continue;
            p.entity = Describe(p.header);
            parts.push_back(p);
        }
        if (entity.subtype == "alternative") {
            // What a reader of plain text would show first, else HTML, else
            // whatever a nested part offers.
            for (const char *wanted : {"plain", "html"}) {
                for (const Part &part : parts) {
                    if (part.entity.type != "text" || part.entity.subtype != wanted) continue;
                    std::string text = TextOf(part.header, part.body, depth + 1);
                    if (!text.empty()) return text;
                }
            }
        }
        for (const Part &part : parts) {
            std::string text = TextOf(part.header, part.body, depth + 1);
            if (!text.empty()) return text;
        }
        return {};
    }

    std::vector<std::string> m_attachments;
};

// At most max characters of UTF-8 text, never cut inside one.
std::string Cut(std::string text, size_t max) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == max) {
            text.erase(i);
            text += "…";
            break;
        }
    }
    return text;
}

}  // namespace

std::string CUT_MessagePreview::Build(const std::string &message) {
    std::string_view header, body;
    if (!Split(message, &header, &body)) return {};
    Finder finder;
    std::string text = finder.TextOf(header, body, 0);
    if (!text.empty()) return Cut(std::move(text), kMaxCharacters);
    if (finder.Attachments().empty()) return {};
    std::string note = "[Anhang: ";
    for (size_t i = 0; i < finder.Attachments().size() && i < 5; ++i) {
        if (i > 0) note += ", ";
        note += finder.Attachments()[i];
    }
    // Type names come as the header had them, in whatever bytes.
    return Cut(CUT_CharsetConverter::ToUtf8(note, ""), kMaxCharacters) + "]";
}
