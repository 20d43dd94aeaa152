// SPDX-License-Identifier: GPL-3.0-or-later
// The scan's conversation over POP3: one CUT_Pop3Session, with its
// pipelining window (TOPs asked ahead on a server that lists PIPELINING).
// Removals are marked with DELE and take effect with the QUIT of Finish.
#pragma once

#include <memory>

#include "CMailboxConversation.h"
#include "CServerAddress.h"

class CUT_Pop3Session;

class CPop3Conversation : public CMailboxConversation {
public:
    CPop3Conversation(CServerAddress server, Options options);
    ~CPop3Conversation() override;

    ResultCode LogOn(const MailAccount &account) override;
    ResultCode List(bool mayChange, std::vector<Entry> *entries) override;
    void PlanPreviews(std::vector<Entry> plan, int lines) override;
    void AskAhead(size_t next) override;
    int Owed() const override;
    ResultCode BeginPreview(const Entry &entry) override;
    int ReadPreviewLine(char *buffer, int size, int *stuffing) override;
    void EndPreview() override;
    ResultCode Retrieve(const Entry &entry, CUT_ByteSource &target, long *announced) override;
    ResultCode Remove(const Entry &entry, bool asMatch, Removal *how) override;
    ResultCode Finish() override;
    bool LostStep() const override;
    bool Connected() override;
    std::string Reason(ResultCode code) override;
    std::string LogOnReport() override;
    RowState RemovedState() const override { return RowState::Deleted; }
    std::string UnverifiedCertificate() const override;

private:
    CServerAddress m_server;
    Options m_options;
    std::unique_ptr<CUT_Pop3Session> m_session;
    std::vector<int> m_plan;  // message numbers, in the order of reading
    int m_lines = 0;
    size_t m_asked = 0;       // the first of the plan not asked for yet
    int m_batch = 1;          // this conversation's window: 1 unless the server pipelines
};
