// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_HeaderDecoder.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "CUT_Base64Decoder.h"
#include "CUT_QuotedPrintableDecoder.h"
#include "TextHelpers.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kMaxWordCharset = 75;
constexpr size_t kMaxEncodeCharset = 30;

std::unique_ptr<char[]> Allocate(size_t size) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (buffer) buffer[0] = '\0';
    return buffer;
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CUT_HeaderDecoder::CUT_HeaderDecoder() { std::memcpy(m_alphabet, kAlphabet, sizeof m_alphabet); }

CUT_HeaderDecoder::~CUT_HeaderDecoder() = default;

ResultCode CUT_HeaderDecoder::GetLastResult() { return m_lastResult; }

ResultCode CUT_HeaderDecoder::DecodeBase64Word(const char *source, char *target, int size) {
    if (source == nullptr || target == nullptr) return Fail(RC_NULL_ARGUMENT);
    const size_t length = std::strlen(source);
    if (size < 0 || static_cast<size_t>(size) < length) return Fail(RC_BUFFER_TOO_SMALL);
    // A word short of a whole group is read as if padded.
    CUT_Base64Decoder decoder(CUT_Base64Decoder::kSkipNothing);
    std::string decoded;
    decoder.Feed(source, length, decoded);
    decoder.Finish(decoded, true);
    // Padding can make the output outgrow a buffer sized to the input.
    if (decoded.size() + 1 > static_cast<size_t>(size)) return Fail(RC_BUFFER_TOO_SMALL);
    std::memcpy(target, decoded.data(), decoded.size());
    target[decoded.size()] = '\0';
    return RC_OK;
}

ResultCode CUT_HeaderDecoder::DecodeQWord(const char *source, char *target, int size) {
    if (source == nullptr || target == nullptr) return Fail(RC_NULL_ARGUMENT);
    const size_t length = std::strlen(source);
    if (size < 0 || static_cast<size_t>(size) < length) return Fail(RC_BUFFER_TOO_SMALL);
    CUT_QuotedPrintableDecoder::Options q;
    q.underscoreIsBlank = true;
    q.softBreaks = false;
    CUT_QuotedPrintableDecoder decoder(q);
    std::string decoded;
    decoder.Feed(source, length, decoded);
    if (!decoder.Finish(decoded)) return Fail(RC_ERROR);  // '=' needs two characters
    if (decoded.size() + 1 > static_cast<size_t>(size)) return Fail(RC_BUFFER_TOO_SMALL);
    std::memcpy(target, decoded.data(), decoded.size());
    target[decoded.size()] = '\0';
    return RC_OK;
}

const char *CUT_HeaderDecoder::DecodeHeader(const char *text, const char **charsetFlag) {
    if (text == nullptr) {
        Fail(RC_EMPTY_TEXT);
        return nullptr;
    }
    const size_t length = std::strlen(text);
    m_decoded = Allocate(length + 10);
    m_charset = Allocate(kCharsetSize);
    if (!m_decoded || !m_charset) {
        m_decoded.reset();
        Fail(RC_OUT_OF_MEMORY);
        return nullptr;
    }
    char *result = m_decoded.get();
    const size_t capacity = length + 10;
    size_t used = 0;

    auto fail = [this](ResultCode code) -> const char * {
        Fail(code);
        m_decoded.reset();
        return nullptr;
    };

    size_t i = 0;
    while (i < length) {
        if (!(text[i] == '=' && text[i + 1] == '?')) {
            result[used++] = text[i++];
            continue;
        }
        const char *charset = text + i + 2;
        const char *question = std::strchr(charset, '?');
        if (question == nullptr) return fail(RC_MALFORMED_WORD);
        const size_t charsetLength = static_cast<size_t>(question - charset);
        if (charsetLength > kMaxWordCharset) return fail(RC_CHARSET_TOO_LONG);
        std::memcpy(m_charset.get(), charset, charsetLength);
        m_charset[charsetLength] = '\0';
        if (charsetFlag != nullptr) *charsetFlag = m_charset.get();

        const char letter = question[1];
        if (letter == '\0' || question[2] != '?') return fail(RC_MALFORMED_WORD);
        const char *encoded = question + 3;
        if (encoded[0] == '\0' || encoded[1] == '\0') return fail(RC_MALFORMED_WORD);
        const char *end = std::strstr(encoded, "?=");
        if (end == nullptr) return fail(RC_MALFORMED_WORD);
        const size_t encodedLength = static_cast<size_t>(end - encoded);
        if (encodedLength >= static_cast<size_t>(kWordSize)) return fail(RC_MALFORMED_WORD);
        char work[kWordSize];
        std::memcpy(work, encoded, encodedLength);
        work[encodedLength] = '\0';

        i = static_cast<size_t>(end + 2 - text);
        // A fold between encoded words disappears.
        if (length - i >= 3 && text[i] == '\r' && text[i + 1] == '\n' && IsBlankOrTab(text[i + 2]))
            i += 3;

        char decoded[kWordSize];
        ResultCode code;
        if (letter == 'B' || letter == 'b')
            code = DecodeBase64Word(work, decoded, kWordSize);
        else if (letter == 'Q' || letter == 'q')
            code = DecodeQWord(work, decoded, kWordSize);
        else
            return fail(RC_BAD_ENCODING);
        if (code != RC_OK) return fail(code);

        const size_t piece = std::strlen(decoded);
        // A decoded word is never longer than its encoded form; the check
        // keeps that true for any input.
        const size_t room = capacity - 1 - used;
        const size_t take = piece < room ? piece : room;
        std::memcpy(result + used, decoded, take);
        used += take;
    }
    result[used] = '\0';
    return result;
}

const char *CUT_HeaderDecoder::EncodeHeader(const char *text, const char *charset, int useQ) {
    if (text == nullptr || *text == '\0' || charset == nullptr || *charset == '\0') {
        Fail(RC_EMPTY_TEXT);
        return nullptr;
    }
    if (std::strpbrk(charset, "()<>@,;:/[]?.=\"") != nullptr) {
        Fail(RC_BAD_CHARSET);
        return nullptr;
    }
    const size_t charsetLength = std::strlen(charset);
    if (charsetLength > kMaxEncodeCharset) {
        Fail(RC_CHARSET_TOO_LONG);
        return nullptr;
    }

    const std::string cs(charset);
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    const size_t length = std::strlen(text);
    std::string out;
    if (!useQ) {
        const size_t piece = 49 - charsetLength;
        for (size_t at = 0; at < length; at += piece) {
            if (at > 0) out += "\r\n ";
            out += "=?" + cs + "?B?";
            const size_t end = at + piece < length ? at + piece : length;
            for (size_t g = at; g < end; g += 3) {
                const size_t left = end - g;
                const unsigned b0 = bytes[g];
                const unsigned b1 = left > 1 ? bytes[g + 1] : 0;
                const unsigned b2 = left > 2 ? bytes[g + 2] : 0;
                out += kAlphabet[b0 >> 2];
                out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
                out += left > 1 ? kAlphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
                out += left > 2 ? kAlphabet[b2 & 63] : '=';
            }
            out += "?=";
        }
    } else {
        const size_t limit = 71 - charsetLength;
        size_t count = charsetLength + 5;
        out += "=?" + cs + "?Q?";
        for (size_t i = 0; i < length; ++i) {
            if (count >= limit) {
                out += "?=\r\n =?" + cs + "?Q?";
                count = charsetLength + 5;
            }
            const unsigned char c = bytes[i];
            const bool plain = c >= 0x21 && c <= 0x7E && std::strchr("\"!',;=?@[\\]^_{|}~", c) == nullptr;
            if (plain) {
                out += static_cast<char>(c);
                count += 1;
            } else {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "=%02X", c);
                out += escaped;
                count += 3;
            }
        }
        out += "?=";
    }

    std::unique_ptr<char[]> buffer = Allocate(out.size() + 1);
    if (!buffer) {
        Fail(RC_OUT_OF_MEMORY);
        return nullptr;
    }
    std::memcpy(buffer.get(), out.c_str(), out.size() + 1);
    m_encoded = std::move(buffer);
    return m_encoded.get();
}
