// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "Translate.h"

// Each argument lands where its number stands, once: a translation may
// reorder them, and an argument that itself holds "%1" (a server's reply)
// stays as it came.
TEST(Translate, FillPutsEachArgumentWhereItsNumberStands) {
    const struct {
        const char *pattern;
        std::initializer_list<std::string> arguments;
        const char *expected;
    } cases[] = {
        {"%1 von %2 E-Mails", {"3", "5"}, "3 von 5 E-Mails"},
        {"%2: %1", {"a", "b"}, "b: a"},
        {"%1%1", {"x"}, "xx"},
        {"100%% %1", {"sicher"}, "100% sicher"},
        {"%1 und %3", {"a", "b"}, "a und %3"},
        {"Antwort %1", {"%2 %1"}, "Antwort %2 %1"},
        {"am Ende %", {"a"}, "am Ende %"},
        {"%0 %a", {"a"}, "%0 %a"},
        {"", {"a"}, ""},
    };
    for (const auto &each : cases) EXPECT_EQ(Fill(each.pattern, each.arguments), each.expected) << each.pattern;
}

// Without a translation, or where it has none for a text, Tr gives the
// source text itself.
TEST(Translate, TrFallsBackToTheSourceText) {
    const char *text = "Konto";
    EXPECT_EQ(Tr("test", text), text);
    SetTranslation([](const char *, const char *source) -> const char * {
        return std::strcmp(source, "Konto") == 0 ? "Account" : nullptr;
    });
    EXPECT_STREQ(Tr("test", text), "Account");
    EXPECT_STREQ(Tr("test", "Zeile"), "Zeile");
    SetTranslation(nullptr);
    EXPECT_EQ(Tr("test", text), text);
}
