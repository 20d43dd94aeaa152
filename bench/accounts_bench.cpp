// SPDX-License-Identifier: GPL-3.0-or-later
// Checking several accounts at once: three private Dovecot mailboxes of
// COUNT messages each, each behind its own proxy that delays every
// direction by DELAY ms, configured as three accounts. The window's Check
// (offscreen) is timed for each account alone and for all three together;
// together should take no longer than the slowest alone plus 10 %.
//
// accounts_bench BENCHDIR [--count N] [--delay MS_EACH_WAY] [--rounds R]
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BatchMode.h"
#include "CAccountScans.h"
#include "CMainFrame.h"
#include "CMailboxScan.h"
#include "CPelloruView.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "DelayProxy.h"
#include "DovecotServer.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One Check of the accounts given (all when empty), in seconds.
double Check(CPelloruView &view, const std::vector<int> &accounts) {
    QSignalSpy done(&view.Scans(), &CAccountScans::Finished);
    QElapsedTimer clock;
    clock.start();
    if (!view.Scans().Start(List, false, {}, accounts)) return -1;
    done.wait(600000);
    return clock.elapsed() / 1000.0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: accounts_bench BENCHDIR [--count N] [--delay MS] [--rounds R]\n");
        return 64;
    }
    const std::string benchDir = std::filesystem::absolute(argv[1]).string();
    int count = 300, rounds = 3;
    double delayMs = 10.5;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) count = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--delay") == 0) delayMs = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[++i]);
    }
    const std::string why = DovecotServer::Unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "accounts_bench: %s\n", why.c_str());
        return 69;
    }
    QTemporaryDir home;
    ::setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    std::filesystem::current_path(home.path().toStdString());
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    BatchMode = 1;  // no boxes

    std::vector<std::unique_ptr<DovecotServer>> servers;
    std::vector<pid_t> proxies;
    CSettingsStore settings("pelloru");
    for (int k = 0; k < 3; ++k) {
        auto server = std::make_unique<DovecotServer>();
        std::string error;
        if (!server->Start(&error)) {
            std::fprintf(stderr, "accounts_bench: %s\n", error.c_str());
            return 1;
        }
        for (int n = 0; n < count; ++n)
            server->AddMessage("From: Sender " + std::to_string(n) + " <s" + std::to_string(n) +
                               "@example.org>\nSubject: Konto " + std::to_string(k) + " Nachricht " +
                               std::to_string(n) + "\nMessage-Id: <" + std::to_string(k) + "." +
                               std::to_string(n) + "@bench>\n\nText der Nachricht\nnoch eine Zeile\n");
        pid_t pid = 0;
        const int port = StartDelayProxy(benchDir, server->Port(), delayMs, false, &pid);
        proxies.push_back(pid);
        if (port == 0) return 1;
        AccountConfig account;
        account.section = k == 0 ? CScanConfig::kFirstSection : CScanConfig::kSectionPrefix + std::to_string(k + 1);
        account.name = "konto" + std::to_string(k + 1);
        account.host = "127.0.0.1:" + std::to_string(port);
        account.user = DovecotServer::kUser;
        account.storedPassword = CSettingsStore::ComplementPassword(DovecotServer::kPassword);
        account.cache = false;  // every round a whole scan
        CScanConfig::Store(settings, account);
        servers.push_back(std::move(server));
    }
    CMainFrame frame(settings, "pelloru");
    frame.View()->OnInitialUpdate();
    CPelloruView &view = *frame.View();
    std::vector<std::vector<double>> alone(3);
    std::vector<double> together;
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 3; ++k) alone[static_cast<size_t>(k)].push_back(Check(view, {k}));
        together.push_back(Check(view, {}));
    }
    double slowest = 0;
    for (int k = 0; k < 3; ++k) {
        const double median = Median(alone[static_cast<size_t>(k)]);
        slowest = std::max(slowest, median);
        std::printf("account %d alone: %.3f s (%d rows)\n", k + 1, median, view.Scans().AccountRows(k).RowCount());
    }
    const double all = Median(together);
    std::printf("all three together: %.3f s, %.0f %% of the slowest alone (target: at most 110 %%); "
                "%d rows; medians of %d rounds, %d messages each, %.1f ms each way\n",
                all, 100.0 * all / slowest, view.model()->rowCount(), rounds, count, delayMs);
    for (pid_t pid : proxies) ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0);
    return all <= slowest * 1.1 ? 0 : 2;
}
