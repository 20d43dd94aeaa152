// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAccountScans.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "CHeadlessRun.h"
#include "CMailboxScan.h"
#include "CScanRowModel.h"
#include "CScanRunner.h"
#include "CScanWindow.h"
#include "Translate.h"

// What one account's scan says to the window, in the window's thread.
class CAccountScans::AccountWindow : public CScanWindow {
public:
    AccountWindow(CAccountScans &owner, int account) : m_owner(owner), m_account(account) {}

    void SetTitle(const std::string &title) override {
        if (!Several()) return m_owner.m_window.SetTitle(title);
        // The other titles name the account.
        const std::string prefix = m_owner.m_executableName + " - ";
        m_owner.m_window.SetTitle(prefix + Name() + ": " +
                                  (title.rfind(prefix, 0) == 0 ? title.substr(prefix.size()) : title));
    }
    void RepaintList() override { m_owner.m_window.RepaintList(); }
    void ShowMessage(const std::string &text, const std::string &detail) override;
    void Progress(long done, long total) override;
    // With several accounts the title counts them all (and each).
    void Counted(long done, long total, const std::string &title) override {
        if (!Several()) return m_owner.m_window.Counted(done, total, title);
        Progress(done, total);
    }
    void RowFailed(const std::string &text, const std::string &detail) override {
        m_owner.m_window.RowFailed(text, Several() ? Whose(detail) : detail);
    }
    void Saved(const std::string &path) override { m_owner.m_window.Saved(path); }
    void Notice(const std::string &text) override { m_owner.m_window.Notice(Several() ? Whose(text) : text); }

private:
    bool Several() const { return m_owner.AccountCount() > 1; }
    std::string Name() const { return m_owner.Account(m_account).DisplayName(); }
    std::string Whose(const std::string &text) const { return Fill(Tr("runs", "Konto \"%1\": %2"), {Name(), text}); }

    CAccountScans &m_owner;
    int m_account;
};

struct CAccountScans::AccountRun {
    AccountConfig config;
    std::unique_ptr<CScanRowModel> rows;
    std::unique_ptr<AccountWindow> window;
    std::unique_ptr<CScanRunner> runner;
    int outcome = CMailboxScan::NotRun;
    std::string problem;  // why its last scan failed, as the box says it
    long done = 0, total = 0;
};

void CAccountScans::AccountWindow::ShowMessage(const std::string &text, const std::string &detail) {
    if (!detail.empty()) m_owner.m_accounts[static_cast<size_t>(m_account)]->problem = detail;
    if (!Several()) return m_owner.m_window.ShowMessage(text, detail);
    // An empty mailbox among several is no news worth a box.
    if (detail.empty()) return;
    // Whose failure it is shows in the box's text, not only in its details.
    m_owner.m_window.ShowMessage(Whose(text), Whose(detail));
}

void CAccountScans::AccountWindow::Progress(long done, long total) {
    AccountRun &account = *m_owner.m_accounts[static_cast<size_t>(m_account)];
    account.done = done;
    account.total = total;
    if (!Several()) return m_owner.m_window.Progress(done, total);
    m_owner.ShowProgress();
}

CAccountScans::CAccountScans(CScanWindow &window, std::string executableName, QObject *parent)
    : QObject(parent), m_window(window), m_executableName(std::move(executableName)) {
#ifdef __GLIBC__
    // The scans' threads share one heap with the window. With an arena of
    // their own each, what a check freed stayed with its thread's arena:
    // a window checking two accounts of 10,000 messages every minute grew
    // from 19 to 40-75 MiB and back at random; with one it stays at the
    // size of its rows (bench/soak_bench), and a check is as fast.
    ::mallopt(M_ARENA_MAX, 1);
#endif
}

CAccountScans::~CAccountScans() {
    // Each runner stops and waits for its scan before the rows go.
    for (auto &account : m_accounts) account->runner.reset();
}

void CAccountScans::SetAccounts(const std::vector<AccountConfig> &accounts) {
    if (Running()) return;
    // The same accounts: only what they are called may have changed.
    bool same = accounts.size() == m_accounts.size();
    for (size_t i = 0; same && i < accounts.size(); ++i) same = accounts[i].section == m_accounts[i]->config.section;
    if (same) {
        for (size_t i = 0; i < accounts.size(); ++i) {
            m_accounts[i]->config = accounts[i];
            m_accounts[i]->rows->SetAccountName(accounts[i].DisplayName());
        }
        return;
    }
    std::vector<std::unique_ptr<AccountRun>> kept;
    for (const AccountConfig &config : accounts) {
        std::unique_ptr<AccountRun> account;
        for (auto &old : m_accounts)
            if (old != nullptr && old->config.section == config.section) account = std::move(old);
        if (account == nullptr) {
            account = std::make_unique<AccountRun>();
            account->rows = std::make_unique<CScanRowModel>();
        }
        account->config = config;
        account->rows->SetAccountName(config.DisplayName());
        kept.push_back(std::move(account));
    }
    for (const QAbstractItemModel *model : m_all.sourceModels())
        m_all.removeSourceModel(const_cast<QAbstractItemModel *>(model));
    for (auto &old : m_accounts)
        if (old != nullptr) old->runner.reset();
    m_accounts = std::move(kept);
    for (size_t i = 0; i < m_accounts.size(); ++i) {
        AccountRun &account = *m_accounts[i];
        account.window = std::make_unique<AccountWindow>(*this, static_cast<int>(i));
        account.runner = std::make_unique<CScanRunner>(*account.rows, *account.window);
        const int index = static_cast<int>(i);
        connect(account.runner.get(), &CScanRunner::Finished, this,
                [this, index](int outcome, const QString &, bool stopped) {
                    OnAccountFinished(index, outcome, stopped);
                });
        m_all.addSourceModel(account.rows.get());
    }
}

const AccountConfig &CAccountScans::Account(int account) const {
    return m_accounts[static_cast<size_t>(account)]->config;
}

CScanRowModel &CAccountScans::AccountRows(int account) const {
    return *m_accounts[static_cast<size_t>(account)]->rows;
}

int CAccountScans::LastOutcome(int account) const { return m_accounts[static_cast<size_t>(account)]->outcome; }

const std::string &CAccountScans::Problem(int account) const {
    return m_accounts[static_cast<size_t>(account)]->problem;
}

std::pair<int, int> CAccountScans::Locate(int row) const {
    for (size_t i = 0; i < m_accounts.size(); ++i) {
        const int count = m_accounts[i]->rows->RowCount();
        if (row < count) return {row < 0 ? -1 : static_cast<int>(i), row};
        row -= count;
    }
    return {-1, -1};
}

bool CAccountScans::Start(int mode, bool dryRun, const std::map<int, std::vector<int>> &selected,
                          std::vector<int> accounts) {
    if (Running() || m_accounts.empty()) return false;
    if (accounts.empty())
        for (int i = 0; i < AccountCount(); ++i) accounts.push_back(i);
    m_waiting.clear();
    for (int account : accounts) {
        if (account < 0 || account >= AccountCount()) continue;
        if (mode != List && selected.find(account) == selected.end()) continue;
        m_waiting.push_back(account);
        m_accounts[static_cast<size_t>(account)]->done = 0;
        m_accounts[static_cast<size_t>(account)]->total = 0;
        m_accounts[static_cast<size_t>(account)]->problem.clear();
    }
    if (m_waiting.empty()) return false;
    m_mode = mode;
    m_dryRun = dryRun;
    m_selected = selected;
    m_stopped = false;
    m_worst = CMailboxScan::NotRun;
    for (int i = 0; i < kAtOnce && !m_waiting.empty(); ++i) StartNext();
    return true;
}

void CAccountScans::StartNext() {
    const int index = m_waiting.front();
    m_waiting.erase(m_waiting.begin());
    AccountRun &account = *m_accounts[static_cast<size_t>(index)];
    const auto chosen = m_selected.find(index);
    if (account.runner->Start(account.config, m_executableName, m_mode, m_dryRun,
                              chosen != m_selected.end() ? chosen->second : std::vector<int>()))
        ++m_running;
}

void CAccountScans::Stop() {
    m_stopped = m_stopped || Running();
    m_waiting.clear();
    for (auto &account : m_accounts) account->runner->Stop();
}

void CAccountScans::OnAccountFinished(int account, int outcome, bool stopped) {
    m_accounts[static_cast<size_t>(account)]->outcome = outcome;
    m_stopped = m_stopped || stopped;
    m_worst = GraverOutcome(static_cast<ScanOutcome>(m_worst), static_cast<ScanOutcome>(outcome));
    --m_running;
    if (!m_waiting.empty() && !m_stopped) StartNext();
    if (m_running == 0 && m_waiting.empty()) {
#ifdef __GLIBC__
        // What the scans' threads freed goes back to the system: a window
        // that checks every minute all day stays at the size of its rows.
        ::malloc_trim(0);
#endif
        emit Finished(m_worst, m_stopped);
    }
}

void CAccountScans::ShowProgress() {
    long done = 0, total = 0;
    std::string each;
    for (const auto &account : m_accounts) {
        if (account->total == 0) continue;
        done += account->done;
        total += account->total;
        each += (each.empty() ? "" : ", ") + account->config.DisplayName() + " " +
                std::to_string(account->done) + "/" + std::to_string(account->total);
    }
    m_window.Progress(done, total);
    m_window.SetTitle(m_executableName + " - " +
                      Fill(Tr("runs", "%1 von %2 E-Mails (%3)"), {std::to_string(done), std::to_string(total), each}));
}
