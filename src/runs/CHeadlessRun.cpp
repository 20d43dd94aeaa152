// SPDX-License-Identifier: GPL-3.0-or-later
#include "CHeadlessRun.h"

#include <cctype>

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "BatchMode.h"
#include "CCredentials.h"
#include "CMailboxScan.h"
#include "CScanRowModel.h"
#include "CScanWindow.h"
#include "CScanConfig.h"
#include "Autoconfig.h"
#include "OAuth.h"
#include "CUT_TlsChannel.h"
#include "Providers.h"
#include "SrvRecords.h"
#include "CSettingsStore.h"
#include "TextHelpers.h"
#include "Translate.h"

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
    void Notice(const std::string &text) override {
        if (!m_quiet) CHeadlessRun::PrintFailure(m_name, text, {});
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
    std::cerr << TerminalSafe(name) << ": " << TerminalSafe(text) << (detail.empty() ? "" : ": ")
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
    case CMailboxScan::AccountBusy: return kExitBusy;
    default: return kExitScanned;
    }
}

void CHeadlessRun::WriteRows(const CScanRowModel &rows, std::ostream &out, const std::string &prefix) {
    // In pieces of some rows: a large mailbox never has its whole listing
    // in memory twice, and costs few writes.
    constexpr size_t kPiece = 256 * 1024;
    std::string piece;
    piece.reserve(kPiece + 4096);
    for (int row = 0; row < rows.RowCount(); ++row) {
        piece += prefix;
        for (int column = 0; column < kScanColumns; ++column) {
            if (column > 0) piece += '\t';
            AppendTerminalSafe(rows.ShownView(row, column), piece);
        }
        piece += '\n';
        if (piece.size() >= kPiece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            piece.clear();
        }
    }
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
}

std::string CHeadlessRun::FormatRows(const CScanRowModel &rows) {
    std::ostringstream text;
    WriteRows(rows, text);
    return text.str();
}

int CHeadlessRun::Worse(int a, int b) {
    static const int kOrder[] = {kExitScanned, kExitStopped, kExitBusy, kExitLogOnFailed, kExitMailboxFailed,
                                 kExitMessagesFailed, kExitInterrupted, kExitUncertain};
    const auto rank = [](int status) {
        for (int i = 0; i < static_cast<int>(sizeof kOrder / sizeof kOrder[0]); ++i)
            if (kOrder[i] == status) return i;
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

int CHeadlessRun::Scan(const std::string &executableName, bool printRows, std::ostream &out,
                       bool dryRun, bool debug, bool quiet,
                       const std::vector<std::string> &accountNames, bool useCache) {
    BatchMode = 1;
    BatchQuiet = quiet ? 1 : 0;
    CSettingsStore settings(executableName);
    const std::vector<AccountConfig> all = CScanConfig::Load(settings);
    std::vector<AccountConfig> accounts;
    for (const std::string &name : accountNames) {
        const AccountConfig *found = CScanConfig::Find(all, name);
        if (found == nullptr) {
            std::string known;
            for (const AccountConfig &account : all) known += " \"" + account.DisplayName() + "\"";
            std::cerr << executableName << ": "
                      << Fill(Tr("runs", "Kein Konto \"%1\"; es gibt:%2"), {TerminalSafe(name), TerminalSafe(known)})
                      << "\n";
            return kExitUsage;
        }
        accounts.push_back(*found);
    }
    if (accountNames.empty()) accounts = all;
    const bool several = accounts.size() > 1;

    g_stop = false;
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    ::sigaction(SIGINT, &stop, &oldInt);
    ::sigaction(SIGTERM, &stop, &oldTerm);
    int status = kExitScanned;
    for (const AccountConfig &account : accounts) {
        if (g_stop) break;
        CScanRowModel rows;
        // With several accounts every line says whose it is.
        ConsoleWindow window(several ? executableName + ": " + Fill(Tr("runs", "Konto \"%1\""), {account.DisplayName()})
                                     : executableName,
                             quiet);
        CMailboxScan scan(rows, window, account, executableName);
        scan.SetDryRun(dryRun);
        if (!useCache) scan.SetCache(false);
        scan.SetStopRequest(&g_stop);
        // Each line with the milliseconds since the start: the round trips
        // of a check can be counted.
        if (debug)
            scan.SetTrace([start = std::chrono::steady_clock::now()](const std::string &line) {
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                char stamp[24];
                std::snprintf(stamp, sizeof stamp, "%9.1f ", ms);
                std::cerr << stamp << TerminalSafe(line) << '\n';
            });
        scan.ScanMailbox(List);
        status = Worse(status, ExitStatus(scan.LastOutcome()));
        const std::string prefix = several ? TerminalSafe(account.DisplayName()) + "\t" : std::string();
        if (printRows) {
            WriteRows(rows, out, prefix);
        } else if (dryRun) {
            // What an unattended run would delete, and by which pattern.
            CScanRowModel matched;
            for (int row = 0; row < rows.RowCount(); ++row) {
                if (rows.RowStateOf(row) != RowState::WouldDelete) continue;
                const int at = matched.RowCount();
                matched.InsertRow(at, "", "");
                for (int column = 0; column < kScanColumns; ++column)
                    matched.SetCellText(at, column, rows.ShownText(row, column), "UTF-8");
            }
            WriteRows(matched, out, prefix);
        }
        out << std::flush;
    }
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    if (g_stop) status = Worse(status, kExitStopped);
    return status;
}

int CHeadlessRun::TrustFingerprint(const std::string &executableName, const std::string &accountName,
                                   const std::string &fingerprint) {
    const std::string digits = CUT_TlsChannel::FingerprintDigits(fingerprint);
    if (digits.size() != 64) {
        std::cerr << Fill(Tr("runs",
                             "Nichts gespeichert: \"%1\" ist kein SHA-256-Fingerabdruck (64 "
                             "Hexadezimalziffern, Doppelpunkte erlaubt)"),
                          {TerminalSafe(fingerprint)})
                  << "\n";
        return kExitFailed;
    }
    CSettingsStore settings(executableName);
    const std::vector<AccountConfig> accounts = CScanConfig::Load(settings);
    const AccountConfig *found = CScanConfig::Find(accounts, accountName);
    if (found == nullptr) {
        std::cerr << Fill(Tr("runs", "Nichts gespeichert: kein Konto \"%1\""), {TerminalSafe(accountName)}) << "\n";
        return kExitFailed;
    }
    AccountConfig account = *found;
    account.fingerprint.clear();
    for (size_t i = 0; i < digits.size(); i += 2) account.fingerprint += (i > 0 ? ":" : "") + digits.substr(i, 2);
    if (!CScanConfig::Store(settings, account)) {
        std::cerr << Tr("runs", "Die Einstellungen wurden nicht gespeichert") << "\n";
        return kExitFailed;
    }
    return 0;
}

namespace {

// Hands the sign-in address to the browser: $BROWSER where it is set, else
// xdg-open where there is a display; always also on standard error, for
// a browser on another machine.
bool OpenInBrowser(const std::string &url, bool display) {
    std::cerr << Fill(Tr("runs", "Anmeldung im Browser: %1"), {TerminalSafe(url)}) << "\n" << std::flush;
    const char *browser = std::getenv("BROWSER");
    if (browser != nullptr && *browser != '\0')
        QProcess::startDetached(QString::fromLocal8Bit(browser), {QString::fromStdString(url)});
    else if (display)
        QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
    return true;
}

}  // namespace

int CHeadlessRun::SignIn(const std::string &executableName, const std::string &accountName, bool display) {
    CSettingsStore settings(executableName);
    const std::vector<AccountConfig> accounts = CScanConfig::Load(settings);
    const AccountConfig *account = CScanConfig::Find(accounts, accountName);
    if (account == nullptr) {
        std::cerr << Fill(Tr("runs", "Nicht angemeldet: kein Konto \"%1\""), {TerminalSafe(accountName)}) << "\n";
        return kExitFailed;
    }
    OAuthEndpoints endpoints;
    if (!account->OAuthSignIn(&endpoints)) {
        std::cerr << Tr("runs", "Nicht angemeldet: für das Konto ist kein Anbieter mit OAuth 2.0 bekannt (OAUTH)")
                  << "\n";
        return kExitFailed;
    }
    OAuthTokens tokens;
    std::string problem;
    bool signedIn = false;
    g_stop = false;
    struct sigaction onStop {}, oldInt{}, oldTerm{};
    onStop.sa_handler = OnStopSignal;
    ::sigaction(SIGINT, &onStop, &oldInt);
    ::sigaction(SIGTERM, &onStop, &oldTerm);
    if (!display && !endpoints.device.empty()) {
        // Without a display: the code is typed in on any other device.
        OAuthDeviceGrant grant;
        signedIn = OAuth::StartDevice(endpoints, account->caFile, &grant, &problem, &g_stop);
        if (signedIn) {
            std::cerr << Fill(Tr("runs",
                                 "Bitte %1 öffnen und den Code %2 eingeben; Pelloru wartet auf die "
                                 "Anmeldung."),
                              {TerminalSafe(grant.verificationUri), TerminalSafe(grant.userCode)})
                      << "\n"
                      << std::flush;
            signedIn = OAuth::AwaitDevice(endpoints, account->caFile, grant, &tokens, &problem, &g_stop);
        }
    } else {
        signedIn = OAuth::BrowserSignIn(
            endpoints, account->caFile, account->user,
            [display](const std::string &url) { return OpenInBrowser(url, display); }, &tokens,
            &problem, &g_stop);
    }
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    if (signedIn) signedIn = CCredentials::KeepOAuthTokens(account->user, account->Server().host, tokens, &problem);
    if (!signedIn) {
        std::cerr << Fill(Tr("runs", "Nicht angemeldet: %1"), {TerminalSafe(problem)}) << "\n";
        return kExitFailed;
    }
    std::cerr << Tr("runs", "Angemeldet; das Erneuerungstoken liegt im Schlüsselbund.") << "\n";
    return 0;
}

int CHeadlessRun::Configure(const std::string &executableName, std::istream &in, std::ostream &out,
                            bool terminal, bool inKeyring, const std::string &accountName,
                            const std::string &address, bool display) {
    // The provider table first, then what the domain publishes itself.
    CSettingsStore settings(executableName);
    ProviderServers provider;
    std::string missing;
    const size_t at = address.rfind('@');
    if (!address.empty() && !FindProvider(address, &provider, LocalProviderTable(settings.ProfilePath())) &&
        (at == std::string::npos ||
         !FetchAutoconfig(AutoconfigSources(address.substr(at + 1), address), address, &provider, &missing)) &&
        !SrvServers(address, LookUpSrv, &provider)) {
        std::cerr << Fill(Tr("runs",
                             "Nichts gespeichert: für \"%1\" ist kein Anbieter bekannt und die Domain "
                             "nennt keine Server%2; bitte Server, Benutzername und Kennwort angeben "
                             "(--configure ohne --address)"),
                          {TerminalSafe(address), missing.empty() ? std::string() : " (" + TerminalSafe(missing) + ")"})
                  << "\n";
        return kExitFailed;
    }
    const std::string host =
        address.empty() ? ReadLine(in, out, Tr("runs", "POP3 Server: "), terminal, false) : PreferredServer(provider);
    const std::string user =
        address.empty() ? ReadLine(in, out, Tr("runs", "Benutzername: "), terminal, false) : provider.user;
    // A provider that takes no password signs in with OAuth 2.0 instead.
    const std::string password =
        provider.oauth ? std::string() : ReadLine(in, out, Tr("runs", "Kennwort: "), terminal, true);
    if (!in && in.eof() && host.empty()) return kExitFailed;
    AccountConfig account;
    const std::vector<AccountConfig> accounts = CScanConfig::Load(settings);
    if (accountName.empty()) {
        account = CScanConfig::LoadSection(settings, CScanConfig::kFirstSection);
    } else if (const AccountConfig *found = CScanConfig::Find(accounts, accountName)) {
        account = *found;
    } else {
        account.section = CScanConfig::FreeSection(settings);
        account.name = accountName;
    }
    account.host = host;
    account.user = user;
    if (provider.oauth) {
        account.oauthProvider = provider.domain;
        // Pelloru has no application of its own with most providers: at a
        // terminal, the user's is asked for (else OAUTHCLIENT=... lines).
        if (terminal && provider.endpoints.clientId.empty()) {
            account.oauthClient = ReadLine(in, out, Tr("runs", "OAuth-Client-ID: "), terminal, false);
            account.oauthSecret = ReadLine(in, out, Tr("runs", "OAuth-Client-Secret (leer: keins): "), terminal, true);
        }
    }
    // Further settings of the account, one KEY=VALUE a line; all or nothing.
    std::string line;
    while (!terminal && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        std::string problem;
        if (equals == std::string::npos ||
            !CScanConfig::Set(account, line.substr(0, equals), line.substr(equals + 1), &problem)) {
            std::cerr << Fill(Tr("runs", "Nichts gespeichert: Zeile \"%1\": %2"),
                              {TerminalSafe(line),
                               problem.empty() ? Tr("runs", "KEY=VALUE erwartet") : TerminalSafe(problem)})
                      << "\n";
            return kExitFailed;
        }
    }
    std::string problem;
    if (provider.oauth) {
        account.keyring = false;
        account.storedPassword.clear();
        if (!CScanConfig::Store(settings, account)) {
            std::cerr << Fill(Tr("runs", "Die Einstellungen wurden nicht gespeichert: %1"),
                              {TerminalSafe(settings.ProfilePath())})
                      << "\n";
            return kExitFailed;
        }
        return SignIn(executableName, account.DisplayName(), display);
    }
    if (!CCredentials::StorePassword(settings, account, password, inKeyring, &problem)) {
        std::cerr << Fill(Tr("runs", "Die Einstellungen wurden nicht gespeichert: %1"), {TerminalSafe(problem)})
                  << "\n";
        return kExitFailed;
    }
    return 0;
}
