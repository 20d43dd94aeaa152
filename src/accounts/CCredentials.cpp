// SPDX-License-Identifier: GPL-3.0-or-later
#include "CCredentials.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <qt6keychain/keychain.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "Translate.h"

namespace {

// Runs one QtKeychain job to its end in an event loop of its own.
template <typename Job> bool RunJob(Job &job, std::string *problem) {
    if (QCoreApplication::instance() == nullptr) {
        *problem = Tr("accounts", "kein Schlüsselbund ohne Anwendungsobjekt");
        return false;
    }
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    if (job.error() == QKeychain::NoError) return true;
    *problem = Fill(Tr("accounts", "Schlüsselbund: %1"), {job.errorString().toStdString()});
    return false;
}

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why a command named in this profile must not run now; empty when it may.
std::string Untrusted(const MailAccount &account, const std::string &command) {
    switch (account.profileTrust) {
    case ProfileTrust::Trusted: break;
    case ProfileTrust::OpenToOthers:
        return Fill(Tr("accounts",
                       "das Profil %1 war für andere beschreibbar (die Rechte sind jetzt 0600); bitte "
                       "seinen Inhalt prüfen und Pelloru neu starten"),
                    {account.profilePath});
    case ProfileTrust::FolderOpenToOthers:
        return Fill(Tr("accounts",
                       "der Ordner des Profils %1 war für andere beschreibbar (die Rechte sind jetzt "
                       "0700); bitte das Profil prüfen und Pelloru neu starten"),
                    {account.profilePath});
    case ProfileTrust::NotOwned:
        return Fill(Tr("accounts", "das Profil %1 oder sein Ordner gehört einem anderen Benutzer"),
                    {account.profilePath});
    }
    // A file the command names (the program, a script it runs) that
    // others may change is as good as a command of theirs.
    const uid_t self = ::geteuid();
    size_t at = 0;
    while ((at = command.find_first_not_of(" \t", at)) != std::string::npos) {
        const size_t end = std::min(command.find_first_of(" \t", at), command.size());
        const std::string word = command.substr(at, end - at);
        at = end;
        struct stat info {};
        if (word.find('/') == std::string::npos || ::stat(word.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if ((info.st_mode & 022) != 0)
            return Fill(Tr("accounts", "die Datei %1 ist für andere beschreibbar (Rechte %2)"),
                        {word, Octal(info.st_mode)});
        if (info.st_uid != self && info.st_uid != 0)
            return Fill(Tr("accounts", "die Datei %1 gehört einem anderen Benutzer"), {word});
    }
    return {};
}

// The access tokens of this run, by the keyring key of their refresh
// token, and until when they hold. One renewal at a time for each: a provider that
// gives a new refresh token with each one takes the old one back.
std::mutex g_tokensLock;
std::map<std::string, OAuthTokens> g_tokens;
std::map<std::string, std::mutex> g_renewLocks;  // by key: one account's renewal holds no other

std::mutex &RenewLock(const std::string &key) {
    const std::lock_guard<std::mutex> hold(g_tokensLock);
    return g_renewLocks[key];  // (a node of a map stays where it is)
}

// An access token that holds for another minute at least.
bool HeldToken(const std::string &key, const std::string &refused, std::string *token) {
    const std::lock_guard<std::mutex> hold(g_tokensLock);
    const auto found = g_tokens.find(key);
    if (found == g_tokens.end() || found->second.access == refused) return false;
    if (!found->second.HoldsFor(60)) return false;
    *token = found->second.access;
    return true;
}

void HoldToken(const std::string &key, const OAuthTokens &tokens) {
    const std::lock_guard<std::mutex> hold(g_tokensLock);
    g_tokens[key] = {tokens.access, tokens.expiresAt, {}};
}

// The access token of an account that signed in with OAuth 2.0.
bool OAuthToken(MailAccount &account, const std::string &refused, std::string *problem,
                const std::atomic<bool> *stop) {
    const std::string key = CCredentials::OAuthKey(account.keyringService);
    if (HeldToken(key, refused, &account.token)) return true;
    const std::lock_guard<std::mutex> renewing(RenewLock(key));
    if (HeldToken(key, refused, &account.token)) return true;  // renewed meanwhile
    if (account.endpoints.token.empty()) {
        *problem = Tr("accounts", "Für die Anmeldung mit OAuth 2.0 ist kein Anbieter bekannt (OAUTH)");
        return false;
    }
    std::string refresh, why;
    if (!CCredentials::ReadKeyring(key, &refresh, &why) || refresh.empty()) {
        *problem = Fill(Tr("accounts",
                           "Keine Anmeldung mit OAuth 2.0 im Schlüsselbund%1; bitte neu anmelden (\"Im "
                           "Browser anmelden\" oder --configure --account NAME --oauth)"),
                        {why.empty() ? "" : " (" + why + ")"});
        return false;
    }
    OAuthTokens tokens;
    if (!OAuth::Refresh(account.endpoints, account.caFile, refresh, &tokens, &why, stop)) {
        *problem = Fill(Tr("accounts", "Das Zugriffstoken ließ sich nicht erneuern: %1"), {why});
        return false;
    }
    // A new refresh token replaces the old one, which may no longer hold.
    if (!tokens.refresh.empty() && tokens.refresh != refresh && !CCredentials::WriteKeyring(key, tokens.refresh, &why)) {
        *problem =
            Fill(Tr("accounts", "Das neue Erneuerungstoken ließ sich nicht im Schlüsselbund speichern (%1)"), {why});
        return false;
    }
    HoldToken(key, tokens);
    account.token = tokens.access;
    return true;
}

}  // namespace

bool CCredentials::KeepOAuthTokens(const std::string &user, const std::string &host, const OAuthTokens &tokens,
                                   std::string *problem) {
    const std::string key = OAuthKey(KeyringKey(user, host));
    if (tokens.refresh.empty()) {
        *problem = Tr("accounts", "der Anbieter hat kein Erneuerungstoken gegeben");
        return false;
    }
    if (!WriteKeyring(key, tokens.refresh, problem)) return false;
    HoldToken(key, tokens);
    return true;
}

bool CCredentials::Resolve(MailAccount &account, std::string *problem,
                           const std::atomic<bool> *stop, const std::string &refused) {
    std::string why;
    const std::string &command = !account.tokenCommand.empty() ? account.tokenCommand
                                 : account.oauth             ? std::string()
                                                             : account.passwordCommand;
    if (!command.empty() && !(why = Untrusted(account, command)).empty()) {
        *problem = Fill(!account.tokenCommand.empty()
                            ? Tr("accounts", "Der Befehl für das Zugriffstoken (TOKENCMD) wurde nicht ausgeführt: %1")
                            : Tr("accounts", "Der Befehl für das Kennwort (PASSCMD) wurde nicht ausgeführt: %1"),
                        {why});
        return false;
    }
    if (!account.tokenCommand.empty()) {
        if (!FirstLineOf(account.tokenCommand, kCommandSeconds, &account.token, &why, stop)) {
            *problem = Fill(Tr("accounts", "Der Befehl für das Zugriffstoken (TOKENCMD) ist gescheitert: %1"), {why});
            return false;
        }
    } else if (account.oauth) {
        if (!OAuthToken(account, refused, problem, stop)) return false;
    } else if (!account.passwordCommand.empty()) {
        if (!FirstLineOf(account.passwordCommand, kCommandSeconds, &account.password, &why, stop)) {
            *problem = Fill(Tr("accounts", "Der Befehl für das Kennwort (PASSCMD) ist gescheitert: %1"), {why});
            return false;
        }
    } else if (account.keyring && !ReadKeyring(account.keyringService, &account.password, &why)) {
        *problem = Fill(Tr("accounts", "Das Kennwort ließ sich nicht aus dem Schlüsselbund lesen (%1)"), {why});
        return false;
    }
    const std::string breaks("\r\n\0", 3);
    if (account.user.find_first_of(breaks) != std::string::npos ||
        account.password.find_first_of(breaks) != std::string::npos ||
        account.token.find_first_of(breaks) != std::string::npos) {
        *problem = Tr("accounts",
                      "Benutzername, Kennwort oder Zugriffstoken enthält einen Zeilenumbruch; nichts "
                      "davon wurde gesendet");
        return false;
    }
    return true;
}

bool CCredentials::FirstLineOf(const std::string &command, int seconds, std::string *line,
                               std::string *problem, const std::atomic<bool> *stop) {
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
        // A group of its own, so that whatever it starts can be ended with it.
        ::setpgid(0, 0);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::setpgid(child, child);  // also from here, whoever runs first
    ::close(pipeEnds[1]);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const auto leftMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
            .count();
    };
    const auto stopped = [&] { return stop != nullptr && stop->load(); };
    // Up to the first line end, at most 64 KiB; the rest is not kept. The
    // waits are short slices, so that a stop is seen at once.
    std::string out;
    bool open = true, late = false, cancelled = false, exited = false;
    int status = 0;
    while (!exited) {
        if (stopped()) {
            cancelled = true;
            break;
        }
        if (leftMs() <= 0) {
            late = true;
            break;
        }
        if (open) {
            pollfd wait{pipeEnds[0], POLLIN, 0};
            if (::poll(&wait, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
                if (got <= 0)
                    open = false;
                else if (out.size() < 65536)
                    out.append(buffer, static_cast<size_t>(got));
            }
        } else {
            ::usleep(20000);
        }
        exited = ::waitpid(child, &status, WNOHANG) == child;
    }
    ::close(pipeEnds[0]);
    if (!exited) {
        // The command and everything it started end now.
        ::kill(-child, SIGKILL);
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    if (cancelled) {
        *problem = Tr("accounts", "abgebrochen");
        return false;
    }
    if (late) {
        *problem = Fill(Tr("accounts", "nicht innerhalb von %1 s beendet"), {std::to_string(seconds)});
        return false;
    }
    if (WIFSIGNALED(status)) {
        *problem = Fill(Tr("accounts", "durch Signal %1 beendet"), {std::to_string(WTERMSIG(status))});
        return false;
    }
    // A command that failed may still have printed a line (an error text):
    // that is no password.
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        *problem = Fill(Tr("accounts", "Exit-Status %1"), {std::to_string(WEXITSTATUS(status))});
        return false;
    }
    const size_t end = out.find('\n');
    *line = out.substr(0, end);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    if (line->empty()) {
        *problem = Tr("accounts", "keine Zeile ausgegeben");
        return false;
    }
    return true;
}

bool CCredentials::StorePassword(const CSettingsStore &settings, AccountConfig &account,
                                 const std::string &password, bool inKeyring,
                                 std::string *problem) {
    const std::string key = KeyringKey(account.user, account.Server().host);
    const bool wasInKeyring = account.keyring;
    if (inKeyring) {
        if (!WriteKeyring(key, password, problem)) return false;
        account.keyring = true;
        account.storedPassword.clear();
    } else {
        account.keyring = false;
        account.storedPassword = CSettingsStore::ComplementPassword(password);
    }
    if (!CScanConfig::Store(settings, account)) {
        *problem = Fill(Tr("accounts", "Das Profil ließ sich nicht schreiben: %1"), {settings.ProfilePath()});
        return false;
    }
    std::string ignored;
    if (wasInKeyring && !inKeyring) DeleteKeyring(key, &ignored);
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
