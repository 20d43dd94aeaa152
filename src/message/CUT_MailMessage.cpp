// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_MailMessage.h"

#include <cstring>
#include <new>

#include "CUT_ByteSource.h"
#include "CUT_CodecBase.h"
#include "CUT_MemorySource.h"
#include "CUT_MimeCodec.h"
#include "CUT_UUCodec.h"
#include "TextHelpers.h"

namespace {

constexpr int kLineSize = 1000;
// A custom name and its colon must fit in 30 bytes with the NUL.
constexpr size_t kCustomNameSize = 30;

const char *const kFieldNames[] = {
    "All Fields ", "Message-Id:", "To:",   "Cc:",          "Bcc:",        "From:",  "Subject:",
    "Date:",       "Newsgroups:", "Xref:", "Reply-To:",    "X-Newsreader:", "References:", "Custom",
};

bool StartsWithNoCase(const char *text, const char *prefix) {
    for (; *prefix != '\0'; ++text, ++prefix)
        if (*text == '\0' || AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    return true;
}

}  // namespace

CUT_MailMessage::CUT_MailMessage() {
    EnsureBody();
    // Offered in this order: a uuencoded message may be a MIME one too.
    m_codecs[0] = new (std::nothrow) CUT_UUCodec;
    m_codecs[1] = new (std::nothrow) CUT_MimeCodec;
    m_codecCount = 2;
}

CUT_MailMessage::~CUT_MailMessage() {
    for (CUT_CodecBase *&codec : m_codecs) {
        delete codec;
        codec = nullptr;
    }
}

bool CUT_MailMessage::EnsureBody() {
    if (!m_body) m_body.reset(new (std::nothrow) char[BodyCapacity]);
    if (!m_body) return false;
    m_body[0] = '\0';
    return true;
}

const char *CUT_MailMessage::FieldName(int id) {
    if (id < FIELD_ALL || id > FIELD_CUSTOM) return nullptr;
    return kFieldNames[id];
}

const char *CUT_MailMessage::GetBodyText() const { return m_body ? m_body.get() : ""; }

int CUT_MailMessage::CountHeaders(const char *name) const {
    if (name == nullptr) return 0;
    int count = 0;
    for (const HeaderEntry &entry : m_headers)
        if (EqualsNoCase(entry.name.c_str(), name)) ++count;
    return count;
}

const char *CUT_MailMessage::GetHeaderValue(const char *name, int index) const {
    if (name == nullptr || index < 0) return nullptr;
    for (const HeaderEntry &entry : m_headers)
        if (EqualsNoCase(entry.name.c_str(), name) && index-- == 0) return entry.value.c_str();
    return nullptr;
}

int CUT_MailMessage::GetHeaderByName(const char *name, char *buffer, int size) const {
    const int count = CountHeaders(name);
    if (buffer == nullptr || name == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    size_t total = 0;
    for (int index = 0; index < count; ++index) {
        const char *value = GetHeaderValue(name, index);
        if (value == nullptr) continue;
        const size_t length = std::strlen(value);
        if (total + length >= static_cast<size_t>(size)) return 0;
        std::memcpy(buffer + total, value, length + 1);
        total += length;
    }
    return 1;
}

int CUT_MailMessage::AddHeader(const char *value, int id, const char *customName) {
    if (value == nullptr) return 0;
    if (id == FIELD_CUSTOM && customName == nullptr) return 0;
    const char *name = id == FIELD_CUSTOM ? customName : FieldName(id);
    m_headers.push_back(HeaderEntry{name != nullptr ? name : "", value, id});
    return 1;
}

void CUT_MailMessage::ParseHeaderLine(char *line, int &currentId, std::string &customName) {
    if (line[0] == ' ' || line[0] == '\t') {
        // A continuation is an entry of its own under the current field.
        AddHeader(line, currentId, customName.c_str());
        return;
    }
    int id = FIELD_CUSTOM;
    for (int candidate = FIELD_MESSAGE_ID; candidate <= FIELD_REFERENCES; ++candidate) {
        if (StartsWithNoCase(line, kFieldNames[candidate])) {
            id = candidate;
            break;
        }
    }
    const char *colon = std::strchr(line, ':');
    const char *value = colon != nullptr ? colon + 1 : line;
    if (id == FIELD_CUSTOM) {
        const size_t nameLength = colon != nullptr ? static_cast<size_t>(colon - line) + 1 : 0;
        if (colon != nullptr && nameLength <= kCustomNameSize - 1)
            customName.assign(line, nameLength);
        else
            customName.clear();
    }
    AddHeader(value, id, customName.c_str());
    currentId = id;
}

ResultCode CUT_MailMessage::LoadFromSource(CUT_ByteSource &source) {
    const ResultCode header = LoadHeaderFromSource(source);
    if (header != RC_OK) return header;
    return LoadBody(source);
}

ResultCode CUT_MailMessage::LoadHeaderFromSource(CUT_ByteSource &source) {
    for (int i = 0; i < m_codecCount; ++i)
        if (m_codecs[i] != nullptr) m_codecs[i]->ClearAttachments();
    m_headers.clear();

    if (source.Open(OpenMode::Read) == -1) return RC_MESSAGE_OPEN_FAILED;

    char line[kLineSize];
    int currentId = FIELD_CUSTOM;
    std::string customName;
    while (source.ReadLine(line, kLineSize) > 0) {
        StripLineEnd(line);
        if (line[0] == '\0') break;  // the empty line ends the header
        ParseHeaderLine(line, currentId, customName);
    }
    return RC_OK;
}

ResultCode CUT_MailMessage::LoadBody(CUT_ByteSource &source) {
    if (!EnsureBody()) {
        source.Close();
        return RC_OUT_OF_MEMORY;
    }
    char *body = m_body.get();
    ResultCode result = RC_OK;
    const int bodyStart = source.Seek(0, SeekOrigin::Current);

    bool extracted = false;
    for (int i = 0; i < m_codecCount; ++i) {
        if (m_codecs[i] == nullptr || m_codecs[i]->ParseMessage(source) != 0) continue;
        m_codecInUse = i;
        // Wrapped, not handed over: the sink writes at most capacity - 1
        // bytes so the terminating NUL still fits.
        CUT_MemorySource sink(body, BodyCapacity - 1, nullptr);
        if (m_codecs[i]->ExtractText(sink, 0) == 0)
            extracted = true;
        else
            body[0] = '\0';
        break;
    }
    if (source.Close() == -1) result = RC_MESSAGE_CLOSE_FAILED;
    if (extracted) return result;

    if (source.Open(OpenMode::Read) == -1) return RC_MESSAGE_OPEN_FAILED;
    if (bodyStart >= 0) source.Seek(bodyStart, SeekOrigin::Begin);
    if (result == RC_OK) {
        char line[kLineSize];
        size_t used = 0;
        long total = 0;
        int n;
        while ((n = source.ReadLine(line, kLineSize)) > 0) {
            total += n;
            if (total + 3 >= BodyCapacity) {
                result = RC_BUFFER_TOO_SMALL;
                break;
            }
            // Appended as text: whatever follows a NUL in the line is lost,
            // and used never runs ahead of total.
            const size_t length = strnlen(line, static_cast<size_t>(n));
            std::memcpy(body + used, line, length);
            used += length;
            if (!EndsWithLineBreak(line)) {
                std::memcpy(body + used, "\r\n", 2);
                used += 2;
                total += 2;
            }
            body[used] = '\0';
        }
    }
    if (source.Close() == -1) result = RC_MESSAGE_CLOSE_FAILED;
    return result;
}
