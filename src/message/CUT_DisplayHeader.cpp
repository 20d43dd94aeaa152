// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_DisplayHeader.h"

#include "CUT_Base64Decoder.h"
#include "CUT_CharsetConverter.h"
#include "CUT_QuotedPrintableDecoder.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An encoded word starting at "=?": its charset and decoded bytes, and
// where it ends; false when it is no well-formed word.
bool ReadWord(const std::string &text, size_t at, size_t *end, std::string *charset,
              std::string *bytes) {
    const size_t question = text.find('?', at + 2);
    if (question == std::string::npos || question + 3 >= text.size() || text[question + 2] != '?')
        return false;
    const char letter = text[question + 1];
    const size_t close = text.find("?=", question + 3);
    if (close == std::string::npos) return false;
    const std::string encoded = text.substr(question + 3, close - question - 3);
    // An encoded word holds no blanks (RFC 2047 §5).
    for (char c : encoded)
        if (IsBlank(c)) return false;
    *charset = text.substr(at + 2, question - at - 2);
    bytes->clear();
    if (letter == 'B' || letter == 'b') {
        CUT_Base64Decoder decoder(CUT_Base64Decoder::kSkipAllButBase64);
        decoder.Feed(encoded.data(), encoded.size(), *bytes);
        decoder.Finish(*bytes, true);
    } else if (letter == 'Q' || letter == 'q') {
        CUT_QuotedPrintableDecoder::Options q;
        q.underscoreIsBlank = true;
        q.softBreaks = false;
        q.lenient = true;
        CUT_QuotedPrintableDecoder decoder(q);
        decoder.Feed(encoded.data(), encoded.size(), *bytes);
        decoder.Finish(*bytes);
    } else {
        return false;
    }
    *end = close + 2;
    return true;
}

}  // namespace

std::string CUT_DisplayHeader::Decode(const std::string &value) {
    std::string out;
    std::string raw;         // text outside encoded words, not yet converted
    std::string blanks;      // blanks after the last encoded word
    bool afterWord = false;  // the last thing seen was an encoded word
    auto flushRaw = [&] {
        out += CUT_CharsetConverter::ToUtf8(raw, "");
        raw.clear();
    };
    for (size_t i = 0; i < value.size();) {
        std::string charset, bytes;
        size_t end = 0;
        if (value.compare(i, 2, "=?") == 0 && ReadWord(value, i, &end, &charset, &bytes)) {
            // Blanks between two encoded words are no text.
            if (!afterWord) raw += blanks;
            blanks.clear();
            flushRaw();
            out += CUT_CharsetConverter::ToUtf8(bytes, charset);
            afterWord = true;
            i = end;
            continue;
        }
        const char c = value[i++];
        if (c == '\r' || c == '\n') continue;  // folds unfold
        if (c == ' ' || c == '\t') {
            if (afterWord)
                blanks += c;
            else
                raw += c;
            continue;
        }
        raw += blanks;
        blanks.clear();
        afterWord = false;
        raw += c;
    }
    raw += blanks;
    flushRaw();
    return out;
}
