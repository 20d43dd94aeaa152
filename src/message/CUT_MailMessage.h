// SPDX-License-Identifier: GPL-3.0-or-later
// One mail message as an ordered list of header entries and a body text,
// filled from a byte source. Lookups go by field name, ignoring case.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ResultCode.h"

class CUT_ByteSource;
class CUT_CodecBase;

enum FieldId {
    FIELD_ALL = 0,
    FIELD_MESSAGE_ID = 1,
    FIELD_TO = 2,
    FIELD_CC = 3,
    FIELD_BCC = 4,
    FIELD_FROM = 5,
    FIELD_SUBJECT = 6,
    FIELD_DATE = 7,
    FIELD_NEWSGROUPS = 8,
    FIELD_XREF = 9,
    FIELD_REPLY_TO = 10,
    FIELD_X_NEWSREADER = 11,
    FIELD_REFERENCES = 12,
    FIELD_CUSTOM = 13,
};

struct HeaderEntry {
    std::string name;   // table text for known fields, own name for custom ones
    std::string value;  // text after the colon, or a whole continuation line
    int id = FIELD_CUSTOM;
};

class CUT_MailMessage {
public:
    static constexpr int BodyCapacity = 32768;
    static constexpr int kMaxCodecs = 5;

    CUT_MailMessage();
    virtual ~CUT_MailMessage();
    CUT_MailMessage(const CUT_MailMessage &) = delete;
    CUT_MailMessage &operator=(const CUT_MailMessage &) = delete;

    // Parses the header lines up to the first empty line, then the body.
    ResultCode LoadFromSource(CUT_ByteSource &source);
    // The header alone, for whoever reads the body another way: no codec
    // runs.
    ResultCode LoadHeaderFromSource(CUT_ByteSource &source);
    // All values of the named field joined; 1 on success, 0 when a null
    // argument was given or the values do not fit in size bytes.
    int GetHeaderByName(const char *name, char *buffer, int size) const;
    int CountHeaders(const char *name) const;
    const char *GetHeaderValue(const char *name, int index) const;
    int AddHeader(const char *value, int id, const char *customName);
    static const char *FieldName(int id);
    const char *GetBodyText() const;

    const std::vector<HeaderEntry> &Headers() const { return m_headers; }
    int CodecInUse() const { return m_codecInUse; }

private:
    void ParseHeaderLine(char *line, int &currentId, std::string &customName);
    ResultCode LoadBody(CUT_ByteSource &source);
    bool EnsureBody();

    std::vector<HeaderEntry> m_headers;
    std::unique_ptr<char[]> m_body;
    CUT_CodecBase *m_codecs[kMaxCodecs] = {};
    int m_codecCount = 0;
    int m_codecInUse = 1;
};
