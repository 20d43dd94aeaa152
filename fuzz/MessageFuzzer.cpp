// Arbitrary bytes through what the scan does with a fetched message: a
// 32000-byte memory source, the parser with its codecs, the three field
// lookups, the encoded-word decoder and the body text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CUT_HeaderDecoder.h"
#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"

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
    }
    if (std::strlen(message.GetBodyText()) >= CUT_MailMessage::BodyCapacity) __builtin_trap();
    return 0;
}
