// SPDX-License-Identifier: GPL-3.0-or-later
// What every codec offers: recognising a message of its kind, extracting
// its text and attachments, and the encoding side that builds one. The
// message parser owns one codec of each kind and asks them in turn.
#pragma once

class CUT_ByteSource;
class CUT_StringList;

class CUT_CodecBase {
public:
    virtual ~CUT_CodecBase() = default;

    virtual const char *GetName() = 0;
    virtual int GetAttachmentCount() = 0;
    virtual int ClearAttachments() = 0;
    virtual int AddAttachment(CUT_ByteSource *source, const char *name,
                              CUT_StringList *parameters) = 0;
    virtual int AddAttachmentHeader(const char *line) = 0;
    virtual int GetHeaderLineCount() = 0;
    virtual const char *GetHeaderLine(int index) = 0;
    virtual int EncodeMessage(CUT_ByteSource *body, CUT_ByteSource *sink, int append) = 0;
    // 0 when the message is of this codec's kind, 1 when it is not, 81 when
    // the private copy cannot be opened.
    virtual int ParseMessage(CUT_ByteSource &source) = 0;
    // Writes the message's decoded text into sink; 0 when done.
    virtual int ExtractText(CUT_ByteSource &sink, int append) = 0;
    virtual int GetAttachmentSize(int index) = 0;
    virtual int GetAttachmentInfo(int index, char *name, int nameSize, char *type, int typeSize,
                                  CUT_StringList *parameters) = 0;
    virtual int DecodeAttachment(int index, CUT_ByteSource &sink, int append) = 0;
    virtual int CanDecode() = 0;
};
