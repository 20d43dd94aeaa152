#include "CPelloruApp.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CMainFrame.h"
#include "CMemoryScanList.h"
#include "CPelloruView.h"
#include "CScanWindow.h"
#include "CSettingsStore.h"

// Resources of a static library must be registered by name.
static void InitResources() { Q_INIT_RESOURCE(pelloru); }

namespace {

const char *const kVersion = "Pelloru Version 1.4";

const char *const kHelp =
    "Aufruf: pelloru [/b | --list | --configure | --help | --version] [--dry-run] [--debug]\n"
    "\n"
    "  (ohne)       Fenster mit der Liste der Mails; \"Check\" prüft das Postfach.\n"
    "  /b           ein Durchlauf ohne Rückfragen: Postfach prüfen, passende Mails\n"
    "               löschen (mit Sicherung), Ende. Ohne Bildschirm ohne Fenster.\n"
    "  --list       wie /b ohne Fenster; gibt die Zeilen als Text aus\n"
    "               (UTF-8, Spalten durch Tabulator getrennt).\n"
    "  --dry-run    mit --list oder /b: Probelauf, zeigt, welche Mails welches Muster\n"
    "               löschen würde; nichts wird gelöscht oder gesichert.\n"
    "  --debug      mit --list oder /b: das POP3-Gespräch auf der Standardfehlerausgabe\n"
    "               (Kennwörter unkenntlich).\n"
    "  --configure  liest Server, Benutzername und Kennwort (je eine Zeile)\n"
    "               von der Standardeingabe und speichert sie.\n"
    "  --help       diese Hilfe.  --version  die Versionsnummer.\n"
    "\n"
    "Exit-Status von /b und --list: 0 Durchlauf erfolgt, 2 Verbindung oder Anmeldung\n"
    "gescheitert, 3 Postfach nicht lesbar (STAT/LIST), 4 Verbindung abgebrochen\n"
    "(nichts gelöscht). 64 unbekannte Option. --configure: 1 nicht gespeichert.\n"
    "Ohne Optionen und ohne Bildschirm: Exit-Status 69.\n";

// A window that shows nothing: the headless runs are batch runs.
class SilentWindow : public CScanWindow {
public:
    void SetTitle(const std::string &) override {}
    void RepaintList() override {}
    void ShowMessage(const std::string &) override {}
};

bool DisplayAnswers(const char *display) {
    // Local X displays (":N" or ":N.S") have a socket; try it. Any other
    // form is taken on trust.
    if (display[0] != ':') return true;
    const int number = std::atoi(display + 1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/tmp/.X11-unix/X%d", number);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool answers = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

std::string Escaped(const std::string &text) {
    std::string out;
    char code[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control in UTF-8, which some terminals obey.
            std::snprintf(code, sizeof code, "\\u%04x", next);
            out += code;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

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

bool CPelloruApp::IsBatchSwitch(const char *argumentText) {
    return argumentText != nullptr && argumentText[0] == '/' && argumentText[1] == 'b';
}

std::string CPelloruApp::ExecutableName(const char *programPath) {
    std::string name = programPath != nullptr ? programPath : "pelloru";
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "pelloru" : name;
}

bool CPelloruApp::DisplayAvailable() {
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') return true;
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') return true;
    const char *display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && DisplayAnswers(display);
}

int CPelloruApp::ExitStatus(int outcome) {
    switch (outcome) {
    case CMailboxScan::ConnectionFailed: return kExitLogOnFailed;
    case CMailboxScan::MailboxFailed: return kExitMailboxFailed;
    case CMailboxScan::Interrupted: return kExitInterrupted;
    default: return kExitScanned;
    }
}

void CPelloruApp::WriteRows(const CMemoryScanList &list, std::ostream &out) {
    // Row by row: a large mailbox never has its whole listing in memory twice.
    std::string line;
    for (int row = 0; row < list.RowCount(); ++row) {
        line.clear();
        for (int column = 0; column < kScanColumns; ++column) {
            if (column > 0) line += '\t';
            line += Escaped(list.ShownText(row, column));
        }
        line += '\n';
        out << line;
    }
}

std::string CPelloruApp::FormatRows(const CMemoryScanList &list) {
    std::ostringstream text;
    WriteRows(list, text);
    return text.str();
}

int CPelloruApp::RunHeadless(const std::string &executableName, bool printRows,
                             std::ostream &out, bool dryRun, bool debug) {
    BatchMode = 1;
    CSettingsStore settings(executableName);
    CMemoryScanList list;
    SilentWindow window;
    CMailboxScan scan(list, window, settings, executableName);
    scan.SetDryRun(dryRun);
    if (debug) scan.SetTrace([](const std::string &line) { std::cerr << line << '\n'; });
    scan.ScanMailbox(List);
    if (printRows) {
        WriteRows(list, out);
    } else if (dryRun) {
        // What an unattended run would delete, and by which pattern.
        CMemoryScanList matched;
        for (int row = 0; row < list.RowCount(); ++row) {
            if (list.CellText(row, ColAddress).rfind(CMailboxScan::kWouldDelete, 0) != 0) continue;
            const int at = matched.RowCount();
            matched.InsertRow(at, "", "");
            for (int column = 0; column < kScanColumns; ++column)
                matched.SetCellText(at, column, list.ShownText(row, column), "UTF-8");
        }
        WriteRows(matched, out);
    }
    out << std::flush;
    return ExitStatus(scan.LastOutcome());
}

int CPelloruApp::Configure(const std::string &executableName, std::istream &in,
                           std::ostream &out, bool terminal) {
    const std::string host = ReadLine(in, out, "POP3 Server: ", terminal, false);
    const std::string user = ReadLine(in, out, "Benutzername: ", terminal, false);
    const std::string password = ReadLine(in, out, "Kennwort: ", terminal, true);
    if (!in && in.eof() && host.empty()) return kExitFailed;
    CSettingsStore settings(executableName);
    bool stored = settings.Write("HOST", host);
    stored = settings.Write("USER", user) && stored;
    stored = settings.Write("PASS", CSettingsStore::ComplementPassword(password)) && stored;
    if (!stored) {
        std::cerr << "Die Einstellungen konnten nicht gespeichert werden: "
                  << settings.ProfilePath() << "\n";
        return kExitFailed;
    }
    return 0;
}

int CPelloruApp::RunWindow(int argc, char **argv, const std::string &executableName) {
    QApplication application(argc, argv);
    InitResources();
    QApplication::setApplicationName(QStringLiteral("Pelloru"));
    QApplication::setOrganizationName(QString::fromLatin1(CSettingsStore::kCompanyKey));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelloru.xpm")));
    CSettingsStore settings(executableName);
    CMainFrame frame(settings, executableName);
    // The columns, and in batch mode the scan, before the window shows.
    frame.View()->OnInitialUpdate();
    frame.show();
    frame.repaint();
    frame.setWindowTitle(QString::fromStdString(executableName));
    if (BatchMode) return ExitStatus(frame.View()->LastScanOutcome());
    return QApplication::exec();
}

int CPelloruApp::Main(int argc, char **argv) {
    const std::string executableName = ExecutableName(argc > 0 ? argv[0] : nullptr);
    // One mode at most, and the flags only with a scan that runs without
    // the user (--list, /b); anything else could be meant to change what a
    // scan does, so nothing connects.
    const char *argument = "";
    bool dryRun = false, debug = false, known = true;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (std::strcmp(word, "--dry-run") == 0 && !dryRun) {
            dryRun = true;
        } else if (std::strcmp(word, "--debug") == 0 && !debug) {
            debug = true;
        } else if (*argument == '\0' &&
                   (IsBatchSwitch(word) || std::strcmp(word, "--help") == 0 ||
                    std::strcmp(word, "--version") == 0 || std::strcmp(word, "--configure") == 0 ||
                    std::strcmp(word, "--list") == 0)) {
            argument = word;
        } else {
            known = false;
        }
    }
    const bool unattended = std::strcmp(argument, "--list") == 0 || IsBatchSwitch(argument);
    if (!known || ((dryRun || debug) && !unattended)) {
        std::cerr << kHelp;
        return kExitUsage;
    }
    if (std::strcmp(argument, "--help") == 0) {
        std::cout << kHelp;
        return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::cout << kVersion << "\n";
        return 0;
    }
    if (std::strcmp(argument, "--configure") == 0) {
        QCoreApplication core(argc, argv);
        return Configure(executableName, std::cin, std::cout, ::isatty(STDIN_FILENO) != 0);
    }
    if (std::strcmp(argument, "--list") == 0) {
        QCoreApplication core(argc, argv);
        return RunHeadless(executableName, true, std::cout, dryRun, debug);
    }
    if (dryRun || debug) {
        // A trial, or a run to watch, needs no window.
        QCoreApplication core(argc, argv);
        return RunHeadless(executableName, false, std::cout, dryRun, debug);
    }
    if (IsBatchSwitch(argument)) BatchMode = 1;
    if (BatchMode && !DisplayAvailable()) {
        QCoreApplication core(argc, argv);
        return RunHeadless(executableName, false, std::cout);
    }
    if (!DisplayAvailable()) {
        // Rather than let the window library abort.
        std::cerr << "pelloru: Das Fenster braucht einen Bildschirm (DISPLAY oder WAYLAND_DISPLAY).\n"
                     "Ohne Bildschirm: \"pelloru --list\" zeigt die E-Mails, \"pelloru /b\" prüft "
                     "das Postfach einmal.\n";
        return kExitNoDisplay;
    }
    return RunWindow(argc, argv, executableName);
}
