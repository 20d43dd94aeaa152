// SPDX-License-Identifier: GPL-3.0-or-later
#include "Conversations.h"

#include <vector>

#include "CCredentials.h"
#include "CImapConversation.h"
#include "CPop3Conversation.h"
#include "CScanConfig.h"
#include "Translate.h"

std::unique_ptr<CMailboxConversation> OpenConversation(const CServerAddress &server,
                                                       CMailboxConversation::Options options) {
    if (server.protocol == CServerAddress::Imap) return std::make_unique<CImapConversation>(server, std::move(options));
    return std::make_unique<CPop3Conversation>(server, std::move(options));
}

bool LogOnAccount(CMailboxConversation &session, MailAccount account, std::string *problem,
                  const std::atomic<bool> *stop) {
    if (!CCredentials::Resolve(account, problem, stop)) return false;
    ResultCode opened = session.LogOn(account);
    // An access token of Pelloru's own sign-in that the server refuses may
    // have been withdrawn before its time: once more with a fresh one, on
    // a new connection.
    if (opened == RC_PASS_REFUSED && account.oauth && account.tokenCommand.empty() && !session.LostStep()) {
        session.Finish();
        if (!CCredentials::Resolve(account, problem, stop, account.token)) return false;
        opened = session.LogOn(account);
    }
    // Refused before any connection: the setting itself names nothing usable.
    if (opened == RC_NO_MECHANISM && !session.Connected()) {
        *problem = Fill(Tr("mailbox",
                           "Das Anmeldeverfahren \"%1\" (AUTH) ist unbekannt oder braucht ein "
                           "Zugriffstoken (TOKENCMD)"),
                        {account.mechanism});
        return false;
    }
    if (opened != RC_OK) *problem = session.Reason(opened);
    return opened == RC_OK;
}

bool TestConnection(const AccountConfig &account, std::string *report, std::string *untrusted) {
    CMailboxConversation::Options options;
    if (account.timeoutSeconds > 0) options.waitSeconds = account.timeoutSeconds;
    const std::unique_ptr<CMailboxConversation> session = OpenConversation(account.Server(), std::move(options));
    if (!LogOnAccount(*session, account.Credentials(), report, nullptr)) {
        if (untrusted != nullptr) *untrusted = session->UnverifiedCertificate();
        session->Finish();
        return false;
    }
    std::vector<CMailboxConversation::Entry> entries;
    const ResultCode listed = session->List(false, &entries);
    *report = session->LogOnReport() +
              (listed == RC_OK ? Fill(Tr("mailbox", "; %1 E-Mails im Postfach"), {std::to_string(entries.size())})
                               : std::string());
    session->Finish();
    return true;
}
