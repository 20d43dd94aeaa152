// SPDX-License-Identifier: GPL-3.0-or-later
#include "WildcardMatch.h"

int WildcardMatch(const char *text, const char *pattern, char many, char one) {
    if (text == nullptr || pattern == nullptr || *text == '\0' || *pattern == '\0') return 0;
    // Iterative matching with one back-track point: the most recent `many`
    // and the text position it currently swallows up to. Going back to an
    // earlier `many` is never needed, which keeps the work bounded.
    const char *t = text;
    const char *p = pattern;
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*t != '\0') {
        if (*p == many) {
            star = p++;
            resume = t;
        } else if (*p != '\0' && (*p == one || *p == *t)) {
            ++p;
            ++t;
        } else if (star != nullptr) {
            p = star + 1;
            t = ++resume;
        } else {
            return 0;
        }
    }
    while (*p == many) ++p;
    return *p == '\0' ? 1 : 0;
}
