#include "CHeadlessRun.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "BatchMode.h"
#include "CCredentials.h"
#include "CMailboxScan.h"
#include "CScanRowModel.h"
#include "CScanWindow.h"
#include "CSettingsStore.h"
#include "TextHelpers.h"

namespace {

// The first SIGINT or SIGTERM asks the scan to stop after the message in
// hand; a second one ends the program at once (the server then commits
// nothing).
std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int number) {
    g_stop = true;
    ::signal(number, SIG_DFL);
}

// Says on standard error what failed and why, one line each.
class ConsoleWindow : public CScanWindow {
public:
    ConsoleWindow(std::string name, bool quiet) : m_name(std::move(name)), m_quiet(quiet) {}
    void SetTitle(const std::string &) override {}
    void RepaintList() override {}
    // A box without a reason is news, not a failure ("Keine E-Mails vorhanden.").
    void ShowMessage(const std::string &text, const std::string &detail) override {
        if (!detail.empty()) RowFailed(text, detail);
    }
    void RowFailed(const std::string &text, const std::string &detail) override {
        if (!m_quiet) CHeadlessRun::PrintFailure(m_name, text, detail);
    }

private:
    std::string m_name;
    bool m_quiet;
};

std::string ReadLine(std::istream &in, std::ostream &out, const char *prompt, bool terminal,
                     bool hidden) {
    if (terminal) out << prompt << std::flush;
    termios saved{};
    const bool masked = terminal && hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (masked) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(in, line);
    if (masked) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        out << "\n";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

void CHeadlessRun::PrintFailure(const std::string &name, const std::string &text,
                                const std::string &detail) {
    // The detail may quote a server: nothing in it may steer the terminal.
    std::cerr << name << ": " << TerminalSafe(text) << (detail.empty() ? "" : ": ")
              << TerminalSafe(detail) << std::endl;
}

int CHeadlessRun::ExitStatus(int outcome) {
    switch (outcome) {
    case CMailboxScan::ConnectionFailed: return kExitLogOnFailed;
    case CMailboxScan::MailboxFailed: return kExitMailboxFailed;
    case CMailboxScan::Interrupted: return kExitInterrupted;
    case CMailboxScan::MessagesFailed: return kExitMessagesFailed;
    case CMailboxScan::Cancelled: return kExitStopped;
    case CMailboxScan::Uncertain: return kExitUncertain;
    default: return kExitScanned;
    }
}

void CHeadlessRun::WriteRows(const CScanRowModel &rows, std::ostream &out) {
    // Row by row: a large mailbox never has its whole listing in memory twice.
    std::string line;
    for (int row = 0; row < rows.RowCount(); ++row) {
        line.clear();
        for (int column = 0; column < kScanColumns; ++column) {
            if (column > 0) line += '\t';
            line += TerminalSafe(rows.ShownText(row, column));
        }
        line += '\n';
        out << line;
    }
}

std::string CHeadlessRun::FormatRows(const CScanRowModel &rows) {
    std::ostringstream text;
    WriteRows(rows, text);
    return text.str();
}

int CHeadlessRun::Scan(const std::string &executableName, bool printRows, std::ostream &out,
                       bool dryRun, bool debug, bool quiet) {
    BatchMode = 1;
    BatchQuiet = quiet ? 1 : 0;
    CSettingsStore settings(executableName);
    CScanRowModel rows;
    ConsoleWindow window(executableName, quiet);
    CMailboxScan scan(rows, window, settings, executableName);
    scan.SetDryRun(dryRun);
    g_stop = false;
    scan.SetStopRequest(&g_stop);
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    ::sigaction(SIGINT, &stop, &oldInt);
    ::sigaction(SIGTERM, &stop, &oldTerm);
    if (debug) scan.SetTrace([](const std::string &line) { std::cerr << TerminalSafe(line) << '\n'; });
    scan.ScanMailbox(List);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    if (printRows) {
        WriteRows(rows, out);
    } else if (dryRun) {
        // What an unattended run would delete, and by which pattern.
        CScanRowModel matched;
        for (int row = 0; row < rows.RowCount(); ++row) {
            if (rows.CellText(row, ColAddress).rfind(CMailboxScan::kWouldDelete, 0) != 0) continue;
            const int at = matched.RowCount();
            matched.InsertRow(at, "", "");
            for (int column = 0; column < kScanColumns; ++column)
                matched.SetCellText(at, column, rows.ShownText(row, column), "UTF-8");
        }
        WriteRows(matched, out);
    }
    out << std::flush;
    return ExitStatus(scan.LastOutcome());
}

int CHeadlessRun::Configure(const std::string &executableName, std::istream &in, std::ostream &out,
                            bool terminal, bool inKeyring) {
    const std::string host = ReadLine(in, out, "POP3 Server: ", terminal, false);
    const std::string user = ReadLine(in, out, "Benutzername: ", terminal, false);
    const std::string password = ReadLine(in, out, "Kennwort: ", terminal, true);
    if (!in && in.eof() && host.empty()) return kExitFailed;
    CSettingsStore settings(executableName);
    bool stored = settings.Write("HOST", host);
    stored = settings.Write("USER", user) && stored;
    std::string problem;
    if (stored && !CCredentials::StorePassword(settings, password, inKeyring, &problem)) {
        std::cerr << "Das Kennwort wurde nicht gespeichert: " << problem << "\n";
        return kExitFailed;
    }
    if (!stored) {
        std::cerr << "Die Einstellungen konnten nicht gespeichert werden: "
                  << settings.ProfilePath() << "\n";
        return kExitFailed;
    }
    return 0;
}
