// SPDX-License-Identifier: GPL-3.0-or-later
#include "Translate.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<Translation> g_translation{nullptr};
}

const char *Tr(const char *context, const char *text) {
    const Translation translation = g_translation.load(std::memory_order_acquire);
    if (translation == nullptr || text == nullptr) return text;
    const char *translated = translation(context, text);
    return translated != nullptr ? translated : text;
}

std::string Fill(const std::string &pattern, std::initializer_list<std::string> arguments) {
    std::string out;
    out.reserve(pattern.size() + 32);
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9' && static_cast<size_t>(next - '1') < arguments.size()) {
                out += *(arguments.begin() + (next - '1'));
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void SetTranslation(Translation translation) { g_translation.store(translation, std::memory_order_release); }

bool EnglishWanted() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        return std::strncmp(value, "en", 2) == 0;
    }
    return false;
}
