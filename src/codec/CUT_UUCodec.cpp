// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_UUCodec.h"

#include <cstdio>
#include <cstring>

#include "CUT_ByteSource.h"
#include "ResultCode.h"
#include "TextHelpers.h"

namespace {

constexpr int kBlock = 511;
constexpr int kLineSize = 100;
constexpr int kNameSize = 260;

int DataValue(char c) { return (static_cast<unsigned char>(c) - 32) & 63; }

bool StartsWith(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// "begin %o %[^\n\r]": the name after an octal mode; empty when the line
// does not have that form.
std::string BeginLineName(const char *line) {
    if (!StartsWith(line, "begin")) return {};
    const char *p = line + 5;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') ++p;
    const char *digits = p;
    while (*p >= '0' && *p <= '7') ++p;
    if (p == digits) return {};
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const size_t length = std::strcspn(p, "\r\n");
    return std::string(p, length);
}

bool ReadDataLine(CUT_ByteSource &source, char (&line)[kLineSize]) {
    std::memset(line, 0, sizeof line);  // short lines decode zeros, never stale bytes
    return source.ReadLine(line, kLineSize) > 0;
}

}  // namespace

CUT_UUCodec::~CUT_UUCodec() { ClearAttachments(); }

const char *CUT_UUCodec::GetName() { return "UUEncode"; }

int CUT_UUCodec::GetAttachmentCount() { return static_cast<int>(m_attachments.size()); }

int CUT_UUCodec::ClearAttachments() {
    m_attachments.clear();
    m_lastAdded = nullptr;
    return 0;
}

const UUAttachment *CUT_UUCodec::Attachment(int index) const {
    if (index < 0 || index >= static_cast<int>(m_attachments.size())) return nullptr;
    return m_attachments[static_cast<size_t>(index)].get();
}

int CUT_UUCodec::CanDecode() {
    if (!m_message) return 0;
    m_message->Seek(0, SeekOrigin::Begin);
    char line[kLineSize] = {};
    bool found = false;
    while (m_message->ReadLine(line, kLineSize) > 0) {
        if (StartsWith(line, "begin ")) {
            found = true;
            break;
        }
    }
    // "begin %d": the mode read as a decimal number, 0 when it is missing.
    const long mode = found ? ParseDecimal(line + 5) : 0;
    return mode / 100 == 6 ? 1 : 0;
}

int CUT_UUCodec::ParseMessage(CUT_ByteSource &source) {
    m_textStart = m_firstBegin = -1;
    m_message.reset(source.Clone());
    if (!m_message || m_message->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    if (!CanDecode()) {
        m_message.reset();
        return 1;
    }
    const int headerEnd = m_message->Find("\r\n\r\n", 0, 0, 0);
    m_textStart = headerEnd + 4;
    int from = headerEnd;
    bool first = true;
    for (;;) {
        const int at = m_message->Find("begin", from, 0, 0);
        if (first) {
            m_firstBegin = at;
            m_textLength = at == -1 ? -1 : at - m_textStart;
            first = false;
        }
        if (at == -1) return 0;
        m_message->Seek(at, SeekOrigin::Begin);
        char line[kNameSize] = {};
        m_message->ReadLine(line, kNameSize);
        const int end = m_message->Find("end\r\n", at, 0, 0);
        if (end <= 0) return 1;
        if (static_cast<int>(m_attachments.size()) >= kMaxBlocks) return 0;
        auto entry = std::make_unique<UUAttachment>();
        entry->name = BeginLineName(line);
        entry->start = at;
        entry->length = end - at + 7;
        m_attachments.push_back(std::move(entry));
        from = at + 12;
    }
}

int CUT_UUCodec::ExtractText(CUT_ByteSource &sink, int append) {
    if (!m_message || m_textStart == -1 || m_firstBegin == -1 || m_firstBegin < m_textStart)
        return 1;
    if (sink.Open(append ? OpenMode::Append : OpenMode::Write) == -1) return RC_SOURCE_OPEN_FAILED;
    long remaining = m_firstBegin - m_textStart;
    if (m_message->Seek(m_textStart, SeekOrigin::Begin) >= 0) {
        char buffer[kBlock + 1];
        while (remaining > 0) {
            const int n = m_message->Read(buffer, remaining < kBlock ? static_cast<int>(remaining)
                                                                     : kBlock);
            if (n <= 0) break;
            const int written = sink.Write(buffer, n);
            if (written > 0) remaining -= written;
            if (written != n) break;
        }
    }
    sink.Close();
    return remaining != 0 ? 1 : 0;
}

int CUT_UUCodec::DecodeAttachment(int index, CUT_ByteSource &sink, int append) {
    if (!m_message) return RC_SOURCE_OPEN_FAILED;
    const UUAttachment *entry = Attachment(index);
    if (entry == nullptr) return RC_NO_SUCH_ENTRY;
    if (sink.Open(append ? OpenMode::Append : OpenMode::Write) == -1) return RC_SOURCE_OPEN_FAILED;
    if (m_message->Open(OpenMode::Read) == -1) {
        sink.Close();
        return RC_SOURCE_OPEN_FAILED;
    }
    int result = RC_OK;
    char line[kLineSize];
    m_message->Seek(entry->start, SeekOrigin::Begin);
    bool begun = false;
    while (ReadDataLine(*m_message, line)) {
        if (StartsWith(line, "begin ")) {
            begun = true;
            break;
        }
    }
    if (!begun) {
        result = RC_HOST_NOT_FOUND;  // no "begin " line at or after the entry's start
    } else if (!ReadDataLine(*m_message, line)) {
        result = RC_DATA_ENDED;
    } else if (std::strcmp(line, "end") == 0 || std::strcmp(line, "end\r\n") == 0) {
        // "end" right after "begin": an empty file.
    } else {
        while (result == RC_OK) {
            int count = DataValue(line[0]);
            if (count == 0) break;
            for (int at = 1; count > 0 && at + 3 < kLineSize; at += 4) {
                const int w = DataValue(line[at]), x = DataValue(line[at + 1]);
                const int y = DataValue(line[at + 2]), z = DataValue(line[at + 3]);
                const char bytes[3] = {static_cast<char>((w << 2) | (x >> 4)),
                                       static_cast<char>(((x & 15) << 4) | (y >> 2)),
                                       static_cast<char>(((y & 3) << 6) | z)};
                const int take = count < 3 ? count : 3;
                if (sink.Write(bytes, take) != take) {
                    result = RC_SOURCE_WRITE_FAILED;
                    break;
                }
                count -= 3;
            }
            if (result != RC_OK) break;
            if (!ReadDataLine(*m_message, line)) {
                result = RC_DATA_ENDED;
                break;
            }
            if (std::strcmp(line, "end") == 0 || std::strcmp(line, "end\r\n") == 0) break;
        }
    }
    sink.Close();
    return result;
}

int CUT_UUCodec::GetAttachmentSize(int index) {
    long total = 0;
    for (size_t i = 0; i < m_attachments.size(); ++i) {
        const UUAttachment &entry = *m_attachments[i];
        const long size = (entry.size != 0 || entry.source) ? entry.size
                                                              : static_cast<long>(entry.length * 0.75);
        if (static_cast<int>(i) == index) return static_cast<int>(size);
        total += size;
    }
    return static_cast<int>(total);
}

int CUT_UUCodec::GetAttachmentInfo(int index, char *name, int nameSize, char *type, int,
                                   CUT_StringList *) {
    const UUAttachment *entry = Attachment(index);
    if (name == nullptr || entry == nullptr) return 1;
    if (nameSize > 0) std::strncpy(name, entry->name.c_str(), static_cast<size_t>(nameSize));
    if (type != nullptr) type[0] = '\0';
    return 0;
}

int CUT_UUCodec::AddAttachment(CUT_ByteSource *source, const char *name, CUT_StringList *) {
    if (source == nullptr || source->Open(OpenMode::Read) == -1) return RC_SOURCE_OPEN_FAILED;
    const int size = source->Seek(0, SeekOrigin::End);
    source->Close();
    auto entry = std::make_unique<UUAttachment>();
    entry->source.reset(source->Clone());
    entry->size = size;
    if (name != nullptr) entry->name.assign(name, strnlen(name, kNameSize - 1));
    m_lastAdded = entry.get();
    m_attachments.push_back(std::move(entry));
    ++m_attachmentCount;
    return 0;
}

int CUT_UUCodec::AddAttachmentHeader(const char *) { return 0; }
int CUT_UUCodec::GetHeaderLineCount() { return 0; }
const char *CUT_UUCodec::GetHeaderLine(int) { return nullptr; }

void CUT_UUCodec::EncodeUUTriple(const unsigned char *bytes, char *out) {
    const int values[4] = {bytes[0] >> 2, ((bytes[0] & 3) << 4) | (bytes[1] >> 4),
                           ((bytes[1] & 15) << 2) | (bytes[2] >> 6), bytes[2] & 63};
    for (int i = 0; i < 4; ++i) out[i] = values[i] == 0 ? '`' : static_cast<char>(values[i] + 32);
}

int CUT_UUCodec::EncodeEntry(const UUAttachment &entry, CUT_ByteSource &sink) {
    int result = RC_OK;
    auto put = [&](const char *data, int count) {
        if (sink.Write(data, count) != count) result = RC_SOURCE_WRITE_FAILED;
    };
    if (entry.source) {
        const size_t slash = entry.name.find_last_of('\\');
        const std::string file = slash == std::string::npos ? entry.name : entry.name.substr(slash + 1);
        char line[kNameSize + 32];
        const int length = std::snprintf(line, sizeof line, "begin %d %s\r\n", 660, file.c_str());
        put(line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1);
        if (entry.source->Open(OpenMode::Read) != -1) {
            unsigned char block[45 + 1];  // a memory source stores a NUL after what it reads
            int k;
            while (result == RC_OK && (k = entry.source->Read(reinterpret_cast<char *>(block), 45)) > 0) {
                char out[2 + 60 + 2];
                int used = 0;
                out[used++] = static_cast<char>((k & 63) + 32);
                for (int g = 0; g < k; g += 3) {
                    // The missing bytes of a short last group are zeros.
                    const unsigned char triple[3] = {
                        block[g], static_cast<unsigned char>(g + 1 < k ? block[g + 1] : 0),
                        static_cast<unsigned char>(g + 2 < k ? block[g + 2] : 0)};
                    EncodeUUTriple(triple, out + used);
                    used += 4;
                }
                out[used++] = '\r';
                out[used++] = '\n';
                put(out, used);
            }
            entry.source->Close();
        }
        const int before = result;
        result = RC_OK;
        // The customary zero-length line, then "end".
        put("`\r\nend\r\n", 8);
        if (before != RC_OK) result = before;
        return result;
    }
    // A block found in the parsed message: copied from the last blank line
    // within 10,000 bytes before it to its end.
    if (!m_message || entry.start <= 0 || entry.length <= 0 ||
        m_message->Open(OpenMode::Read) == -1)
        return -1;
    int from = entry.start;
    int blank = m_message->Find("\r\n\r\n", entry.start > 10000 ? entry.start - 10000 : 0, 0, 0);
    while (blank >= 0 && blank < entry.start) {
        from = blank;
        blank = m_message->Find("\r\n\r\n", blank + 1, 0, 0);
    }
    m_message->Seek(from, SeekOrigin::Begin);
    long remaining = static_cast<long>(entry.start) + entry.length - from;
    char buffer[kBlock + 1];
    while (remaining > 0 && result == RC_OK) {
        const int n = m_message->Read(buffer, remaining < kBlock ? static_cast<int>(remaining) : kBlock);
        if (n <= 0) break;
        put(buffer, n);
        remaining -= n;
    }
    return result;
}

int CUT_UUCodec::EncodeMessage(CUT_ByteSource *body, CUT_ByteSource *sink, int append) {
    if (sink == nullptr || body == nullptr) return RC_SOURCE_OPEN_FAILED;
    if (sink->Open(append ? OpenMode::Append : OpenMode::Write) == -1) return RC_SOURCE_OPEN_FAILED;
    if (body->Open(OpenMode::Read) == -1) {
        sink->Close();
        return RC_SOURCE_OPEN_FAILED;
    }
    if (!m_message) {
        char buffer[kBlock + 1];
        int n;
        while ((n = body->Read(buffer, kBlock)) > 0)
            if (sink->Write(buffer, n) != n) break;
    }
    if (m_attachments.empty()) {
        const bool sinkClosed = sink->Close() != -1;
        const bool bodyClosed = body->Close() != -1;
        return sinkClosed && bodyClosed ? RC_OK : RC_SOURCE_CLOSE_FAILED;
    }
    if (!m_message) sink->Write("\r\n\r\n", 4);
    for (const auto &entry : m_attachments)
        if (EncodeEntry(*entry, *sink) != RC_OK) break;
    sink->Close();
    body->Close();
    return RC_OK;
}
