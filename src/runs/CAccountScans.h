// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of every account in one table, and the scans that fill them:
// one row model per account, shown one after the other (the column
// "Konto" says whose a row is), and one scan thread per account, at most
// kAtOnce at a time, so that a slow server does not hold up the others.
// A failing account says why and the others go on; Stop() stops them all.
//
// The window hears of all accounts through one CScanWindow: with more than
// one account, boxes and failures name the account, and title and progress
// count each account and all together.
#pragma once

#include <QConcatenateTablesProxyModel>
#include <QObject>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CScanConfig.h"

class CScanRowModel;
class CScanRunner;
class CScanWindow;

class CAccountScans : public QObject {
    Q_OBJECT
public:
    static constexpr int kAtOnce = 4;

    CAccountScans(CScanWindow &window, std::string executableName, QObject *parent = nullptr);
    // Scans still running are stopped and waited for.
    ~CAccountScans() override;

    // The accounts to show and scan. The rows of an account that stays
    // (same section) stay; call while nothing runs.
    void SetAccounts(const std::vector<AccountConfig> &accounts);
    int AccountCount() const { return static_cast<int>(m_accounts.size()); }
    const AccountConfig &Account(int account) const;
    CScanRowModel &AccountRows(int account) const;
    // All accounts' rows, one after the other; 7 columns, the last "Konto".
    QAbstractItemModel *Rows() { return &m_all; }
    // Which account, and which of its rows, a row of Rows() is; (-1, -1)
    // when none.
    std::pair<int, int> Locate(int row) const;

    // Starts mode on the accounts given (all when empty); selected: per
    // account, the rows a command acts on (accounts without any are left
    // out of DeleteSelected and SaveSelected). False when scans run.
    bool Start(int mode, bool dryRun, const std::map<int, std::vector<int>> &selected = {},
               std::vector<int> accounts = {});
    bool Running() const { return m_running > 0 || !m_waiting.empty(); }
    void Stop();
    // How the account's last scan ended (CMailboxScan::Outcome).
    int LastOutcome(int account) const;
    // Why it failed, as its box said; empty when it did not.
    const std::string &Problem(int account) const;


signals:
    // Once every account of the run ended: the outcome that matters most
    // (as the exit statuses rank them), whether it was stopped.
    void Finished(int outcome, bool stopped);

private:
    class AccountWindow;
    struct AccountRun;
    void StartNext();
    void OnAccountFinished(int account, int outcome, bool stopped);
    void ShowProgress();

    CScanWindow &m_window;
    std::string m_executableName;
    QConcatenateTablesProxyModel m_all;
    std::vector<std::unique_ptr<AccountRun>> m_accounts;
    std::vector<int> m_waiting;
    std::map<int, std::vector<int>> m_selected;
    int m_mode = 0;
    bool m_dryRun = false;
    int m_running = 0;
    bool m_stopped = false;
    int m_worst = 0;
};
