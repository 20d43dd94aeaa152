// SPDX-License-Identifier: GPL-3.0-or-later
// Mailbox names as IMAP writes them (RFC 3501 section 5.1.3, "modified
// UTF-7"): printable ASCII stands for itself, '&' is "&-", and every other
// run of characters is its UTF-16 in base64 (with ',' for '/') between '&'
// and '-'. The settings hold the name as the user typed it, in UTF-8.
#pragma once

#include <string>

// The name for the wire; false for text that is no well-formed UTF-8. A
// name of printable ASCII goes as it is (one typed in its wire form, such
// as "Spam-&AMQ-rger", keeps working).
bool EncodeMailboxName(const std::string &utf8, std::string *wire);
// The name as people read it; false for a wire form that is not well formed.
bool DecodeMailboxName(const std::string &wire, std::string *utf8);
