// SPDX-License-Identifier: GPL-3.0-or-later
// Turns header values with encoded words (=?charset?B?...?= and
// =?charset?Q?...?=) into plain 8-bit text, and back. The bytes stay
// bytes: the character set is reported, not converted.
#pragma once

#include <memory>

#include "ResultCode.h"

class CUT_HeaderDecoder {
public:
    static constexpr int kWordSize = 200;
    static constexpr int kCharsetSize = 100;

    CUT_HeaderDecoder();
    virtual ~CUT_HeaderDecoder();
    CUT_HeaderDecoder(const CUT_HeaderDecoder &) = delete;
    CUT_HeaderDecoder &operator=(const CUT_HeaderDecoder &) = delete;

    // The text as encoded words (Q when useQ is nonzero, else B), owned by
    // the decoder until the next call; null on failure.
    virtual const char *EncodeHeader(const char *text, const char *charset, int useQ);
    // The decoded text, owned by the decoder until the next call; null on
    // failure. *charsetFlag (set to null by the caller) is pointed at the
    // charset of each encoded word read, so non-null means one was met.
    virtual const char *DecodeHeader(const char *text, const char **charsetFlag);
    virtual ResultCode GetLastResult();

    // Word decoders: 0, or a result code.
    ResultCode DecodeBase64Word(const char *source, char *target, int size);
    ResultCode DecodeQWord(const char *source, char *target, int size);

private:
    ResultCode Fail(ResultCode code) {
        m_lastResult = code;
        return code;
    }

    char m_alphabet[65];
    std::unique_ptr<char[]> m_encoded;
    std::unique_ptr<char[]> m_decoded;
    std::unique_ptr<char[]> m_charset;
    ResultCode m_lastResult = RC_OK;
};
