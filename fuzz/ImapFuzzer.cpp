// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes through the IMAP response parser, split into pieces whose
// sizes the first byte chooses (and whether large literals go to a sink,
// as a whole message does): whatever arrives, the parser ends each
// response or breaks, holds no more than it was given, hands the sink no
// more than it was given, and never reads outside what it holds.
#include <cstddef>
#include <cstdint>

#include "CUT_ImapParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 17;
    CUT_ImapParser parser(1 << 20);
    size_t given = 0, sunk = 0;
    if (data[0] & 0x80) parser.SetLiteralSink([&sunk](const char *, size_t size) { sunk += size; }, 8);
    for (size_t at = 1; at < size; at += piece) {
        const size_t length = at + piece <= size ? piece : size - at;
        given += length;
        const bool alive = parser.Feed(reinterpret_cast<const char *>(data) + at, length);
        ImapResponse response;
        while (parser.Next(&response)) {
            if (response.kind == ImapResponse::Tagged && (response.tag.empty() || response.status.empty()))
                __builtin_trap();
        }
        if (parser.Pending() > given || sunk > given || sunk != parser.Streamed()) __builtin_trap();
        if (!alive) break;
    }
    return 0;
}
