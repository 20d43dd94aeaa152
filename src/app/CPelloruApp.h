// The application: start-up from the command line, the window or the
// headless runs, and the process's exit status.
#pragma once

#include <iosfwd>
#include <string>

class CMemoryScanList;

class CPelloruApp {
public:
    // Exit status of unattended runs (/b, --list) and of --configure.
    static constexpr int kExitScanned = 0;        // the scan ran (also on an empty mailbox)
    static constexpr int kExitFailed = 1;         // --configure could not read or store
    static constexpr int kExitLogOnFailed = 2;    // no connection or log-on refused
    static constexpr int kExitMailboxFailed = 3;  // STAT or LIST refused or unreadable
    static constexpr int kExitInterrupted = 4;    // the conversation broke off; no deletion happened
    static constexpr int kExitUsage = 64;         // an unknown option (EX_USAGE)
    static constexpr int kExitNoDisplay = 69;     // the window needs a display (EX_UNAVAILABLE)

    // Runs the program; returns the process's exit status.
    static int Main(int argc, char **argv);

    // "/b" as the first two characters of the argument text.
    static bool IsBatchSwitch(const char *argumentText);
    // The program file's name without folder and extension.
    static std::string ExecutableName(const char *programPath);
    // Whether a window can be opened here: a platform is named, or the
    // display named by the environment answers.
    static bool DisplayAvailable();

    // One List scan without any window, in batch mode; prints the rows
    // when asked to.
    // With dryRun the patterns are tried and nothing is deleted or saved;
    // without printRows the rows they match are printed.
    static int RunHeadless(const std::string &executableName, bool printRows, std::ostream &out,
                           bool dryRun = false, bool debug = false);
    // Reads server, user name and password, one per line, and stores them
    // as the settings dialog does.
    static int Configure(const std::string &executableName, std::istream &in, std::ostream &out,
                         bool terminal);
    // The rows as UTF-8 lines of six tab-separated cells. Tab, CR and LF
    // inside a cell become \t, \r, \n, every other control character
    // \xNN (C1 controls \u00NN): a subject cannot steer the terminal.
    static std::string FormatRows(const CMemoryScanList &list);
    static void WriteRows(const CMemoryScanList &list, std::ostream &out);

private:
    static int RunWindow(int argc, char **argv, const std::string &executableName);
    static int ExitStatus(int outcome);
};
