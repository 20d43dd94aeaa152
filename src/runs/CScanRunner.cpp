// SPDX-License-Identifier: GPL-3.0-or-later
#include "CScanRunner.h"

#include <QMetaObject>
#include <QPointer>

#include <condition_variable>
#include <mutex>
#include <utility>

#include "CMailboxScan.h"
#include "CScanRowFeed.h"
#include "CScanRowModel.h"
#include "CScanConfig.h"
#include "CScanWindow.h"

// The window as the scan's thread sees it: each call is handed to the
// runner's thread. A box waits until the user closed it, unless the
// runner is going away.
class CScanRunner::WindowRelay : public CScanWindow {
public:
    explicit WindowRelay(CScanRunner &runner) : m_runner(runner) {}

    void RepaintList() override {}
    void SetTitle(const std::string &title) override {
        Due(m_titleAt, false);
        m_heldCount = {};
        Post([title](CScanWindow &window) { window.SetTitle(title); });
    }
    // The count changes with every message; the window hears of it as
    // often as the rows arrive, and always of the last.
    void Counted(long done, long total, const std::string &title) override {
        if (!Due(m_titleAt, true)) {
            m_heldCount = {done, total, title};
            return;
        }
        m_heldCount = {};
        Post([done, total, title](CScanWindow &window) { window.Counted(done, total, title); });
    }
    // The last count held back, at the end of the scan.
    void Finish() {
        if (!m_heldCount.title.empty())
            Post([held = m_heldCount](CScanWindow &window) { window.Counted(held.done, held.total, held.title); });
        m_heldCount = {};
        // And the last count, so that a scan stopped early says how far it got.
        if (m_heldProgress.first >= 0)
            Post([held = m_heldProgress](CScanWindow &window) { window.Progress(held.first, held.second); });
        m_heldProgress = {-1, -1};
    }
    void Progress(long done, long total) override {
        if (done < total && !Due(m_progressAt, true)) {
            m_heldProgress = {done, total};
            return;
        }
        m_heldProgress = {-1, -1};
        Post([done, total](CScanWindow &window) { window.Progress(done, total); });
    }
    void RowFailed(const std::string &text, const std::string &detail) override {
        Post([text, detail](CScanWindow &window) { window.RowFailed(text, detail); });
    }
    void Saved(const std::string &path) override {
        Post([path](CScanWindow &window) { window.Saved(path); });
    }
    void Notice(const std::string &text) override {
        Post([text](CScanWindow &window) { window.Notice(text); });
    }
    void ShowMessage(const std::string &text, const std::string &detail) override {
        // The rows so far are there when the box asks.
        m_runner.m_feed->Flush();
        struct Done {
            std::mutex mutex;
            std::condition_variable closed;
            bool done = false;
        };
        auto done = std::make_shared<Done>();
        Post([text, detail, done](CScanWindow &window) {
            window.ShowMessage(text, detail);
            std::lock_guard<std::mutex> lock(done->mutex);
            done->done = true;
            done->closed.notify_all();
        });
        std::unique_lock<std::mutex> lock(done->mutex);
        while (!done->done && !m_runner.m_abandon)
            done->closed.wait_for(lock, std::chrono::milliseconds(100));
    }

private:
    using Clock = std::chrono::steady_clock;
    static bool Due(Clock::time_point &last, bool often) {
        const Clock::time_point now = Clock::now();
        if (often && now - last < std::chrono::milliseconds(CScanRowFeed::kBatchMilliseconds))
            return false;
        last = now;
        return true;
    }

    template <typename Call> void Post(Call call) {
        CScanRunner *runner = &m_runner;
        QMetaObject::invokeMethod(
            runner, [runner, call] { call(runner->m_window); }, Qt::QueuedConnection);
    }

    CScanRunner &m_runner;
    Clock::time_point m_titleAt{}, m_progressAt{};
    struct HeldCount {
        long done = 0, total = 0;
        std::string title;  // empty: none held
    } m_heldCount;
    std::pair<long, long> m_heldProgress{-1, -1};
};

CScanRunner::CScanRunner(CScanRowModel &model, CScanWindow &window, QObject *parent)
    : QObject(parent), m_model(model), m_window(window) {}

CScanRunner::~CScanRunner() {
    m_abandon = true;
    m_stop = true;
    Join();
}

void CScanRunner::Join() {
    if (m_thread.joinable()) m_thread.join();
    m_scan.reset();
    m_relay.reset();
    m_feed.reset();
}

bool CScanRunner::Start(const AccountConfig &account, const std::string &executableName, int mode,
                        bool dryRun, std::vector<int> selected) {
    if (Running()) return false;
    m_stop = false;
    m_feed = std::make_unique<CScanRowFeed>(m_model, std::move(selected));
    m_relay = std::make_unique<WindowRelay>(*this);
    m_scan = std::make_unique<CMailboxScan>(*m_feed, *m_relay, account, executableName);
    m_scan->SetDryRun(dryRun);
    m_scan->SetStopRequest(&m_stop);
    m_thread = std::thread([this, mode] {
        m_scan->ScanMailbox(mode);
        m_feed->Flush();
        m_relay->Finish();
        const int outcome = m_scan->LastOutcome();
        const QString reason = QString::fromStdString(m_scan->LastReason());
        const bool stopped = m_stop.load();
        // Queued behind the scan's last rows: whoever hears of the end
        // sees them all.
        QMetaObject::invokeMethod(
            this,
            [this, outcome, reason, stopped] {
                Join();
                emit Finished(outcome, reason, stopped);
            },
            Qt::QueuedConnection);
    });
    return true;
}
