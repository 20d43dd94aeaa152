// SPDX-License-Identifier: GPL-3.0-or-later
// Push for one IMAP account: a connection of its own idles on the inbox
// (IDLE, RFC 2177, read-only) and calls back as soon as the server reports
// new mail, so that a scan follows within seconds instead of at the next
// tick of the timer. IDLE is issued anew every 25 minutes (servers drop an
// idle connection after 30). On any failure the watch ends and says so:
// the account's timer carries on alone.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "CScanConfig.h"

class CIdleWatch {
public:
    static constexpr int kReissueSeconds = 25 * 60;

    // onNewMail runs on the watch's thread.
    CIdleWatch(AccountConfig account, std::function<void()> onNewMail);
    ~CIdleWatch();
    CIdleWatch(const CIdleWatch &) = delete;
    CIdleWatch &operator=(const CIdleWatch &) = delete;

    // Starts the thread; it logs on, opens the inbox and idles.
    void Start();
    // Ends the wait and the connection (DONE, LOGOUT) and joins the thread.
    void Stop();
    // Whether the watch still idles or is getting there.
    bool Running() const { return m_running.load(); }
    // Why it ended; empty while it runs or after Stop.
    std::string Failure() const;
    // Whether the account can be watched at all: IMAP.
    static bool Watchable(const AccountConfig &account);

private:
    void Run();

    AccountConfig m_account;
    std::function<void()> m_onNewMail;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    std::string m_failure;
};
