// SPDX-License-Identifier: GPL-3.0-or-later
// HTML to the text a reader sees, through a real HTML5 parser (Gumbo, as
// browsers parse): no tags, nothing of style, script or head, entities
// decoded, block elements and <br> as line breaks, runs of blanks as one.
#pragma once

#include <string>

class CUT_HtmlText {
public:
    // html: UTF-8 (the caller converts from the part's charset first).
    static std::string ToText(const std::string &html);
};
