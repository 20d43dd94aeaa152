// SPDX-License-Identifier: GPL-3.0-or-later
// Mailbox names go to the server in IMAP's modified UTF-7 and come back
// as they were typed; what is not well formed on either side is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MailboxName.h"

TEST(MailboxName, NamesGoInImapsOwnFormAndComeBack) {
    struct Case {
        std::string typed, wire;
    };
    const std::vector<Case> cases = {
        {"Junk", "Junk"},
        {"INBOX/Spam", "INBOX/Spam"},
        {"Spam-Ärger", "Spam-&AMQ-rger"},
        {"Tom & Jerry ä", "Tom &- Jerry &AOQ-"},
        {"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"Ordner 📧", "Ordner &2D3c5w-"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        std::string wire, back;
        ASSERT_TRUE(EncodeMailboxName(c.typed, &wire));
        EXPECT_EQ(wire, c.wire);
        ASSERT_TRUE(DecodeMailboxName(c.wire, &back));
        EXPECT_EQ(back, c.typed);
    }
    // Typed in its wire form already: it goes as it is.
    std::string wire;
    EXPECT_TRUE(EncodeMailboxName("Spam-&AMQ-rger", &wire));
    EXPECT_EQ(wire, "Spam-&AMQ-rger");
    // Not UTF-8; not modified UTF-7 (unclosed, a printable character
    // shifted, a lone surrogate, bits left over).
    EXPECT_FALSE(EncodeMailboxName("Spam-\xC4rger", &wire));
    std::string name;
    for (const char *bad : {"Spam-&AMQ", "&AEE-", "&2D0-", "&AMQA-", "Tab\there"})
        EXPECT_FALSE(DecodeMailboxName(bad, &name)) << bad;
}
