// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes through what the scan does with a fetched message: a
// 32000-byte memory source, the parser with its codecs, the three field
// lookups, the encoded-word decoders, the body text and the preview.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "CUT_CharsetConverter.h"
#include "CUT_DisplayHeader.h"
#include "CUT_HeaderDecoder.h"
#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"
#include "CUT_MessagePreview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    CUT_MemorySource source(nullptr, 32000);
    source.Open(OpenMode::Write);
    source.Write(reinterpret_cast<const char *>(data), static_cast<int>(size > 40000 ? 40000 : size));
    source.Close();
    CUT_MailMessage message;
    message.LoadFromSource(source);
    char value[1000];
    for (const char *name : {"From:", "Subject:", "Message-Id:"}) {
        if (!message.GetHeaderByName(name, value, sizeof value)) continue;
        CUT_HeaderDecoder decoder;
        const char *charset = nullptr;
        const char *decoded = decoder.DecodeHeader(value, &charset);
        if (decoded != nullptr && std::strlen(decoded) > std::strlen(value)) __builtin_trap();
        if (!CUT_CharsetConverter::IsUtf8(CUT_DisplayHeader::Decode(value))) __builtin_trap();
    }
    // The preview is valid UTF-8 of bounded length, whatever came in.
    const std::string preview =
        CUT_MessagePreview::Build(std::string(reinterpret_cast<const char *>(data), size));
    if (!CUT_CharsetConverter::IsUtf8(preview) || preview.size() > 4 * CUT_MessagePreview::kMaxCharacters + 600)
        __builtin_trap();
    if (std::strlen(message.GetBodyText()) >= CUT_MailMessage::BodyCapacity) __builtin_trap();
    return 0;
}
