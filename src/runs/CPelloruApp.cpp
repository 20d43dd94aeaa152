// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPelloruApp.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <iostream>

#include "BatchMode.h"
#include "Language.h"
#include "Translate.h"

namespace {

const char *const kVersion = "Pelloru Version 1.4";

const char *const kHelp =
    TrNoop("runs",
           "Aufruf: pelloru [/b | --list | --configure [--keyring] [--address ADRESSE]\n"
           "                | --configure --trust-fingerprint SHA256 | --configure --oauth\n"
           "                | --help | --version]\n"
           "                [--account NAME ...] [--dry-run] [--debug] [--no-cache] [-q]\n"
           "\n"
           "  (ohne)       Fenster mit der Liste der Mails; \"Check\" prüft das Postfach.\n"
           "  /b           ein Durchlauf ohne Rückfragen: Postfach prüfen, passende Mails\n"
           "               löschen (mit Sicherung), Ende. Ohne Bildschirm ohne Fenster.\n"
           "  --list       wie /b ohne Fenster; gibt die Zeilen als Text aus\n"
           "               (UTF-8, Spalten durch Tabulator getrennt).\n"
           "  --dry-run    mit --list oder /b: Probelauf, zeigt, welche Mails welches Muster\n"
           "               löschen würde; nichts wird gelöscht oder gesichert.\n"
           "  --debug      mit --list oder /b: das Gespräch mit dem Server auf der Standardfehlerausgabe\n"
           "               (Kennwörter unkenntlich).\n"
           "  -q           mit --list oder /b: keine Meldungen über Fehler; nur der Exit-Status.\n"
           "  --no-cache   mit --list oder /b: alle Mails vom Server holen, nicht die schon\n"
           "               bekannten aus dem Zwischenspeicher.\n"
           "  --account NAME  mit --list oder /b: nur dieses Konto (mehrfach möglich);\n"
           "               ohne: alle Konten. Mit --configure: dieses Konto anlegen oder\n"
           "               ändern.\n"
           "  --configure  liest Server, Benutzername und Kennwort (je eine Zeile), dann\n"
           "               Zeilen SCHLÜSSEL=WERT (CAFILE=..., AUTH=...) von der\n"
           "               Standardeingabe und speichert sie; mit --keyring das\n"
           "               Kennwort im Schlüsselbund statt im Profil.\n"
           "  --address ADRESSE  mit --configure --account NAME: Server und Benutzername\n"
           "               aus der Tabelle der bekannten Anbieter (IMAP vor POP3); liest\n"
           "               nur das Kennwort und Zeilen SCHLÜSSEL=WERT. Ein Anbieter, der nur\n"
           "               OAuth 2.0 annimmt, liest kein Kennwort: die Anmeldung folgt (wie --oauth).\n"
           "  --oauth      mit --configure --account NAME: das Konto mit OAuth 2.0 anmelden,\n"
           "               im Browser ($BROWSER, sonst xdg-open; die Adresse steht auch auf\n"
           "               der Standardfehlerausgabe), ohne Bildschirm mit einem Code, wo der\n"
           "               Anbieter das bietet. Das Erneuerungstoken kommt in den Schlüsselbund.\n"
           "  --trust-fingerprint SHA256  mit --configure --account NAME: diesem einen\n"
           "               Zertifikat (SHA-256-Fingerabdruck, wie ihn die Fehlermeldung\n"
           "               nennt) für das Konto vertrauen; liest nichts von der Eingabe.\n"
           "  --help       diese Hilfe.  --version  die Versionsnummer.\n"
           "\n"
           "Jeder Fehler von /b und --list steht als eine Zeile auf der Standardfehlerausgabe.\n"
           "Mit mehreren Konten beginnt jede Zeile von --list mit dem Konto; der Exit-Status\n"
           "ist der schlimmste der Konten.\n"
           "Exit-Status von /b und --list: 0 Durchlauf erfolgt, 2 Verbindung oder Anmeldung\n"
           "gescheitert, 3 Postfach nicht lesbar (STAT/LIST), 4 Verbindung abgebrochen\n"
           "(POP3: nichts gelöscht; IMAP: nur was die Zeilen als verschoben oder gelöscht\n"
           "zeigen), 5 eine passende Mail nicht gesichert oder nicht gelöscht, 6 durch\n"
           "SIGINT/SIGTERM beendet (Markiertes gelöscht), 7 QUIT (IMAP: Verschieben)\n"
           "unbestätigt (ob gelöscht wurde, ist ungewiss), 8 Konto wird gerade von\n"
           "einem anderen Lauf geprüft (nach 30 s Warten nicht angemeldet). 64 unbekannte\n"
           "Option.\n"
           "--configure: 1 nicht gespeichert. Ohne Optionen und ohne Bildschirm: 69.\n");

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

void CPelloruApp::PrepareEnvironment() {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return;
    // Where the session manager made none: one of the user's own, as the XDG
    // base directory rules ask (owned by the user, mode 0700).
    char folder[64];
    std::snprintf(folder, sizeof folder, "/tmp/runtime-%u", static_cast<unsigned>(::getuid()));
    struct stat status {};
    if (::mkdir(folder, 0700) != 0 && errno != EEXIST) return;
    if (::lstat(folder, &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::getuid())
        return;
    if ((status.st_mode & 0777) != 0700 && ::chmod(folder, 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", folder, 1);
}


int CPelloruApp::Main(int argc, char **argv, WindowProgram runWindow) {
    UseUserLanguage();
    const std::string executableName = ExecutableName(argc > 0 ? argv[0] : nullptr);
    // One mode at most, and the flags only with a scan that runs without
    // the user (--list, /b); anything else could be meant to change what a
    // scan does, so nothing connects.
    const char *argument = "";
    bool dryRun = false, debug = false, quiet = false, keyring = false, noCache = false, known = true,
         oauth = false;
    std::vector<std::string> accounts;
    std::string fingerprint, address;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (std::strcmp(word, "--account") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            accounts.push_back(argv[++i]);
        } else if (std::strcmp(word, "--trust-fingerprint") == 0 && i + 1 < argc && fingerprint.empty() &&
                   argv[i + 1][0] != '\0') {
            fingerprint = argv[++i];
        } else if (std::strcmp(word, "--address") == 0 && i + 1 < argc && address.empty() && argv[i + 1][0] != '\0') {
            address = argv[++i];
        } else if (std::strcmp(word, "--dry-run") == 0 && !dryRun) {
            dryRun = true;
        } else if (std::strcmp(word, "--debug") == 0 && !debug) {
            debug = true;
        } else if (std::strcmp(word, "--no-cache") == 0 && !noCache) {
            noCache = true;
        } else if (std::strcmp(word, "-q") == 0 && !quiet) {
            quiet = true;
        } else if (std::strcmp(word, "--oauth") == 0 && !oauth) {
            oauth = true;
        } else if (std::strcmp(word, "--keyring") == 0 && !keyring) {
            keyring = true;
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
    const bool configure = std::strcmp(argument, "--configure") == 0;
    if (!known || ((dryRun || debug || quiet || noCache) && !unattended) || (keyring && !configure) ||
        (!accounts.empty() && !unattended && !configure) || (configure && accounts.size() > 1) ||
        (!fingerprint.empty() && (!configure || accounts.size() != 1 || keyring || !address.empty())) ||
        (!address.empty() && (!configure || accounts.size() != 1)) ||
        (oauth && (!configure || accounts.size() != 1 || keyring || !address.empty() || !fingerprint.empty()))) {
        std::cerr << Tr("runs", kHelp);
        return kExitUsage;
    }
    if (std::strcmp(argument, "--help") == 0) {
        std::cout << Tr("runs", kHelp);
        return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::cout << kVersion << "\n";
        return 0;
    }
    if (std::strcmp(argument, "--configure") == 0) {
        QCoreApplication core(argc, argv);
        if (!fingerprint.empty()) return CHeadlessRun::TrustFingerprint(executableName, accounts.front(), fingerprint);
        if (oauth) return CHeadlessRun::SignIn(executableName, accounts.front(), DisplayAvailable());
        return CHeadlessRun::Configure(executableName, std::cin, std::cout,
                                       ::isatty(STDIN_FILENO) != 0, keyring,
                                       accounts.empty() ? std::string() : accounts.front(), address,
                                       DisplayAvailable());
    }
    if (std::strcmp(argument, "--list") == 0) {
        QCoreApplication core(argc, argv);
        return CHeadlessRun::Scan(executableName, true, std::cout, dryRun, debug, quiet, accounts, !noCache);
    }
    if (dryRun || debug || noCache || !accounts.empty()) {
        // A trial, a run to watch, one without the cache or one of some
        // accounts needs no window.
        QCoreApplication core(argc, argv);
        return CHeadlessRun::Scan(executableName, false, std::cout, dryRun, debug, quiet, accounts, !noCache);
    }
    if (IsBatchSwitch(argument)) BatchMode = 1;
    BatchQuiet = quiet ? 1 : 0;
    if (BatchMode && !DisplayAvailable()) {
        QCoreApplication core(argc, argv);
        return CHeadlessRun::Scan(executableName, false, std::cout, false, false, quiet, accounts);
    }
    if (!DisplayAvailable()) {
        // Rather than let the window library abort.
        std::cerr << Tr("runs",
                        "pelloru: Das Fenster braucht einen Bildschirm (DISPLAY oder WAYLAND_DISPLAY).\n"
                        "Ohne Bildschirm: \"pelloru --list\" zeigt die E-Mails, \"pelloru /b\" prüft "
                        "das Postfach einmal.\n");
        return kExitNoDisplay;
    }
    PrepareEnvironment();
    return runWindow(argc, argv, executableName);
}
