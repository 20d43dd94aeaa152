// SPDX-License-Identifier: GPL-3.0-or-later
// The preview of a message as a mail reader would start to show it, built
// from its header and the first lines of its body (all a TOP brings): the
// first text part (in multipart/alternative text/plain before text/html;
// in mixed and related parts the first text part that is no attachment;
// nested multiparts and attached messages looked into), also when the
// lines end inside that part, its transfer encoding undone, converted from
// its charset to UTF-8, HTML turned into text. A uuencoded message shows
// its text before the first "begin" line. The result is plain UTF-8 with
// "\n" line breaks, at most kMaxCharacters characters; when the lines hold
// no text at all, a short note in brackets names the attachments.
#pragma once

#include <cstddef>
#include <string>

class CUT_MessagePreview {
public:
    static constexpr size_t kMaxCharacters = 2000;

    static std::string Build(const std::string &message);
};
