// SPDX-License-Identifier: GPL-3.0-or-later
// Scan benchmark: a private Dovecot mailbox of generated messages (plain,
// MIME, encoded words), a 500-line pattern file that matches nothing, and
// `pelloru --list` run as a whole process, alternated with a bare Python
// poplib loop doing the same POP3 commands one by one and a pipelined
// Python loop of our own (window 50). Optionally behind a proxy that
// delays each direction, over pop3s:// or pop3+stls://, or with PIPELINING
// taken out of the server's capabilities. Over imaps:// or imap:// beside
// a minimal imaplib client instead (imap_reference.py). These scans go
// without the cache (--no-cache). Prints the median of the rounds, the
// scan's peak memory and, with --syscalls, its system calls per message as
// strace counts them. With --warm NEW instead: a cold scan (empty cache),
// NEW messages delivered, a warm scan; their times, peaks and the bytes the
// warm one received.
//
// scan_bench PELLORU BENCHDIR [--count N] [--mode plain|pop3s|stls|imaps|imap] [--warm NEW]
//            [--delay MS_EACH_WAY] [--strip] [--rounds R] [--syscalls] [--serve]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CSettingsStore.h"
#include "DelayProxy.h"
#include "DovecotServer.h"
#include "TestCertificates.h"

namespace {

struct Options {
    std::string pelloru;
    std::string benchDir;
    int count = 2000;
    std::string mode = "plain";
    double delayMs = 0;
    bool strip = false;
    int rounds = 5;
    bool syscalls = false;
    bool serve = false;  // set up, print where, and wait for standard input to close
    int warm = -1;       // >= 0: cold scan, then this many new messages, then a warm scan
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

struct Run {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
    std::string output;
};

// Runs a command to its end with its output in a file; whole-process time
// and peak memory as the kernel counts them.
Run RunProcess(const std::vector<std::string> &argv, const std::string &cwd,
               const std::string &outputFile, const std::string &errorFile = {}) {
    Run run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) ::dup2(out, 1);
        if (!errorFile.empty()) {
            const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) ::dup2(err, 2);
        }
        std::vector<char *> args;
        for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKilobytes = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outputFile);
    std::ostringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int CountLines(const std::string &text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: scan_bench PELLORU BENCHDIR [options]\n");
        return 64;
    }
    Options options;
    options.pelloru = std::filesystem::absolute(argv[1]).string();
    options.benchDir = std::filesystem::absolute(argv[2]).string();
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (arg == "--count") options.count = std::atoi(next().c_str());
        else if (arg == "--mode") options.mode = next();
        else if (arg == "--delay") options.delayMs = std::atof(next().c_str());
        else if (arg == "--strip") options.strip = true;
        else if (arg == "--rounds") options.rounds = std::atoi(next().c_str());
        else if (arg == "--syscalls") options.syscalls = true;
        else if (arg == "--serve") options.serve = true;
        else if (arg == "--warm") options.warm = std::atoi(next().c_str());
    }

    TestCertificates certificates;
    DovecotServer server;
    const bool tls = options.mode != "plain";
    const bool imap = options.mode.rfind("imap", 0) == 0;
    if (tls) server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    if (imap) server.EnableImap();
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "cannot start dovecot: %s\n", error.c_str());
        return 1;
    }
    std::mt19937 random(42);
    for (int n = 1; n <= options.count; ++n) server.AddMessage(Message(n, random));

    char pattern[] = "/tmp/pelloru-bench-XXXXXX";
    const std::string work = ::mkdtemp(pattern);
    {
        std::ofstream patterns(work + "/loesche_direkt.txt");
        for (int i = 0; i < 500; ++i)
            patterns << "Subject:*kein-treffer-" << i << "*" << (i % 2 ? "?x" : "") << "\n";
    }
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);

    int port = options.mode == "pop3s"   ? server.TlsPort()
               : options.mode == "imaps" ? server.ImapsPort()
               : options.mode == "imap"  ? server.ImapPort()
                                         : server.Port();
    pid_t proxy = -1;
    if (options.delayMs > 0) {
        port = StartDelayProxy(options.benchDir, port, options.delayMs, options.strip, &proxy);
        if (port <= 0) {
            std::fprintf(stderr, "the delaying proxy did not start\n");
            return 1;
        }
    }
    const std::string host = options.mode == "stls" ? "localhost" : "127.0.0.1";
    const std::string scheme = options.mode == "pop3s" ? "pop3s://"
                               : options.mode == "stls" ? "pop3+stls://"
                               : imap                   ? options.mode + "://"
                                                        : "";
    CSettingsStore settings("pelloru");
    settings.Write("HOST", scheme + host + ":" + std::to_string(port));
    settings.Write("USER", DovecotServer::kUser);
    settings.Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));
    settings.Write("CAFILE", tls ? certificates.CaFile() : "");

    if (options.serve) {
        // For profiling by hand: the profile and working directory to use.
        std::printf("XDG_CONFIG_HOME=%s/config; cd %s\n", work.c_str(), work.c_str());
        std::fflush(stdout);
        char byte;
        while (::read(0, &byte, 1) > 0) {
        }
        if (proxy > 0) ::kill(proxy, SIGTERM);
        std::filesystem::remove_all(work);
        return 0;
    }
    std::vector<std::string> python = {host, std::to_string(port), DovecotServer::kUser,
                                       DovecotServer::kPassword, options.mode, certificates.CaFile()};
    auto script = [&](const char *name) {
        std::vector<std::string> args = {"python3", options.benchDir + "/" + name};
        args.insert(args.end(), python.begin(), python.end());
        return args;
    };
    if (options.warm >= 0) {
        // Cold (an empty cache), then the new messages, then warm; the
        // warm scan's bytes from the server counted from its --debug trace
        // (each line received, with its CR LF).
        std::vector<double> cold, warm;
        long coldPeak = 0, warmPeak = 0, received = 0;
        std::mt19937 more(7);
        int total = options.count;
        for (int round = 0; round <= options.rounds; ++round) {
            std::filesystem::remove_all(work + "/cache");
            ::setenv("XDG_CACHE_HOME", (work + "/cache").c_str(), 1);
            const Run first = RunProcess({options.pelloru, "--list"}, work, work + "/out");
            for (int n = 0; n < options.warm; ++n) server.AddMessage(Message(++total + 100000, more));
            const Run second = RunProcess({options.pelloru, "--list"}, work, work + "/out");
            if (first.status != 0 || second.status != 0 || CountLines(second.output) != total) {
                std::fprintf(stderr, "a scan failed: status %d/%d, %d of %d messages\n", first.status,
                             second.status, CountLines(second.output), total);
                return 1;
            }
            if (round == 0) continue;
            cold.push_back(first.seconds);
            warm.push_back(second.seconds);
            coldPeak = std::max(coldPeak, first.peakKilobytes);
            warmPeak = std::max(warmPeak, second.peakKilobytes);
        }
        for (int n = 0; n < options.warm; ++n) server.AddMessage(Message(++total + 100000, more));
        RunProcess({options.pelloru, "--list", "--debug"}, work, work + "/out", work + "/trace");
        std::ifstream trace(work + "/trace");
        std::string line;
        while (std::getline(trace, line))
            // "    12.3 < ..." (the milliseconds since the start first)
            if (const size_t at = line.find(" < "); at != std::string::npos && at < 12)
                received += static_cast<long>(line.size() - at) - 3 + 2;
        std::printf("%d messages, %s, %.1f ms each way, then %d new, median of %d rounds\n", options.count,
                    options.mode.c_str(), options.delayMs, options.warm, options.rounds);
        std::printf("  cold %8.3f s, peak %ld KiB\n  warm %8.3f s (rounds %.3f to %.3f s), peak %ld KiB, %ld bytes "
                    "from the server\n",
                    Median(cold), coldPeak, Median(warm), *std::min_element(warm.begin(), warm.end()),
                    *std::max_element(warm.begin(), warm.end()), warmPeak, received);
        if (proxy > 0) ::kill(proxy, SIGTERM);
        std::filesystem::remove_all(work);
        return 0;
    }
    // The cold scan (the cache off) against the reference loops.
    // Over IMAP, beside a minimal imaplib client.
    const std::vector<std::vector<std::string>> commands =
        imap ? std::vector<std::vector<std::string>>{{options.pelloru, "--list", "--no-cache"},
                                                     script("imap_reference.py")}
             : std::vector<std::vector<std::string>>{{options.pelloru, "--list", "--no-cache"},
                                                     script("pop3_reference.py"), script("pop3_pipelined.py")};
    const char *names[] = {"pelloru --list", imap ? "imaplib client" : "poplib loop", "pipelined loop"};
    const int runs = imap ? 2 : 3;

    std::vector<double> seconds[3];
    long peak = 0;
    bool ok = true;
    // Round 0 warms the server's index and caches; it is not counted.
    for (int round = 0; round <= options.rounds; ++round) {
        for (int c = 0; c < runs; ++c) {
            const Run run = RunProcess(commands[static_cast<size_t>(c)], work, work + "/out");
            const int listed = c == 0 ? CountLines(run.output) : std::atoi(run.output.substr(run.output.find(' ') + 1).c_str());
            if (run.status != 0 || listed != options.count) {
                std::fprintf(stderr, "%s failed: status %d, %d of %d messages\n", names[c], run.status,
                             listed, options.count);
                ok = false;
            }
            if (round == 0) continue;
            seconds[c].push_back(run.seconds);
            if (c == 0) peak = std::max(peak, run.peakKilobytes);
        }
    }

    std::printf("%d messages, %s%s, %.1f ms each way, median of %d alternated runs\n", options.count,
                options.mode.c_str(), options.strip ? " without PIPELINING" : "", options.delayMs,
                options.rounds);
    for (int c = 0; c < runs; ++c)
        std::printf("  %-16s %8.3f s\n", names[c], Median(seconds[c]));
    if (imap)
        std::printf("  ratio pelloru/imaplib %.2f, pelloru peak memory %ld KiB\n",
                    Median(seconds[0]) / Median(seconds[1]), peak);
    else
        std::printf("  ratio pelloru/poplib %.2f, pelloru peak memory %ld KiB\n",
                    Median(seconds[0]) / Median(seconds[1]), peak);

    if (options.syscalls) {
        const Run traced = RunProcess({"strace", "-f", "-c", "-o", work + "/strace", options.pelloru, "--list", "--no-cache"},
                                      work, work + "/out");
        std::ifstream in(work + "/strace");
        std::string line, last;
        while (std::getline(in, line))
            if (line.find("total") != std::string::npos) last = line;
        long calls = 0;
        std::istringstream fields(last);
        std::string field;
        std::vector<std::string> parts;
        while (fields >> field) parts.push_back(field);
        // "100.00 seconds usecs/call calls [errors] total"
        if (parts.size() >= 5) calls = std::atol(parts[3].c_str());
        std::printf("  system calls: %ld in all, %.1f per message (status %d)\n", calls,
                    static_cast<double>(calls) / options.count, traced.status);
    }

    if (proxy > 0) {
        ::kill(proxy, SIGTERM);
        ::waitpid(proxy, nullptr, 0);
    }
    std::filesystem::remove_all(work);
    return ok ? 0 : 1;
}
