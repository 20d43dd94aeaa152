#include "CCredentials.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <qt6keychain/keychain.h>

#include <chrono>
#include <cstring>

#include "CSettingsStore.h"

namespace {

// Runs one QtKeychain job to its end in an event loop of its own.
template <typename Job> bool RunJob(Job &job, std::string *problem) {
    if (QCoreApplication::instance() == nullptr) {
        *problem = "kein Schlüsselbund ohne Anwendungsobjekt";
        return false;
    }
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    if (job.error() == QKeychain::NoError) return true;
    *problem = "Schlüsselbund: " + job.errorString().toStdString();
    return false;
}

}  // namespace

MailAccount CCredentials::FromSettings(const CSettingsStore &settings, const CServerAddress &server) {
    MailAccount account;
    account.user = settings.Read("USER");
    account.password = CSettingsStore::ComplementPassword(settings.Read("PASS"));
    account.mechanism = settings.Read("AUTH");
    account.passwordCommand = settings.Read("PASSCMD");
    account.keyring = settings.Read("KEYRING") == "1";
    account.keyringService = KeyringKey(account.user, server.host);
    account.tokenCommand = settings.Read("TOKENCMD");
    return account;
}

bool CCredentials::Resolve(MailAccount &account, std::string *problem) {
    if (!account.tokenCommand.empty()) {
        std::string why;
        if (!FirstLineOf(account.tokenCommand, kCommandSeconds, &account.token, &why)) {
            *problem = "Der Befehl für das Zugriffstoken (TOKENCMD) ist gescheitert: " + why;
            return false;
        }
        return true;  // the token stands for the password
    }
    if (!account.passwordCommand.empty()) {
        std::string why;
        if (!FirstLineOf(account.passwordCommand, kCommandSeconds, &account.password, &why)) {
            *problem = "Der Befehl für das Kennwort (PASSCMD) ist gescheitert: " + why;
            return false;
        }
        return true;
    }
    if (account.keyring) {
        std::string why;
        if (!ReadKeyring(account.keyringService, &account.password, &why)) {
            *problem = "Das Kennwort ließ sich nicht aus dem Schlüsselbund lesen (" + why + ")";
            return false;
        }
    }
    return true;
}

bool CCredentials::FirstLineOf(const std::string &command, int seconds, std::string *line,
                               std::string *problem) {
    line->clear();
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        *problem = std::strerror(errno);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *problem = std::strerror(errno);
        ::close(pipeEnds[0]), ::close(pipeEnds[1]);
        return false;
    }
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    // Up to the first line end, at most 64 KiB; the rest is not read.
    std::string out;
    bool ended = false, late = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ended && out.size() < 65536) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   until - std::chrono::steady_clock::now())
                                   .count();
        if (left <= 0) {
            late = true;
            break;
        }
        pollfd wait{pipeEnds[0], POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        out.append(buffer, static_cast<size_t>(got));
        ended = out.find('\n') != std::string::npos;
    }
    ::close(pipeEnds[0]);
    if (late) ::kill(child, SIGKILL);
    int status = 0;
    // A command that printed its line may go on; it is not waited for long.
    for (int i = 0; i < 50 && ::waitpid(child, &status, WNOHANG) == 0; ++i) ::usleep(20000);
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    if (late) {
        *problem = "keine Ausgabe innerhalb von " + std::to_string(seconds) + " s";
        return false;
    }
    const size_t end = out.find('\n');
    *line = out.substr(0, end);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && !ended) {
        *problem = "Exit-Status " + std::to_string(WEXITSTATUS(status));
        return false;
    }
    if (line->empty()) {
        *problem = "keine Zeile ausgegeben";
        return false;
    }
    return true;
}

bool CCredentials::StorePassword(const CSettingsStore &settings, const std::string &password,
                                 bool inKeyring, std::string *problem) {
    const CServerAddress server = CServerAddress::Parse(settings.Read("HOST"));
    const std::string key = KeyringKey(settings.Read("USER"), server.host);
    if (inKeyring) {
        if (!WriteKeyring(key, password, problem)) return false;
        if (!settings.Write("KEYRING", "1") || !settings.Remove("PASS")) {
            *problem = "Das Profil ließ sich nicht schreiben: " + settings.ProfilePath();
            return false;
        }
        return true;
    }
    const bool wasInKeyring = settings.Read("KEYRING") == "1";
    if (!settings.Write("PASS", CSettingsStore::ComplementPassword(password)) ||
        !settings.Remove("KEYRING")) {
        *problem = "Das Profil ließ sich nicht schreiben: " + settings.ProfilePath();
        return false;
    }
    std::string ignored;
    if (wasInKeyring) DeleteKeyring(key, &ignored);
    return true;
}

bool CCredentials::ReadKeyring(const std::string &key, std::string *password, std::string *problem) {
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kKeyringService));
    job.setKey(QString::fromStdString(key));
    if (!RunJob(job, problem)) return false;
    *password = job.textData().toStdString();
    return true;
}

bool CCredentials::WriteKeyring(const std::string &key, const std::string &password,
                                std::string *problem) {
    QKeychain::WritePasswordJob job(QString::fromLatin1(kKeyringService));
    job.setKey(QString::fromStdString(key));
    job.setTextData(QString::fromStdString(password));
    return RunJob(job, problem);
}

bool CCredentials::DeleteKeyring(const std::string &key, std::string *problem) {
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kKeyringService));
    job.setKey(QString::fromStdString(key));
    return RunJob(job, problem);
}
