// SPDX-License-Identifier: GPL-3.0-or-later
// How the IMAP parser's time grows with the literals of one response, fed
// as a server's bytes arrive (pieces of 16 KiB): with the bytes, not with
// their square. One response of 1,000, 2,000 and 4,000 literals of 4 KiB
// each (about as many as 64 KiB of line outside them allow).
#include <chrono>
#include <cstdio>
#include <string>

#include "CUT_ImapParser.h"

int main() {
    for (int literals : {1000, 2000, 4000}) {
        std::string bytes = "* 1 FETCH (";
        const std::string body(4096, 'x');
        for (int i = 0; i < literals; ++i) bytes += "X" + std::to_string(i) + " {4096}\r\n" + body + " ";
        bytes += "UID 1)\r\n";
        const auto start = std::chrono::steady_clock::now();
        CUT_ImapParser parser(8192);
        ImapResponse response;
        int responses = 0;
        for (size_t at = 0; at < bytes.size(); at += 16384) {
            parser.Feed(bytes.data() + at, std::min<size_t>(16384, bytes.size() - at));
            while (parser.Next(&response)) ++responses;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%5d literals, %6.1f MB: %.3f s (%d response%s%s)\n", literals, bytes.size() / 1e6, seconds,
                    responses, responses == 1 ? "" : "s", parser.Broken() ? ", broken" : "");
    }
}
