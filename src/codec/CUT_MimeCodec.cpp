#include "CUT_MimeCodec.h"

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

unsigned Base64Value(const char *alphabet, char c) {
    const char *at = c != '\0' ? std::strchr(alphabet, c) : nullptr;
    return at != nullptr ? static_cast<unsigned>(at - alphabet) : 255u;
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

int CUT_MimeCodec::MakeBoundary(char *buffer, int size) {
    if (size < 20) return -1;
    if (size > 70) return -2;
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::snprintf(buffer, static_cast<size_t>(size), "Mark=_%d%d%d%d%d%d%d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    // Seeded with the milliseconds since start-up, as the tick count is.
    std::srand(static_cast<unsigned>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()));
    for (int i = static_cast<int>(std::strlen(buffer)); i <= size - 2; ++i)
        buffer[i] = kBase64[std::rand() % 63];
    buffer[size - 1] = '\0';
    return 0;
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
        char output[kBlock + 1];
        char group[4];
        int grouped = 0;
        while (toEnd || remaining > 0) {
            const int want = (toEnd || remaining > kBlock) ? kBlock : static_cast<int>(remaining);
            const int n = m_message->Read(block, want);
            if (n <= 0) break;
            if (!toEnd) remaining -= n;
            if (!base64) {
                if (sink.Write(block, n) != n) {
                    result = RC_SOURCE_WRITE_FAILED;
                    break;
                }
                continue;
            }
            int produced = 0;
            for (int i = 0; i < n; ++i) {
                const char c = block[i];
                if (c == '\r' || c == '\n' || c == ' ') continue;
                group[grouped++] = c;
                if (grouped < 4) continue;
                grouped = 0;
                const unsigned w = Base64Value(m_base64Alphabet, group[0]);
                const unsigned x = Base64Value(m_base64Alphabet, group[1]);
                const unsigned y = Base64Value(m_base64Alphabet, group[2]);
                const unsigned z = Base64Value(m_base64Alphabet, group[3]);
                const char bytes[3] = {static_cast<char>((w << 2) | ((x >> 4) & 3)),
                                       static_cast<char>((x << 4) | ((y >> 2) & 15)),
                                       static_cast<char>((y << 6) | (z & 63))};
                const int count = group[2] == '=' ? 1 : group[3] == '=' ? 2 : 3;
                std::memcpy(output + produced, bytes, static_cast<size_t>(count));
                produced += count;
            }
            if (produced > 0 && sink.Write(output, produced) != produced) {
                result = RC_SOURCE_WRITE_FAILED;
                break;
            }
        }
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
        std::unique_ptr<char[]> input(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
        std::unique_ptr<char[]> output(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
        if (!input || !output) {
            m_message->Close();
            return RC_SOURCE_WRITE_FAILED;
        }
        int n = length > 0 ? m_message->Read(input.get(), static_cast<int>(length)) : 0;
        if (n < 0) n = 0;
        int produced = 0;
        char p1 = ' ', p2 = ' ';
        for (int i = 0; i < n; ++i) {
            char ch = input[i];
            if (ch == '=') {
                // nothing yet
            } else if (p1 == '=') {
                if (ch == ' ' || ch == '\t' || ch == '\r') {
                    // A soft line break: skip to the end of the line.
                    while (i < n && input[i] != '\n') ++i;
                    ch = '\n';
                    p1 = ' ';
                }
            } else if (p2 == '=') {
                const char pair[3] = {p1, ch, '\0'};
                output[produced++] = static_cast<char>(HexValue(pair, 2) & 0xFF);
                p1 = ' ';
            } else {
                output[produced++] = ch;
            }
            p2 = p1;
            p1 = ch;
        }
        if (produced > 0 && sink.Write(output.get(), produced) != produced)
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

// ---- the building side -------------------------------------------------

int CUT_MimeCodec::AddAttachment(CUT_ByteSource *source, const char *name,
                                 CUT_StringList *parameters) {
    if (source == nullptr || source->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    const int size = source->Seek(0, SeekOrigin::End);
    source->Close();
    auto part = std::make_unique<MimePart>();
    part->source.reset(source->Clone());
    if (name != nullptr) part->name = name;
    part->encoding = TE_BASE64;
    part->size = size;
    auto entry = [&](int index) -> const char * {
        const char *text = parameters != nullptr ? parameters->GetString(index) : nullptr;
        return text != nullptr && *text != '\0' ? text : nullptr;
    };
    if (const char *encoding = entry(0)) {
        const int value = std::atoi(encoding);
        part->encoding = (value < TE_SEVEN_BIT || value > TE_MULTIPART) ? TE_BASE64 : value;
    }
    if (const char *type = entry(1)) part->contentType = type;
    if (const char *charset = entry(2)) part->charset = charset;
    if (const char *typeParam = entry(3)) part->typeParam = typeParam;
    m_lastAdded = part.get();
    // At the front: attachments are written in the reverse order of adding.
    m_parts.insert(m_parts.begin(), std::move(part));
    ++m_attachmentCount;
    return 0;
}

int CUT_MimeCodec::AddAttachmentHeader(const char *line) {
    if (m_lastAdded == nullptr) return -1;
    if (!m_lastAdded->headerLines) m_lastAdded->headerLines = std::make_unique<CUT_StringList>();
    m_lastAdded->headerLines->AddString(line);
    return 0;
}

int CUT_MimeCodec::GetHeaderLineCount() { return m_headerLines.GetCount(); }

const char *CUT_MimeCodec::GetHeaderLine(int index) { return m_headerLines.GetString(index); }

namespace {

// Writes that remember whether every byte was stored.
class SinkWriter {
public:
    explicit SinkWriter(CUT_ByteSource &sink) : sink_(sink) {}
    bool Put(const char *data, int count) {
        if (count <= 0) return true;
        const bool stored = sink_.Write(data, count) == count;
        complete_ = complete_ && stored;
        return stored;
    }
    bool Put(const std::string &text) { return Put(text.data(), static_cast<int>(text.size())); }
    bool Complete() const { return complete_; }

private:
    CUT_ByteSource &sink_;
    bool complete_ = true;
};

std::string FileName(const std::string &name) {
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string Format(const char *format, const std::string &a, const std::string &b = {},
                   const std::string &c = {}) {
    const int length = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), c.c_str());
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, a.c_str(), b.c_str(), c.c_str());
    return text;
}

}  // namespace

int CUT_MimeCodec::WritePart(MimePart *part, CUT_ByteSource &sink, int encoding) {
    if (part == nullptr) return RC_EMPTY_TEXT;
    if (!part->source || part->source->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    CUT_ByteSource &data = *part->source;
    SinkWriter out(sink);
    const std::string file = FileName(part->name);
    const bool typed = !part->contentType.empty();
    switch (encoding) {
    case TE_SEVEN_BIT:
    case TE_EIGHT_BIT:
        out.Put(typed ? Format("Content-Type: %s; charset=US-ASCII\r\n", part->contentType)
                      : std::string("Content-Type: text/plain; charset=US-ASCII\r\n"));
        out.Put(encoding == TE_SEVEN_BIT ? "Content-Transfer-Encoding: 7BIT\r\n"
                                         : "Content-Transfer-Encoding: 8BIT\r\n");
        break;
    case TE_QUOTED_PRINTABLE:
        out.Put(typed ? Format("Content-Type: %s; charset=US-ASCII\r\n", part->contentType)
                      : std::string("Content-Type: Text/Plain; charset=US-ASCII\r\n"));
        out.Put("Content-Transfer-Encoding: Quoted-Printable\r\n");
        break;
    case TE_BINARY:
        out.Put(Format("Content-Type: %s; name=\"%s\"; type=%s\r\n",
                       typed ? part->contentType : "Application/Octet-stream", file,
                       part->typeParam.empty() ? "Unknown" : part->typeParam));
        out.Put("Content-Transfer-Encoding: BINARY\r\n");
        break;
    default:  // base64
        out.Put(typed ? Format("Content-Type: %s; name=\"%s\"; type=Unknown\r\n", part->contentType, file)
                      : Format("Content-Type: Application/Octet-stream; name=\"%s\"; type=Unknown\r\n", file));
        out.Put("Content-Transfer-Encoding: BASE64\r\n");
        break;
    }
    if (part->headerLines) {
        for (int i = 0; i < part->headerLines->GetCount(); ++i) {
            out.Put(part->headerLines->GetString(i));
            out.Put("\r\n", 2);
        }
    }
    out.Put("\r\n", 2);
    if (!out.Complete()) {
        data.Close();
        return RC_SOURCE_WRITE_FAILED;
    }

    int result = RC_OK;
    char block[1000];
    int n;
    if (encoding == TE_SEVEN_BIT || encoding == TE_EIGHT_BIT) {
        const bool sevenBit = encoding == TE_SEVEN_BIT;
        const int read = sevenBit ? 997 : 998;
        const int limit = sevenBit ? 996 : 997;
        int column = 0;
        char previous = '\0';
        while (result == RC_OK && (n = data.Read(block, read)) > 0) {
            for (int i = 0; i < n && result == RC_OK; ++i) {
                const unsigned char c = static_cast<unsigned char>(block[i]);
                if (sevenBit && (c == 0 || c > 127)) result = RC_NOT_7BIT;
                // The LF of a CR LF counts as the first character of a line.
                column = (c == '\n' && previous == '\r') ? 1 : column + 1;
                if (column > limit) result = RC_LINE_TOO_LONG;
                previous = static_cast<char>(c);
            }
            if (result == RC_OK && !out.Put(block, n)) result = RC_SOURCE_WRITE_FAILED;
        }
    } else if (encoding == TE_BINARY) {
        while (result == RC_OK && (n = data.Read(block, 999)) > 0)
            if (!out.Put(block, n)) result = RC_SOURCE_WRITE_FAILED;
    } else if (encoding == TE_QUOTED_PRINTABLE) {
        std::string line;
        static const char kHex[] = "0123456789ABCDEF";
        while (result == RC_OK && (n = data.Read(block, 99)) > 0) {
            for (int i = 0; i < n && result == RC_OK; ++i) {
                if (line.size() > 72) {
                    line += "=\r\n";
                    if (!out.Put(line)) result = RC_SOURCE_WRITE_FAILED;
                    line.clear();
                }
                const unsigned char c = static_cast<unsigned char>(block[i]);
                if ((c >= 33 && c <= 60) || (c >= 62 && c <= 126) || c == '\t' || c == ' ') {
                    line += static_cast<char>(c);
                } else {
                    line += '=';
                    line += kHex[c >> 4];
                    line += kHex[c & 15];
                }
            }
        }
        if (result == RC_OK && !out.Put(line)) result = RC_SOURCE_WRITE_FAILED;
    } else {
        while (result == RC_OK && (n = data.Read(block, 57)) > 0) {
            char line[80];
            int used = 0;
            for (int g = 0; g < n; g += 3) {
                const unsigned char triple[3] = {
                    static_cast<unsigned char>(block[g]),
                    static_cast<unsigned char>(g + 1 < n ? block[g + 1] : 0),
                    static_cast<unsigned char>(g + 2 < n ? block[g + 2] : 0)};
                EncodeBase64Triple(triple, n - g < 3 ? n - g : 3, line + used);
                used += 4;
            }
            line[used++] = '\r';
            line[used++] = '\n';
            if (!out.Put(line, used)) result = RC_SOURCE_WRITE_FAILED;
        }
    }
    data.Close();
    return result;
}

void CUT_MimeCodec::EncodeBase64Triple(const unsigned char *bytes, int count, char *out) const {
    const unsigned b1 = bytes[0], b2 = count > 1 ? bytes[1] : 0, b3 = count > 2 ? bytes[2] : 0;
    out[0] = m_base64Alphabet[b1 >> 2];
    out[1] = m_base64Alphabet[((b1 << 4) & 63) | (b2 >> 4)];
    out[2] = count > 1 ? m_base64Alphabet[((b2 << 2) & 63) | (b3 >> 6)] : '=';
    out[3] = count > 2 ? m_base64Alphabet[b3 & 63] : '=';
}

int CUT_MimeCodec::CopyParsedPart(const MimePart &part, CUT_ByteSource &sink) {
    // From the start of the second line after the last blank line that lies
    // more than 4 bytes before the part's data, up to the data's end.
    int start = part.dataStart;
    int blank = m_message->Find("\r\n\r\n", part.dataStart > 10000 ? part.dataStart - 10000 : 0, 0, 0);
    int last = -1;
    while (blank >= 0 && part.dataStart - blank > 4) {
        last = blank;
        blank = m_message->Find("\r\n\r\n", blank + 1, 0, 0);
    }
    if (last >= 0) {
        const int line = m_message->Find("\r\n", last + 4, 0, 1000);
        start = line >= 0 ? line + 2 : last + 4;
    }
    long remaining = static_cast<long>(part.dataStart) + part.dataLength - start;
    if (m_message->Seek(start, SeekOrigin::Begin) >= 0) {
        char block[1000 + 1];
        while (remaining > 0) {
            const int n = m_message->Read(block, remaining < 1000 ? static_cast<int>(remaining) : 1000);
            if (n <= 0) break;
            sink.Write(block, n);
            remaining -= n;
        }
    }
    m_message->Close();
    return RC_OK;
}

int CUT_MimeCodec::EncodeMessage(CUT_ByteSource *body, CUT_ByteSource *sink, int append) {
    if (sink == nullptr || sink->Open(append ? OpenMode::Append : OpenMode::Write) == -1)
        return RC_SOURCE_OPEN_FAILED;
    if (body == nullptr || body->Open(OpenMode::Read) == -1) {
        sink->Close();
        return RC_SOURCE_OPEN_FAILED;
    }
    if (m_parts.empty()) {
        int result = RC_OK;
        char block[kBlock + 1];
        int n;
        while ((n = body->Read(block, kBlock)) > 0)
            if (sink->Write(block, n) != n) result = RC_SOURCE_WRITE_FAILED;
        const bool closed = sink->Close() != -1;
        if (body->Close() == -1 || !closed) return RC_SOURCE_CLOSE_FAILED;
        return result;
    }

    SinkWriter out(*sink);
    out.Put("This is a multi-part message in MIME format.\r\n");
    out.Put(std::string("\r\n--") + m_boundary + "\r\n");

    // The body text as a quoted-printable part of its own; the body source
    // stays the caller's.
    MimePart text;
    text.source.reset(body);
    text.contentType = m_htmlBody ? "text/html" : "text/Plain";
    WritePart(&text, *sink, TE_QUOTED_PRINTABLE);
    text.source.release();

    for (const auto &entry : m_parts) {
        MimePart &part = *entry;
        out.Put(std::string("\r\n--") + m_boundary + "\r\n");
        const bool parsed = !part.source && m_message && part.dataLength >= 1 &&
                            part.dataStart >= 1 && m_message->Open(OpenMode::Read) != -1;
        int result = RC_OK;
        if (parsed) {
            result = CopyParsedPart(part, *sink);
        } else if (part.encoding == TE_BINHEX) {
            result = -1;
        } else if (part.encoding == TE_SEVEN_BIT || part.encoding == TE_BASE64 ||
                   part.encoding == TE_QUOTED_PRINTABLE || part.encoding == TE_EIGHT_BIT ||
                   part.encoding == TE_BINARY) {
            result = WritePart(&part, *sink, part.encoding);
        }
        if (result != RC_OK) break;
    }

    SinkWriter closing(*sink);
    closing.Put("\r\n--", 4);
    closing.Put(m_boundary, static_cast<int>(std::strlen(m_boundary)));
    closing.Put("--\r\n", 4);
    const bool sinkClosed = sink->Close() != -1;
    const bool bodyClosed = body->Close() != -1;
    if (!sinkClosed || !bodyClosed) return RC_SOURCE_CLOSE_FAILED;

    // The next message gets a boundary of its own.
    MakeBoundary(m_boundary, 30);
    m_headerLines.RemoveAll();
    m_headerLines.AddString("MIME-Version: 1.0\r\n");
    char line[160];
    std::snprintf(line, sizeof line, "Content-Type: Multipart/Mixed; boundary=\"%s\"\r\n", m_boundary);
    m_headerLines.AddString(line);
    return closing.Complete() ? 0 : 1;
}
