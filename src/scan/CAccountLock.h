// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of one account never act at once: the window's checks, a /b from
// cron and a --list each hold the account's lock (flock on a file beside
// its cache) for their whole conversation with the server. Whoever comes
// second waits up to kWaitSeconds and then gives up with a reason of its
// own; it never talks to the server meanwhile.
#pragma once

#include <atomic>
#include <string>

class CAccountLock {
public:
    // Longer than a warm check of a large mailbox takes, short enough
    // that a run from cron does not pile up behind a stuck one.
    static constexpr int kWaitSeconds = 30;

    enum Result {
        Held,         // ours until the object goes
        Busy,         // another run held it for the whole wait
        Stopped,      // the stop request came while waiting
        Unavailable,  // no lock file could be made (the run goes on without)
    };

    CAccountLock() = default;
    ~CAccountLock();
    CAccountLock(const CAccountLock &) = delete;
    CAccountLock &operator=(const CAccountLock &) = delete;

    // Takes the lock of the file at path, waiting up to seconds.
    Result Take(const std::string &path, int seconds, const std::atomic<bool> *stop);
    // The lock file of an account: beside its cache file.
    static std::string PathFor(const std::string &programName, const std::string &accountKey);

private:
    int m_fd = -1;
};
