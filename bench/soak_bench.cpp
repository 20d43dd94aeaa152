// SPDX-License-Identifier: GPL-3.0-or-later
// A window that checks all day: one private Dovecot mailbox of COUNT
// messages, configured twice (POP3 and imaps), so two accounts of COUNT
// messages each. The window (offscreen) checks both CHECKS times in a row
// and prints the resident memory after each check; the first check is
// cold, the others are warm (the cache in place). Then the same checks
// headless (pelloru --list, a process of its own) for the window's time to
// compare with. Last, the unattended case: a third account that fails (a
// closed port) beside the IMAP account watched for push, both checked on
// their own; a message delivered while the failure stands must show within
// seconds, without anyone clicking.
//
// soak_bench PELLORU [--count N] [--checks K]
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CAccountScans.h"
#include "CMainFrame.h"
#include "CPelloruView.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "DovecotServer.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

namespace {

// Resident memory of the process's own (anonymous) pages, in MiB: what
// mapped files add can be dropped by the system at any time.
double ResidentMiB(const char *field = "RssAnon:") {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == field) {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
    return 0;
}

double Check(CPelloruView &view) {
    QSignalSpy done(&view, &CPelloruView::ScanFinished);
    QElapsedTimer clock;
    clock.start();
    view.OnCheck();
    done.wait(600000);
    return clock.elapsed() / 1000.0;
}

double Headless(const char *pelloru) {
    QElapsedTimer clock;
    clock.start();
    QProcess run;
    run.start(pelloru, {"--list"});
    run.waitForFinished(600000);
    return clock.elapsed() / 1000.0;
}

std::string Message(int n) {
    return "From: Absender " + std::to_string(n) + " <a" + std::to_string(n % 97) +
           "@example.org>\nSubject: =?UTF-8?B?R3LDvMOfZQ==?= Nummer " + std::to_string(n) +
           "\nMessage-Id: <" + std::to_string(n) + "@soak>\nDate: Mon, 7 Dec 2026 10:00:00 +0100\n\n"
           "Guten Tag,\nhier ist die Nachricht " + std::to_string(n) + ".\nMit Gruessen\n";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak_bench PELLORU [--count N] [--checks K]\n");
        return 64;
    }
    const char *pelloru = argv[1];
    int count = 10000, checks = 30;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) count = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--checks") == 0) checks = std::atoi(argv[++i]);
    }
    const std::string why = DovecotServer::ImapUnavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "soak_bench: %s\n", why.c_str());
        return 69;
    }
    QTemporaryDir home;
    ::setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    ::setenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8().constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::filesystem::current_path(home.path().toStdString());
    QApplication application(argc, argv);

    TestCertificates certificates;
    DovecotServer server;
    server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    server.EnableImap();
    std::string error;
    if (!certificates.Ok() || !server.Start(&error)) {
        std::fprintf(stderr, "soak_bench: %s%s\n", certificates.Error().c_str(), error.c_str());
        return 1;
    }
    for (int n = 1; n <= count; ++n) server.AddMessage(Message(n));

    CSettingsStore settings("pelloru");
    AccountConfig pop3, imap;
    pop3.section = CScanConfig::kFirstSection;
    pop3.name = "pop3";
    pop3.host = "127.0.0.1:" + std::to_string(server.Port());
    imap.section = CScanConfig::kSectionPrefix + std::string("2");
    imap.name = "imaps";
    imap.host = "imaps://127.0.0.1:" + std::to_string(server.ImapsPort());
    imap.caFile = certificates.CaFile();
    for (AccountConfig *account : {&pop3, &imap}) {
        account->user = DovecotServer::kUser;
        account->storedPassword = CSettingsStore::ComplementPassword(DovecotServer::kPassword);
        account->notify = false;
        CScanConfig::Store(settings, *account);
    }

    double first = 0, warm = 0, tenth = 0, last = 0;
    {
        CMainFrame frame(settings, "pelloru");
        frame.View()->OnInitialUpdate();
        frame.show();
        std::printf("before the first check: %.1f MiB\n", ResidentMiB());
        std::vector<double> warmTimes;
        for (int check = 1; check <= checks; ++check) {
            const double seconds = Check(*frame.View());
            const double resident = ResidentMiB();
            if (check == 1) first = seconds;
            else warmTimes.push_back(seconds);
            if (check == 10) tenth = resident;
            last = resident;
            std::printf("check %2d: %.2f s, %d rows, %.1f MiB resident (and %.1f MiB of mapped files)\n", check,
                        seconds, frame.View()->model()->rowCount(), resident, ResidentMiB("RssFile:"));
            std::fflush(stdout);
        }
        std::sort(warmTimes.begin(), warmTimes.end());
        warm = warmTimes.empty() ? 0 : warmTimes[warmTimes.size() / 2];
    }
    if (checks >= 10)
        std::printf("memory after check %d against check 10: %+.1f %% (target: within 5 %%)\n", checks,
                    100.0 * (last - tenth) / tenth);

    // The same checks headless, cold (no cache) and warm.
    std::filesystem::remove_all(home.path().toStdString() + "/cache");
    const double headlessFirst = Headless(pelloru);
    std::vector<double> headlessWarm;
    for (int i = 0; i < 5; ++i) headlessWarm.push_back(Headless(pelloru));
    std::sort(headlessWarm.begin(), headlessWarm.end());
    std::printf("window against headless: first check %.2f s / %.2f s (%.2fx), warm %.2f s / %.2f s (%.2fx); "
                "target at most 1.5x\n",
                first, headlessFirst, first / headlessFirst, warm, headlessWarm[2], warm / headlessWarm[2]);

    // Unattended: one account failing, the other receiving mail by push.
    AccountConfig broken;
    broken.section = CScanConfig::kSectionPrefix + std::string("3");
    broken.name = "kaputt";
    broken.host = "127.0.0.1:" + std::to_string(FindClosedPort());
    broken.user = "u";
    broken.storedPassword = CSettingsStore::ComplementPassword("p");
    for (AccountConfig *account : {&imap, &broken}) {
        account->intervalMinutes = 1;
        CScanConfig::Store(settings, *account);
    }
    CScanConfig::Remove(settings, pop3);
    CMainFrame frame(settings, "pelloru");
    frame.View()->OnInitialUpdate();
    frame.show();
    frame.ApplySettings();
    Check(*frame.View());
    const int before = frame.View()->model()->rowCount();
    QElapsedTimer clock;
    clock.start();
    int added = 0;
    // (Mail goes on arriving until one is seen: the watch may not idle yet.)
    while (frame.View()->model()->rowCount() <= before && clock.elapsed() < 60000) {
        if (clock.elapsed() >= added * 2000) server.AddMessage(Message(count + ++added));
        QSignalSpy done(frame.View(), &CPelloruView::ScanFinished);
        done.wait(500);
    }
    const bool shown = frame.View()->model()->rowCount() > before;
    std::printf("push while another account fails: %s after %.2f s (%d message(s) delivered); "
                "status bar: %s\n",
                shown ? "new row shown" : "NOT shown", clock.elapsed() / 1000.0, added,
                qPrintable(frame.MessagePane()->text()));
    return shown ? 0 : 2;
}
