// SPDX-License-Identifier: GPL-3.0-or-later
// How the window fares during a scan of the configured mailbox: a 10 ms
// timer measures how long the event loop ever stood still, and a second
// run is cancelled once a given share of the rows is there, measuring how
// long the cancelled scan took to end. Run it on Qt's offscreen platform
// (or any display) with the profile and working directory of the mailbox
// to scan (bench/run.sh sets them up with scan_bench --serve).
//
// window_bench [--cancel-at ROWS]
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CMainFrame.h"
#include "CPelloruView.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"

namespace {

struct Result {
    double seconds = 0;
    qint64 longestStallMs = 0;
    qint64 stallP99Ms = 0;
    int rows = 0;
    double cancelToEndSeconds = 0;
    int outcome = 0;
};

Result Scan(CMainFrame &frame, int cancelAt) {
    Result result;
    std::vector<qint64> gaps;
    QElapsedTimer clock, tick;
    QTimer ticker;
    tick.start();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        gaps.push_back(tick.restart());
    });
    CPelloruView *view = frame.View();
    QElapsedTimer sinceCancel;
    if (cancelAt > 0) {
        QObject::connect(view->Model(), &QAbstractItemModel::rowsInserted, &frame, [&, view] {
            if (!sinceCancel.isValid() && view->Model()->RowCount() >= cancelAt) {
                sinceCancel.start();
                view->OnCancel();
            }
        });
    }
    QSignalSpy done(view, &CPelloruView::ScanFinished);
    ticker.start(10);
    clock.start();
    view->OnCheck();
    done.wait(600000);
    result.seconds = clock.elapsed() / 1000.0;
    if (sinceCancel.isValid()) result.cancelToEndSeconds = sinceCancel.elapsed() / 1000.0;
    ticker.stop();
    result.rows = view->Model()->RowCount();
    result.outcome = done.isEmpty() ? -1 : done.first().at(0).toInt();
    std::sort(gaps.begin(), gaps.end());
    if (!gaps.empty()) {
        result.longestStallMs = gaps.back();
        result.stallP99Ms = gaps[gaps.size() * 99 / 100];
    }
    return result;
}

}  // namespace

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    int cancelAt = 1000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--cancel-at") == 0) cancelAt = std::atoi(argv[i + 1]);
    // A box would wait for a user: it is reported and closed.
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "box: %s: %s\n", qPrintable(box->text()), qPrintable(box->detailedText()));
            box->accept();
        }
    });
    boxes.start(100);
    CSettingsStore settings("pelloru");
    // Both scans whole: the second must not come from the first's cache.
    settings.Write(CScanConfig::kCache, "0");
    CMainFrame frame(settings, "pelloru");
    frame.View()->OnInitialUpdate();
    frame.show();
    const Result whole = Scan(frame, 0);
    std::printf("whole scan: %d rows in %.2f s; event loop stood still at most %lld ms "
                "(99th percentile of 10 ms ticks: %lld ms)\n",
                whole.rows, whole.seconds, static_cast<long long>(whole.longestStallMs),
                static_cast<long long>(whole.stallP99Ms));
    const Result cancelled = Scan(frame, cancelAt);
    std::printf("cancelled at %d rows: ended %.2f s after Abbrechen with %d rows (outcome %d); "
                "longest stand-still %lld ms\n",
                cancelAt, cancelled.cancelToEndSeconds, cancelled.rows, cancelled.outcome,
                static_cast<long long>(cancelled.longestStallMs));
    return whole.rows > 0 && cancelled.outcome >= 0 ? 0 : 1;
}
