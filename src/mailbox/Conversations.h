// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a conversation with an account's server, whatever protocol it
// speaks, and logging on: what the scan, the IDLE watch and "Verbindung
// testen" share.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "CMailboxConversation.h"

struct AccountConfig;

// The conversation the server's protocol needs (not yet connected).
std::unique_ptr<CMailboxConversation> OpenConversation(const CServerAddress &server,
                                                       CMailboxConversation::Options options);
// Logs on with the account's password or token, resolved anew (a token
// expires); false with the reason.
bool LogOnAccount(CMailboxConversation &session, MailAccount account, std::string *problem,
                  const std::atomic<bool> *stop);
// "Verbindung testen": logs on and off again, asking only how many
// messages wait; true with the mechanism, the TLS version and the count,
// else false with the reason.
// untrusted: the fingerprint of a certificate that did not verify (and
// was not refused as another than the pinned one), to offer trusting it.
bool TestConnection(const AccountConfig &account, std::string *report, std::string *untrusted = nullptr);
