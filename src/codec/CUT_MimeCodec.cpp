// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_MimeCodec.h"

#include "CUT_Base64Decoder.h"
#include "CUT_QuotedPrintableDecoder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "CUT_ByteSource.h"
#include "ResultCode.h"
#include "TextHelpers.h"

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBlock = 511;
// "\r\n--" and the terminating NUL leave this much of the field.
constexpr size_t kMaxBoundary = CUT_MimeCodec::kFieldSize - 5;

bool SameText(const std::string &a, const char *b) { return EqualsNoCase(a.c_str(), b); }

// ExtractToken into a string; false when the token does not exist.
bool Token(const std::string &text, const char *separators, int index, std::string *out) {
    std::vector<char> buffer(text.size() + 1);
    if (ExtractToken(text.c_str(), separators, index, buffer.data(),
                     static_cast<int>(buffer.size())) != 0) {
        out->clear();
        return false;
    }
    out->assign(buffer.data());
    return true;
}

std::string Trimmed(std::string text) {
    TrimSpaces(text.data());
    return text.c_str();
}

// A leading double quote is removed and the text cut at the next one.
std::string Unquoted(std::string text) {
    if (!text.empty() && text[0] == '"') {
        text.erase(0, 1);
        const size_t quote = text.find('"');
        if (quote != std::string::npos) text.erase(quote);
    }
    return text;
}

bool IsAlternativeOrRelated(const std::string &type) {
    return SameText(type, "multipart/alternative") || SameText(type, "multipart/related");
}

bool IsPartHeaderName(const std::string &name) {
    return SameText(name, "Content-Type") || SameText(name, "Content-Description") ||
           SameText(name, "Content-Disposition");
}


}  // namespace

CUT_MimeCodec::CUT_MimeCodec() {
    std::memcpy(m_base64Alphabet, kBase64, sizeof m_base64Alphabet);
    MakeBoundary(m_boundary, 30);
    m_headerLines.AddString("MIME-Version: 1.0\r\n");
    char line[160];
    std::snprintf(line, sizeof line, "Content-Type: Multipart/Mixed;\r\n\tboundary=\"%s\"\r\n",
                  m_boundary);
    m_headerLines.AddString(line);
}

CUT_MimeCodec::~CUT_MimeCodec() {
    ClearAttachments();
    m_headerLines.RemoveAll();
}

const char *CUT_MimeCodec::GetName() { return "Mime"; }

int CUT_MimeCodec::GetAttachmentCount() { return static_cast<int>(m_parts.size()); }

int CUT_MimeCodec::ClearAttachments() {
    m_parts.clear();
    m_lastAdded = nullptr;
    return 0;
}

const MimePart *CUT_MimeCodec::Part(int index) const {
    if (index < 0 || index >= static_cast<int>(m_parts.size())) return nullptr;
    return m_parts[static_cast<size_t>(index)].get();
}

MimePart *CUT_MimeCodec::AddPart(int dataStart, int dataLength) {
    if (static_cast<int>(m_parts.size()) >= kMaxParts) return nullptr;
    auto part = std::make_unique<MimePart>();
    part->dataStart = dataStart;
    part->dataLength = dataLength;
    m_parts.push_back(std::move(part));
    ++m_partCount;
    return m_parts.back().get();
}

int CUT_MimeCodec::CanDecode() {
    if (!m_message) return 0;
    m_message->Seek(0, SeekOrigin::Begin);
    const int headerEnd = m_message->Find("\r\n\r\n", 0, 0, 0);
    // A limit of 0 would mean "no limit"; an empty header holds nothing.
    if (headerEnd <= 0) return 0;
    return m_message->Find("MIME-Version: 1.0", 0, 0, headerEnd) >= 0 ? 1 : 0;
}

int CUT_MimeCodec::ParseMessage(CUT_ByteSource &source) {
    m_partCount = 0;
    if (m_message) {
        m_message.reset();
        ClearAttachments();
        m_headerLines.RemoveAll();
    }
    m_message.reset(source.Clone());
    if (!m_message || m_message->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    if (!CanDecode()) {
        m_message.reset();
        return 1;
    }
    ReadTopContentType();
    if (m_mediaType == MT_OTHER) return 1;
    const int headerEnd = m_message->Find("\r\n\r\n", 0, 0, 0);
    if (headerEnd < 0) return 1;
    if (m_mediaType == MT_MULTIPART) {
        if (!ReadBoundary(0, headerEnd, m_delimiter)) return 1;
        SplitAtDelimiter(m_delimiter, 0);
        ClassifyParts(0);
        return 0;
    }
    const int length = m_message->Seek(0, SeekOrigin::End);
    AddPart(headerEnd, length);
    m_partCount = 1;
    ClassifyParts(0);
    return 0;
}

void CUT_MimeCodec::ReadTopContentType() {
    m_message->Seek(0, SeekOrigin::Begin);
    const int headerEnd = m_message->Find("\r\n\r\n", 0, 0, 0);
    const int position = m_message->Find("Content-Type: ", 0, 0, headerEnd);
    if (headerEnd < 0 || position < 0) return;
    m_message->Seek(position, SeekOrigin::Begin);
    char line[260] = {};
    if (m_message->ReadLine(line, 259) <= 0 || line[0] == '\0') return;
    std::string major, minor;
    if (!Token(line, ":/;", 1, &major) || !Token(line, ":/;", 2, &minor)) return;
    major = Trimmed(major);
    minor = Trimmed(minor);
    int type = MT_OTHER, subtype = MS_NONE;
    if (SameText(major, "multipart")) {
        type = MT_MULTIPART;
        subtype = SameText(minor, "alternative") ? MS_ALTERNATIVE
                  : SameText(minor, "parallel")  ? MS_PARALLEL
                  : SameText(minor, "digest")    ? MS_DIGEST
                  : SameText(minor, "related")   ? MS_RELATED
                                                 : MS_MIXED;
    } else if (SameText(major, "message")) {
        type = MT_MESSAGE;
        subtype = SameText(minor, "digest")    ? MS_DIGEST
                  : SameText(minor, "partial") ? MS_PARTIAL
                                               : MS_OTHER_MESSAGE;
    } else if (SameText(major, "text")) {
        type = MT_TEXT;
        subtype = MS_ANY_TEXT;
    } else if (SameText(major, "application")) {
        type = MT_APPLICATION;
    } else if (SameText(major, "image")) {
        type = MT_IMAGE;
    } else if (SameText(major, "video")) {
        type = MT_VIDEO;
    } else if (SameText(major, "audio")) {
        type = MT_AUDIO;
    }
    m_mediaType = type;
    m_mediaSubtype = subtype;
    m_message->Seek(0, SeekOrigin::Begin);
}

bool CUT_MimeCodec::ReadBoundary(int start, int limit, char (&delimiter)[kFieldSize]) {
    const int multipart = m_message->Find("Multipart/", start, 0, limit);
    const int at = m_message->Find("boundary", multipart, 0, 0);
    if (multipart < 0 || at < 0) return false;
    char text[200];
    ReadTextAt(at, text, sizeof text);
    std::string token;
    if (!Token(text, "\"\r", 1, &token)) return false;
    if (token.find_first_not_of(" \t\r\n\f\v") == std::string::npos &&
        !Token(text, "\"\r", 2, &token))
        return false;
    // A boundary the field cannot hold is refused, not cut.
    if (token.size() > kMaxBoundary) return false;
    std::snprintf(delimiter, kFieldSize, "\r\n--%s", token.c_str());
    return true;
}

void CUT_MimeCodec::SplitAtDelimiter(const char *delimiter, int start) {
    const int length = static_cast<int>(std::strlen(delimiter));
    const int first = m_message->Find(delimiter, start, 0, 0);
    if (first < 0) return;
    int from = first + length;
    for (;;) {
        const int next = m_message->Find(delimiter, from, 0, 0);
        if (next < 0) break;
        if (AddPart(from, next - from) == nullptr) break;
        from = next + length;
    }
}

void CUT_MimeCodec::DefaultType(MimePart &part) {
    part.contentType = "Text/Plain";
    part.charset = "US-ASCII";
}

void CUT_MimeCodec::ReadTextAt(int position, char *text, int size) {
    m_message->Seek(position, SeekOrigin::Begin);
    const int n = m_message->Read(text, size - 1);
    text[n > 0 ? n : 0] = '\0';
}

int CUT_MimeCodec::ReadTransferEncoding(int position) {
    char text[101];
    ReadTextAt(position, text, sizeof text);
    std::string word;
    if (!Token(text, " /\r\n", 1, &word)) return TE_SEVEN_BIT;
    static const struct { const char *token; int id; } kTable[] = {
        {"BASE64", TE_BASE64}, {"QUOTED-PRINTABLE", TE_QUOTED_PRINTABLE}, {"8BIT", TE_EIGHT_BIT},
        {"BINARY", TE_BINARY}, {"BINHEX40", TE_BINHEX}, {"MULTIPART", TE_MULTIPART}};
    for (const auto &entry : kTable)
        if (SameText(word, entry.token)) return entry.id;
    return TE_SEVEN_BIT;
}

void CUT_MimeCodec::ClassifyParts(int first) {
    int nestedStart = -1, nestedEnd = -1, nestedIndex = -1;
    const bool multipart = m_mediaType == MT_MULTIPART;
    const int delimiterLength = static_cast<int>(std::strlen(m_delimiter));
    for (int i = first; i < m_partCount && i < static_cast<int>(m_parts.size()); ++i) {
        MimePart &part = *m_parts[static_cast<size_t>(i)];
        const long end = static_cast<long>(part.dataStart) + part.dataLength;
        if (multipart && part.dataLength <= 2) {
            // No headers and no body, only the line end before the next
            // delimiter (or not even that): an empty part. A search over a
            // length of 0 would run to the end of the message.
            DefaultType(part);
            part.encoding = TE_SEVEN_BIT;
            part.dataStart = static_cast<int>(end);
            part.dataLength = 0;
            continue;
        }
        if (multipart) {
            const int found = m_message->Find("Content-", part.dataStart, 0, part.dataLength);
            if (found < 0 || found > end)
                DefaultType(part);
            else
                ParsePartHeader(i, found);
        } else {
            ParsePartHeader(i, m_message->Find("Content-type:", 0, 0, 0));
        }
        if (part.contentType.empty()) DefaultType(part);

        if (IsAlternativeOrRelated(part.contentType)) {
            nestedStart = part.dataStart;
            nestedEnd = static_cast<int>(end);
            nestedIndex = i;
            continue;
        }

        const int encoding = multipart
            ? m_message->Find("Content-transfer-encoding:", part.dataStart, 0, part.dataLength)
            : m_message->Find("Content-transfer-encoding:", 0, 0, 0);
        part.encoding = (encoding < 0 || encoding > end) ? TE_SEVEN_BIT
                                                          : ReadTransferEncoding(encoding);

        const int blank = m_message->Find("\r\n\r\n", part.dataStart, 0, part.dataLength);
        if (blank >= 1 && blank + 2 <= end && blank + 4 >= end) {
            // Headers and an empty body: the CR LF before the delimiter
            // belongs to the delimiter, so the blank line reaches into it.
            part.dataStart = static_cast<int>(end);
            part.dataLength = 0;
        } else if (blank >= 1) {
            // Beyond a malformed part's end this turns negative; reading
            // such a part stops at the end of the copy.
            part.dataLength = static_cast<int>(end - (blank + 4));
            part.dataStart = blank + 4;
        } else {
            part.dataStart += delimiterLength;
            part.dataLength -= delimiterLength;
            if (part.dataLength < 0) part.dataLength = 0;  // shorter than a delimiter: empty
        }
    }
    if (nestedIndex >= 0) ParseNestedMultipart(nestedStart, nestedEnd, nestedIndex);
}

std::string CUT_MimeCodec::ReadUnfoldedHeaderLine(int *reported) {
    char first[2048] = {};
    if (m_message->ReadLine(first, sizeof first) <= 0) first[0] = '\0';
    StripLineEnd(first);
    std::string text = first;
    int position = m_message->Seek(0, SeekOrigin::Current);
    for (;;) {
        char next[1024] = {};
        if (m_message->ReadLine(next, sizeof next) <= 0) break;
        if (next[0] != ' ' && next[0] != '\t') break;
        StripLineEnd(next);
        text += next + 1;
        position = m_message->Seek(0, SeekOrigin::Current);
    }
    if (reported != nullptr) *reported = position;

    // Comments in parentheses go, except inside quotes.
    std::string kept;
    bool quoted = false, comment = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (comment) {
            if (c == ')') comment = false;
            continue;
        }
        if (c == '"' && (i == 0 || text[i - 1] != '\\')) quoted = !quoted;
        if (!quoted && c == '(') {
            comment = true;
            continue;
        }
        kept += c;
    }
    return kept;
}

void CUT_MimeCodec::ApplyParameter(MimePart &part, const std::string &key, std::string value) {
    std::string *target = nullptr;
    if (SameText(key, "NAME") || SameText(key, "filename"))
        target = &part.name;
    else if (SameText(key, "CHARSET"))
        target = &part.charset;
    else if (SameText(key, "TYPE"))
        target = &part.typeParam;
    if (target != nullptr) *target = Unquoted(Trimmed(std::move(value)));
}

void CUT_MimeCodec::ParsePartHeader(int index, int position) {
    if (position < 0 || index < 0 || index >= static_cast<int>(m_parts.size())) return;
    MimePart *part = m_parts[static_cast<size_t>(index)].get();
    m_message->Seek(position, SeekOrigin::Begin);
    int after = position;
    const std::string line = ReadUnfoldedHeaderLine(&after);

    std::string name;
    Token(line, ":", 0, &name);
    if (IsPartHeaderName(name)) {
        std::string value, first;
        Token(line, ":", 1, &value);
        Token(value, " \t;", 0, &first);
        if (SameText(first, "Multipart/Related") || SameText(first, "Multipart/Alternative")) {
            char inner[kFieldSize];
            if (ReadBoundary(position, 260, inner)) SplitAtDelimiter(inner, position);
            part = m_parts[static_cast<size_t>(index)].get();
            part->contentType = first;
            return;
        }
        part->contentType = first;
        const int count = CountTokens(value.c_str(), "=\t;");
        for (int i = 1; i < count; i += 2) {
            std::string key, parameter;
            Token(value, "=\t;", i, &key);
            Token(value, "=\t;", i + 1, &parameter);
            ApplyParameter(*part, Trimmed(key), parameter);
        }
    }
    if (!part->name.empty()) return;

    // The line after this one, parsed a second way.
    m_message->Seek(after, SeekOrigin::Begin);
    std::string next = ReadUnfoldedHeaderLine(nullptr);
    std::vector<char> text(next.begin(), next.end());
    text.push_back('\0');
    char *state = nullptr;
    const char *piece = strtok_r(text.data(), ":", &state);
    if (piece == nullptr || !IsPartHeaderName(piece)) return;
    const char *word = strtok_r(nullptr, " \t;", &state);
    if (word == nullptr) return;
    part->contentType = word;
    for (;;) {
        const char *key = strtok_r(nullptr, "= \t;", &state);
        if (key == nullptr) break;
        const char *value = strtok_r(nullptr, ";", &state);
        if (value == nullptr) break;
        ApplyParameter(*part, Trimmed(key), value);
    }
}

void CUT_MimeCodec::ParseNestedMultipart(int start, int end, int index) {
    char inner[kFieldSize];
    if (!m_message || !ReadBoundary(start, end, inner)) return;
    const int innerLength = static_cast<int>(std::strlen(inner));
    int at = start + innerLength;
    const int firstNew = m_partCount;
    SplitAtDelimiter(inner, at);
    for (int k = firstNew; k < m_partCount && k < static_cast<int>(m_parts.size()); ++k) {
        MimePart *part = m_parts[static_cast<size_t>(k)].get();
        const long partEnd = static_cast<long>(part->dataStart) + part->dataLength;
        const int type = m_message->Find("Content-type:", at, 0, part->dataLength);
        if (type < 0 || type > partEnd) {
            DefaultType(*part);
        } else {
            ParsePartHeader(k, type);
            part = m_parts[static_cast<size_t>(k)].get();
            if (part->contentType.empty()) DefaultType(*part);
        }
        const int encoding =
            m_message->Find("Content-transfer-encoding:", part->dataStart, 0, part->dataLength);
        part->encoding = (encoding < 0 || encoding > partEnd) ? TE_SEVEN_BIT
                                                               : ReadTransferEncoding(encoding);
        const int headerAt = (encoding > 0 && encoding < end) ? encoding : type;
        const int blank = m_message->Find("\r\n\r\n", headerAt, 0, part->dataLength);
        if (blank >= 1) {
            const int next = m_message->Find(inner, blank, 0, part->dataLength);
            part->dataStart = blank + 4;
            part->dataLength = next - (blank + 4);
            if (next >= 0) at = next;
        } else {
            part->dataStart += innerLength;
            part->dataLength -= innerLength;
        }
    }
    if (index >= 0 && index < static_cast<int>(m_parts.size())) {
        if (m_lastAdded == m_parts[static_cast<size_t>(index)].get()) m_lastAdded = nullptr;
        m_parts.erase(m_parts.begin() + index);
    }
}

int CUT_MimeCodec::ExtractText(CUT_ByteSource &sink, int append) {
    for (size_t i = 0; i < m_parts.size(); ++i) {
        const MimePart &part = *m_parts[i];
        if (!part.name.empty()) continue;
        if (!SameText(part.contentType, "text/plain") && !SameText(part.contentType, "text/html"))
            continue;
        const int result = DecodeAttachment(static_cast<int>(i), sink, append);
        if (m_lastAdded == m_parts[i].get()) m_lastAdded = nullptr;
        m_parts.erase(m_parts.begin() + static_cast<long>(i));
        return result;
    }
    return 0;
}

int CUT_MimeCodec::DecodeAttachment(int index, CUT_ByteSource &sink, int append) {
    if (!m_message) return RC_SOURCE_OPEN_FAILED;
    if (index < 0 || index >= static_cast<int>(m_parts.size())) return RC_NO_SUCH_ENTRY;
    if (sink.Open(append ? OpenMode::Append : OpenMode::Write) == -1) return RC_SOURCE_OPEN_FAILED;
    const MimePart &part = *m_parts[static_cast<size_t>(index)];
    int result;
    switch (part.encoding) {
    case TE_BASE64: result = DecodeBlocks(part, sink, true); break;
    case TE_QUOTED_PRINTABLE: result = DecodeQuotedPrintable(part, sink); break;
    case TE_BINHEX: result = -1; break;
    default: result = DecodeBlocks(part, sink, false); break;
    }
    sink.Close();
    return result;
}

int CUT_MimeCodec::DecodeBlocks(const MimePart &part, CUT_ByteSource &sink, bool base64) {
    if (m_message->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    int result = RC_OK;
    // A part that starts beyond the copy has nothing to read.
    if (m_message->Seek(part.dataStart, SeekOrigin::Begin) >= 0) {
        // A negative length (a malformed part) reads to the end of the copy.
        long remaining = part.dataLength;
        const bool toEnd = remaining < 0;
        char block[kBlock + 1];
        CUT_Base64Decoder decoder(CUT_Base64Decoder::kSkipLineBreaks);
        std::string output;
        while (toEnd || remaining > 0) {
            const int want = (toEnd || remaining > kBlock) ? kBlock : static_cast<int>(remaining);
            const int n = m_message->Read(block, want);
            if (n <= 0) break;
            if (!toEnd) remaining -= n;
            output.clear();
            if (base64)
                decoder.Feed(block, static_cast<size_t>(n), output);
            else
                output.assign(block, static_cast<size_t>(n));
            const int produced = static_cast<int>(output.size());
            if (produced > 0 && sink.Write(output.data(), produced) != produced) {
                result = RC_SOURCE_WRITE_FAILED;
                break;
            }
        }
        // A group left short at the end is dropped.
    }
    m_message->Close();
    return result;
}

int CUT_MimeCodec::DecodeQuotedPrintable(const MimePart &part, CUT_ByteSource &sink) {
    if (m_message->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    const int size = m_message->Seek(0, SeekOrigin::End);
    int result = RC_OK;
    if (size >= 0 && part.dataStart >= 0 && part.dataStart <= size &&
        m_message->Seek(part.dataStart, SeekOrigin::Begin) >= 0) {
        // Never more than the copy holds after the part's start.
        long length = part.dataLength;
        if (length < 0 || length > size - part.dataStart) length = size - part.dataStart;
        CUT_QuotedPrintableDecoder decoder;
        char block[kBlock + 1];
        std::string output;
        while (length > 0) {
            const int n = m_message->Read(block, length > kBlock ? kBlock : static_cast<int>(length));
            if (n <= 0) break;
            length -= n;
            decoder.Feed(block, static_cast<size_t>(n), output);
        }
        decoder.Finish(output);
        const int produced = static_cast<int>(output.size());
        if (produced > 0 && sink.Write(output.data(), produced) != produced)
            result = RC_SOURCE_WRITE_FAILED;
    }
    m_message->Close();
    return result;
}

int CUT_MimeCodec::GetAttachmentSize(int index) {
    long total = 0;
    for (size_t i = 0; i < m_parts.size(); ++i) {
        const MimePart &part = *m_parts[i];
        const long size = (part.size != 0 || part.source) ? part.size
                                                           : static_cast<long>(part.dataLength * 0.75);
        if (static_cast<int>(i) == index) return static_cast<int>(size);
        total += size;
    }
    return static_cast<int>(total);
}

int CUT_MimeCodec::GetAttachmentInfo(int index, char *name, int nameSize, char *type,
                                     int typeSize, CUT_StringList *parameters) {
    const MimePart *part = Part(index);
    if (part == nullptr) return 1;
    if (name != nullptr && nameSize > 0)
        std::strncpy(name, part->name.c_str(), static_cast<size_t>(nameSize));
    if (type != nullptr && typeSize > 0)
        std::strncpy(type, part->contentType.c_str(), static_cast<size_t>(typeSize));
    if (parameters != nullptr) {
        parameters->RemoveAll();
        parameters->AddString(std::to_string(part->encoding).c_str());
    }
    return 0;
}
