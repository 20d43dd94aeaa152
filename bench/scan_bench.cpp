// Scan benchmark: a private Dovecot mailbox of generated messages (plain,
// MIME, encoded words), a 500-line pattern file that matches nothing, one
// List scan. Prints messages per second, peak memory, and the same figures
// for a bare Python poplib loop doing the same POP3 commands.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CScanList.h"
#include "CScanWindow.h"
#include "CSettingsStore.h"
#include "DisplayText.h"
#include "DovecotServer.h"

namespace {

// Keeps no rows, so that the figures are those of the scan and not of the
// list; it converts every cell for display as a view does.
class CountingList : public CScanList {
public:
    void DeleteAllRows() override { rows = 0; }
    void InsertRow(int, const std::string &text, const std::string &charset) override {
        ++rows;
        bytes += DisplayText(text, charset.c_str()).size();
    }
    void SetCellText(int, int, const std::string &text, const std::string &charset) override {
        bytes += DisplayText(text, charset.c_str()).size();
    }
    std::string CellText(int, int) const override { return {}; }
    std::vector<int> SelectedRows() const override { return {}; }
    void SetRowKey(int, const std::string &) override {}
    std::string RowKey(int) const override { return {}; }
    long rows = 0;
    long bytes = 0;
};

class QuietWindow : public CScanWindow {
public:
    void SetTitle(const std::string &) override {}
    void RepaintList() override {}
    void ShowMessage(const std::string &text) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
};

std::string Message(int n, std::mt19937 &random) {
    std::string id = "<gen." + std::to_string(n) + "." + std::to_string(random()) + "@bench.example>";
    std::string text = "Return-Path: <sender" + std::to_string(n % 97) + "@example.org>\n"
                       "Received: from mx" + std::to_string(n % 7) + ".example.org (mx.example.org [192.0.2.1])\n"
                       "\tby pop.example.net with ESMTPS id " + std::to_string(random()) + "\n"
                       "\tfor <pelloru@example.net>; Mon, 7 Dec 2026 10:00:00 +0100\n"
                       "Message-ID: " + id + "\n"
                       "Date: Mon, 7 Dec 2026 10:00:00 +0100\n"
                       "To: pelloru@example.net\n";
    int kind = n % 3;
    if (kind == 0) {
        text += "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) + "@example.org>\n"
                "Subject: Plain message number " + std::to_string(n) + "\n\n";
    } else if (kind == 1) {
        text += "From: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <j" + std::to_string(n) + "@example.de>\n"
                "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?= =?UTF-8?Q?Nr=2E_" + std::to_string(n) + "?=\n"
                "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
                "Content-Transfer-Encoding: quoted-printable\n\n";
    } else {
        text += "From: \"Newsletter\" <news@shop.example>\n"
                "Subject: Angebote der Woche " + std::to_string(n) + "\n"
                "MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"b" + std::to_string(n) + "\"\n\n"
                "--b" + std::to_string(n) + "\nContent-Type: text/plain; charset=utf-8\n\n";
    }
    int lines = 10 + static_cast<int>(random() % 60);
    for (int i = 0; i < lines; ++i)
        text += "Zeile " + std::to_string(i) + " des Textes mit etwas Inhalt, wie ihn Mail so hat.\n";
    if (kind == 2) text += "--b" + std::to_string(n) + "--\n";
    return text;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char **argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::string here = std::filesystem::absolute(argc > 2 ? argv[2] : "bench").string();
    DovecotServer server;
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "cannot start dovecot: %s\n", error.c_str());
        return 1;
    }
    std::mt19937 random(42);
    for (int n = 1; n <= count; ++n) server.AddMessage(Message(n, random));

    char pattern[] = "/tmp/pelloru-bench-XXXXXX";
    const std::string work = ::mkdtemp(pattern);
    std::filesystem::current_path(work);
    {
        std::ofstream patterns("loesche_direkt.txt");
        for (int i = 0; i < 500; ++i)
            patterns << "Subject:*kein-treffer-" << i << "*" << (i % 2 ? "?x" : "") << "\n";
    }
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    CSettingsStore settings("pelloru");
    settings.Write("HOST", "127.0.0.1:" + std::to_string(server.Port()));
    settings.Write("USER", DovecotServer::kUser);
    settings.Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));

    // The reference first, so that both read a mailbox the server has
    // already indexed once; then the scan twice, the faster counting.
    const std::string command = "python3 " + here + "/pop3_reference.py 127.0.0.1 " +
                                std::to_string(server.Port()) + " " + DovecotServer::kUser + " " +
                                DovecotServer::kPassword;
    double reference = 1e9;
    for (int round = 0; round < 2; ++round) {
        FILE *pipe = ::popen(command.c_str(), "r");
        double seconds = 0;
        int listed = 0;
        if (pipe == nullptr || std::fscanf(pipe, "%lf %d", &seconds, &listed) != 2) {
            std::fprintf(stderr, "the reference loop failed\n");
            return 1;
        }
        ::pclose(pipe);
        if (seconds < reference) reference = seconds;
    }

    BatchMode = 1;
    double best = 1e9;
    long rows = 0;
    for (int round = 0; round < 2; ++round) {
        CountingList list;
        QuietWindow window;
        auto start = std::chrono::steady_clock::now();
        CMailboxScan(list, window, settings, "pelloru").ScanMailbox(List);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best) best = seconds;
        rows = list.rows;
    }
    std::printf("messages: %d (rows %ld)\n", count, rows);
    std::printf("scan:      %.3f s, %.0f messages/s, peak memory %ld KiB\n", best, count / best,
                PeakKilobytes());
    std::printf("reference: %.3f s, %.0f messages/s (python poplib)\n", reference,
                count / reference);
    std::printf("ratio scan/reference: %.2f\n", best / reference);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(work);
    return rows == count ? 0 : 1;
}
