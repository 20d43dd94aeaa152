// SPDX-License-Identifier: GPL-3.0-or-later
// The runs without a window: one unattended scan (--list, /b without a
// display, --dry-run, --debug) and --configure. They need Qt's core only.
// Each failure is one line on standard error (unless quiet), and the exit
// status says how the run ended.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class CScanRowModel;

class CHeadlessRun {
public:
    // Exit statuses of the unattended runs and of --configure.
    static constexpr int kExitScanned = 0;         // the scan ran (also on an empty mailbox)
    static constexpr int kExitFailed = 1;          // --configure could not read or store
    static constexpr int kExitLogOnFailed = 2;     // no connection, or the log-on was refused
    static constexpr int kExitMailboxFailed = 3;   // STAT or LIST refused or unreadable
    static constexpr int kExitInterrupted = 4;     // broke off; POP3: nothing deleted, IMAP: only what the rows say
    static constexpr int kExitMessagesFailed = 5;  // a matched message was not backed up or deleted
    static constexpr int kExitStopped = 6;         // stopped by SIGINT or SIGTERM; marked deletions done
    static constexpr int kExitUncertain = 7;       // QUIT (IMAP: a removal) unconfirmed: may have happened
    static constexpr int kExitBusy = 8;            // another run was checking the account; nothing done
    static constexpr int kExitUsage = 64;          // an unknown option (EX_USAGE)
    static constexpr int kExitNoDisplay = 69;      // the window needs a display (EX_UNAVAILABLE)

    // One List scan in batch mode of every account, or of those named
    // (NAME, or user@host where an account has no name), one after the
    // other. printRows: print every row (--list); otherwise a dry run
    // prints the rows its patterns match; with more than one account each
    // row begins with the account's name. debug: the conversation on
    // standard error. quiet: no failure lines. The exit status is the worst
    // of the accounts' (see Worse); an unknown name is a usage error.
    static int Scan(const std::string &executableName, bool printRows, std::ostream &out,
                    bool dryRun, bool debug, bool quiet,
                    const std::vector<std::string> &accountNames = {}, bool useCache = true);
    // Reads server, user name and password, one per line, then optional
    // KEY=VALUE lines (CAFILE=..., AUTH=..., any key of an account) up to
    // the end of the input, and stores them as the settings dialog does;
    // inKeyring: the password in the keyring. accountName empty: the first
    // account; else the account of that name, added when there is none.
    // The one certificate trusted for an account that exists, by its
    // SHA-256 fingerprint (64 hex digits, colons allowed); 1 when it was
    // not stored.
    static int TrustFingerprint(const std::string &executableName, const std::string &accountName,
                                const std::string &fingerprint);
    // address: the account's e-mail address; its provider's servers and
    // user name come from the table, and only the password is read (none
    // for a provider that takes OAuth 2.0 only: the account signs in as
    // SignIn does once it is stored).
    static int Configure(const std::string &executableName, std::istream &in, std::ostream &out,
                         bool terminal, bool inKeyring = false,
                         const std::string &accountName = {}, const std::string &address = {},
                         bool display = false);
    // The OAuth 2.0 sign-in of a stored account (OAUTH): without a display
    // and where the provider offers it with a code typed in elsewhere, else
    // in the browser ($BROWSER, or xdg-open with a display; the address is
    // also printed). The refresh token goes to the keyring. 0 when signed
    // in, else 1 with the reason on standard error.
    static int SignIn(const std::string &executableName, const std::string &accountName, bool display);
    // The exit status of a scan's outcome (CMailboxScan::Outcome).
    static int ExitStatus(int outcome);
    // The worse of two exit statuses, by what they mean for the mail: an
    // uncertain QUIT (7), a conversation broken off (4), a message not
    // handled (5), an unreadable mailbox (3), a refused log-on (2), an
    // account another run was checking (8), a stop (6), success (0).
    static int Worse(int a, int b);

    // One failure as one line on standard error: "name: text: detail".
    static void PrintFailure(const std::string &name, const std::string &text,
                             const std::string &detail);

    // The rows as UTF-8 lines of six tab-separated cells. Tab, CR and LF
    // inside a cell become \t, \r, \n, every other control character
    // \xNN (C1 controls \u00NN): a subject cannot steer the terminal.
    static std::string FormatRows(const CScanRowModel &rows);
    // prefix: written before every row (the account's name and a tab).
    static void WriteRows(const CScanRowModel &rows, std::ostream &out,
                          const std::string &prefix = {});
};
