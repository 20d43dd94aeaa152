// SPDX-License-Identifier: GPL-3.0-or-later
// Messages that carry attachments as uuencoded blocks ("begin", data
// lines, "end"): every block indexed as an attachment, the body text before
// the first block as the message text; and the building side that appends
// files as blocks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CUT_CodecBase.h"

struct UUAttachment {
    std::unique_ptr<CUT_ByteSource> source;  // building side: the file to encode
    std::string name;                        // at most 259 characters
    int size = 0;
    int start = 0;
    int length = 0;
};

class CUT_UUCodec : public CUT_CodecBase {
public:
    // A body full of "begin" words must not index without bound.
    static constexpr int kMaxBlocks = 1000;

    CUT_UUCodec() = default;
    ~CUT_UUCodec() override;
    CUT_UUCodec(const CUT_UUCodec &) = delete;
    CUT_UUCodec &operator=(const CUT_UUCodec &) = delete;

    const char *GetName() override;
    int GetAttachmentCount() override;
    int ClearAttachments() override;
    int AddAttachment(CUT_ByteSource *source, const char *name,
                      CUT_StringList *parameters) override;
    int AddAttachmentHeader(const char *line) override;
    int GetHeaderLineCount() override;
    const char *GetHeaderLine(int index) override;
    int EncodeMessage(CUT_ByteSource *body, CUT_ByteSource *sink, int append) override;
    int ParseMessage(CUT_ByteSource &source) override;
    int ExtractText(CUT_ByteSource &sink, int append) override;
    int GetAttachmentSize(int index) override;
    int GetAttachmentInfo(int index, char *name, int nameSize, char *type, int typeSize,
                          CUT_StringList *parameters) override;
    int DecodeAttachment(int index, CUT_ByteSource &sink, int append) override;
    int CanDecode() override;

    // Four characters for three bytes; a 0 value is written as '`'.
    static void EncodeUUTriple(const unsigned char *bytes, char *out);

    const UUAttachment *Attachment(int index) const;
    int TextStart() const { return m_textStart; }
    int FirstBegin() const { return m_firstBegin; }
    int TextLength() const { return m_textLength; }

private:
    int EncodeEntry(const UUAttachment &entry, CUT_ByteSource &sink);

    std::unique_ptr<CUT_ByteSource> m_message;
    int m_textLength = -1;
    std::vector<std::unique_ptr<UUAttachment>> m_attachments;
    UUAttachment *m_lastAdded = nullptr;
    int m_attachmentCount = 0;
    int m_textStart = -1;
    int m_firstBegin = -1;
};
