// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one scan on a thread of its own, so that the window stays
// responsive: the rows reach the row model as they arrive, title,
// progress and failures reach the window in its own thread, and a message
// box holds the scan until it is closed, as it always did. Stop() asks the
// scan to end after the message in hand.
#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CMailboxScan;
class CScanRowFeed;
class CScanRowModel;
class CScanWindow;
struct AccountConfig;

class CScanRunner : public QObject {
    Q_OBJECT
public:
    // window: called in this object's thread only.
    CScanRunner(CScanRowModel &model, CScanWindow &window, QObject *parent = nullptr);
    // A scan still running is stopped and waited for.
    ~CScanRunner() override;

    // Starts a scan of the account in mode (List, DeleteSelected,
    // SaveSelected); selected: the model's rows the command acts on,
    // ascending. False when one runs already.
    bool Start(const AccountConfig &account, const std::string &executableName, int mode,
               bool dryRun, std::vector<int> selected = {});
    bool Running() const { return m_thread.joinable(); }
    void Stop() { m_stop = true; }

signals:
    // In this object's thread, once the scan ended (CMailboxScan::Outcome).
    void Finished(int outcome, const QString &reason, bool stopped);

private:
    class WindowRelay;
    void Join();

    CScanRowModel &m_model;
    CScanWindow &m_window;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_abandon{false};
    std::unique_ptr<CScanRowFeed> m_feed;
    std::unique_ptr<WindowRelay> m_relay;
    std::unique_ptr<CMailboxScan> m_scan;
    std::thread m_thread;
};
