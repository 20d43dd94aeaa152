// SPDX-License-Identifier: GPL-3.0-or-later
#include "CIdleWatch.h"

#include <chrono>

#include "CImapConversation.h"
#include "Conversations.h"
#include "Translate.h"

CIdleWatch::CIdleWatch(AccountConfig account, std::function<void()> onNewMail)
    : m_account(std::move(account)), m_onNewMail(std::move(onNewMail)) {}

CIdleWatch::~CIdleWatch() { Stop(); }

bool CIdleWatch::Watchable(const AccountConfig &account) {
    return account.Server().protocol == CServerAddress::Imap;
}

void CIdleWatch::Start() {
    if (m_thread.joinable()) return;
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void CIdleWatch::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

std::string CIdleWatch::Failure() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

void CIdleWatch::Run() {
    auto fail = [this](const std::string &why) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_stop) m_failure = why;
    };
    CMailboxConversation::Options options;
    if (m_account.timeoutSeconds > 0) options.waitSeconds = m_account.timeoutSeconds;
    options.stop = &m_stop;
    CImapConversation conversation(m_account.Server(), options);
    std::string problem;
    ResultCode result = RC_OK;
    if (!LogOnAccount(conversation, m_account.Credentials(), &problem, &m_stop)) {
        fail(problem);
    } else if ((result = conversation.Watch()) != RC_OK) {
        fail(conversation.Reason(result));
    } else if (!conversation.OffersIdle()) {
        fail(Tr("runs", "Der Server bietet kein IDLE an; das Konto wird nach der Zeit geprüft"));
    } else {
        while (!m_stop) {
            bool arrived = false;
            result = conversation.WaitForMail(kReissueSeconds, &arrived);
            if (result != RC_OK) {
                fail(conversation.Reason(result));
                break;
            }
            if (arrived && !m_stop) m_onNewMail();
        }
    }
    conversation.Finish();
    m_running = false;
}
