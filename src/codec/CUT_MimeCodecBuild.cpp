// SPDX-License-Identifier: GPL-3.0-or-later
// The building side of the MIME codec: attachments, their header lines,
// boundaries and the multipart message written from them. The reading side
// is in CUT_MimeCodec.cpp.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "CUT_ByteSource.h"
#include "CUT_MimeCodec.h"
#include "ResultCode.h"
#include "TextHelpers.h"

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBlock = 511;

}  // namespace

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
