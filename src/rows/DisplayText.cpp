// SPDX-License-Identifier: GPL-3.0-or-later
#include "DisplayText.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include "TextHelpers.h"

namespace {

std::string ToUtf8(const QString &text) {
    QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

bool DecodeStrictly(const QByteArray &bytes, const char *charset, QString *out) {
    QStringDecoder decoder(charset, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid()) return false;
    *out = decoder.decode(bytes);
    return !decoder.hasError();
}

}  // namespace

bool DisplayTextIsBytes(const std::string &bytes, const char *charset) {
    // Most cells are well-formed UTF-8 already (all that come from the
    // cache): they stay as they are without a trip through the decoder,
    // which would only drop a byte order mark declared UTF-8 brings.
    const bool unnamed = charset == nullptr || *charset == '\0';
    return (unnamed || (EqualsNoCase(charset, "UTF-8") && bytes.rfind("\xEF\xBB\xBF", 0) != 0)) &&
           IsWellFormedUtf8(bytes);
}

std::string DisplayText(const std::string &bytes, const char *charset) {
    if (DisplayTextIsBytes(bytes, charset)) return bytes;
    const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text;
    if (charset != nullptr && *charset != '\0' && DecodeStrictly(data, charset, &text))
        return ToUtf8(text);
    if (DecodeStrictly(data, "UTF-8", &text)) return bytes;
    if (DecodeStrictly(data, "windows-1252", &text)) return ToUtf8(text);
    return ToUtf8(QString::fromLatin1(data));
}
