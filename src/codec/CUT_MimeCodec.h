// SPDX-License-Identifier: GPL-3.0-or-later
// MIME messages: recognition, content types, multipart bodies split at
// their boundary (with one level of nested alternative or related parts),
// part headers and parameters, and decoding of base64, quoted-printable and
// unencoded parts. The building side writes multipart messages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CUT_CodecBase.h"
#include "CUT_StringList.h"

enum MediaType { MT_TEXT = 0, MT_IMAGE = 1, MT_AUDIO = 2, MT_VIDEO = 3, MT_APPLICATION = 4,
                 MT_MESSAGE = 5, MT_MULTIPART = 6, MT_OTHER = 9 };
enum MediaSubtype { MS_NONE = 0, MS_ANY_TEXT = 2, MS_MIXED = 3, MS_ALTERNATIVE = 4,
                    MS_PARALLEL = 5, MS_DIGEST = 6, MS_OTHER_MESSAGE = 7, MS_PARTIAL = 8,
                    MS_RELATED = 10 };
enum TransferEncoding { TE_SEVEN_BIT = 0, TE_BASE64 = 1, TE_QUOTED_PRINTABLE = 2,
                        TE_EIGHT_BIT = 3, TE_BINARY = 4, TE_BINHEX = 5, TE_MULTIPART = 6 };

struct MimePart {
    std::unique_ptr<CUT_ByteSource> source;  // building side: the attachment's data
    std::string name;
    std::string contentType;
    std::string charset;
    std::string typeParam;
    int encoding = TE_SEVEN_BIT;
    int size = 0;
    int dataStart = 0;
    int dataLength = 0;
    std::unique_ptr<CUT_StringList> headerLines;  // building side
};

class CUT_MimeCodec : public CUT_CodecBase {
public:
    static constexpr int kFieldSize = 100;
    // A hostile message could otherwise make the nested splitting index the
    // same parts again and again.
    static constexpr int kMaxParts = 256;

    CUT_MimeCodec();
    ~CUT_MimeCodec() override;
    CUT_MimeCodec(const CUT_MimeCodec &) = delete;
    CUT_MimeCodec &operator=(const CUT_MimeCodec &) = delete;

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
    virtual void ParseNestedMultipart(int start, int end, int index);

    // The boundary text for a new multipart message: "Mark=_" and the UTC
    // date and time, filled up with random base64 characters to size - 1.
    // 0, or -1 when size is below 20, -2 when above 70.
    static int MakeBoundary(char *buffer, int size);

    // Read access for tests and tools.
    const MimePart *Part(int index) const;
    int MediaTypeOf() const { return m_mediaType; }
    int MediaSubtypeOf() const { return m_mediaSubtype; }
    const char *Delimiter() const { return m_delimiter; }
    const char *Boundary() const { return m_boundary; }
    int PartCount() const { return m_partCount; }

private:
    void ReadTopContentType();
    bool ReadBoundary(int start, int limit, char (&delimiter)[kFieldSize]);
    void SplitAtDelimiter(const char *delimiter, int start);
    void ClassifyParts(int first);
    void ParsePartHeader(int index, int position);
    void ApplyParameter(MimePart &part, const std::string &key, std::string value);
    std::string ReadUnfoldedHeaderLine(int *reported);
    int ReadTransferEncoding(int position);
    // Up to size - 1 bytes of the copy from position, terminated.
    void ReadTextAt(int position, char *text, int size);
    void DefaultType(MimePart &part);
    MimePart *AddPart(int dataStart, int dataLength);

    int DecodeBlocks(const MimePart &part, CUT_ByteSource &sink, bool base64);
    // The part writers of the building side, one per transfer encoding.
    int WritePart(MimePart *part, CUT_ByteSource &sink, int encoding);
    int CopyParsedPart(const MimePart &part, CUT_ByteSource &sink);
    void EncodeBase64Triple(const unsigned char *bytes, int count, char *out) const;
    int DecodeQuotedPrintable(const MimePart &part, CUT_ByteSource &sink);

    int m_htmlBody = 0;

public:
    // The body text goes out as text/html instead of text/Plain.
    void SetHtmlBody(bool html) { m_htmlBody = html ? 1 : 0; }

private:
    std::unique_ptr<CUT_ByteSource> m_message;
    std::vector<std::unique_ptr<MimePart>> m_parts;
    MimePart *m_lastAdded = nullptr;
    CUT_StringList m_headerLines;
    int m_attachmentCount = 0;
    char m_base64Alphabet[65];
    char m_boundary[kFieldSize] = {};
    char m_delimiter[kFieldSize] = {};
    int m_mediaType = MT_OTHER;
    int m_mediaSubtype = MS_NONE;
    int m_partCount = 0;
};
