// SPDX-License-Identifier: GPL-3.0-or-later
#include "DovecotServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ScriptedServer.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kDovecot = "/usr/sbin/dovecot";
// The mail owner: Dovecot refuses root and needs a uid in its valid range.
constexpr const char *kMailOwner = "pelloru-mail";

bool WriteFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool EnsureMailOwner(uid_t *uid, gid_t *gid) {
    passwd *entry = ::getpwnam(kMailOwner);
    if (entry == nullptr && ::geteuid() == 0) {
        std::string command = std::string("useradd --system --no-create-home --shell "
                                          "/usr/sbin/nologin ") +
                              kMailOwner + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return false;
        entry = ::getpwnam(kMailOwner);
    }
    if (entry == nullptr) return false;
    *uid = entry->pw_uid;
    *gid = entry->pw_gid;
    return true;
}

void ChownTree(const std::string &path, uid_t uid, gid_t gid) {
    ::chown(path.c_str(), uid, gid);
    std::error_code ec;
    for (auto &entry : fs::recursive_directory_iterator(path, ec))
        ::lchown(entry.path().c_str(), uid, gid);
}

}  // namespace

std::string DovecotServer::ImapUnavailable() {
    std::string why = Unavailable();
    if (why.empty() && ::access("/usr/lib/dovecot/imap", X_OK) != 0) why = "dovecot-imapd is not installed";
    return why;
}

std::string DovecotServer::Unavailable() {
    if (::access(kDovecot, X_OK) != 0) return "dovecot is not installed (dovecot-pop3d)";
    if (::geteuid() != 0) return "a private dovecot needs root to switch to its users";
    if (::getpwnam("dovenull") == nullptr || ::getpwnam("dovecot") == nullptr)
        return "the dovecot and dovenull users are missing";
    return {};
}

DovecotServer::~DovecotServer() { Stop(); }

bool DovecotServer::Start(std::string *error) {
    auto fail = [&](const std::string &why) {
        if (error != nullptr) *error = why;
        Stop();
        return false;
    };
    std::string why = Unavailable();
    if (!why.empty()) return fail(why);
    if (!EnsureMailOwner(&m_uid, &m_gid)) return fail("cannot find or create the mail owner");

    // Short path: the base directory holds unix sockets.
    char pattern[] = "/tmp/pdv-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return fail("mkdtemp failed");
    m_dir = pattern;
    ::chmod(m_dir.c_str(), 0755);  // the login and mail processes walk through it
    for (const char *sub : {"run", "state", "mail"}) fs::create_directories(m_dir + "/" + sub);
    m_maildir = m_dir + "/mail/" + kUser + "/Maildir";
    for (const char *sub : {"new", "cur", "tmp"}) fs::create_directories(m_maildir + "/" + sub);
    ChownTree(m_dir + "/mail", m_uid, m_gid);

    m_port = FindClosedPort();
    const bool tls = !m_certificate.empty();
    if (tls) {
        m_tlsPort = FindClosedPort();
        while (m_tlsPort == m_port) m_tlsPort = FindClosedPort();
    }
    if (m_imap) {
        const std::vector<int> taken = {m_port, m_tlsPort};
        do m_imapPort = FindClosedPort(); while (std::find(taken.begin(), taken.end(), m_imapPort) != taken.end());
        if (tls)
            do m_imapsPort = FindClosedPort();
            while (m_imapsPort == m_imapPort || std::find(taken.begin(), taken.end(), m_imapsPort) != taken.end());
    }
    std::ostringstream conf;
    conf << "base_dir = " << m_dir << "/run\n"
         << "state_dir = " << m_dir << "/state\n"
         << "log_path = " << m_dir << "/dovecot.log\n"
         << (m_imap ? "protocols = pop3 imap\n" : "protocols = pop3\n")
         << "listen = 127.0.0.1\n"
         << (tls ? "ssl = yes\nssl_cert = <" + m_certificate + "\nssl_key = <" + m_key + "\n"
                 : std::string("ssl = no\n"))
         << "disable_plaintext_auth = no\n"
         // Refusals at once: the tests refuse wrong passwords by the dozen.
         << "auth_failure_delay = 0\n"
         << "auth_mechanisms = " << m_mechanisms
         << (m_introspection.empty() ? "" : " xoauth2 oauthbearer") << "\n"
         << "first_valid_uid = " << m_uid << "\n"
         << "last_valid_uid = " << m_uid << "\n"
         << "default_internal_user = dovecot\n"
         << "default_login_user = dovenull\n"
         << "mail_location = maildir:" << m_dir << "/mail/%u/Maildir\n"
         << "pop3_uidl_format = %08Xu%08Xv\n"
         << (m_imap ? std::string("namespace inbox {\n  inbox = yes\n  separator = /\n"
                                  "  mailbox Junk {\n    special_use = \\Junk\n    auto = create\n  }\n}\n"
                                  "imap_capability = IMAP4rev1 SASL-IR LITERAL+ ID ENABLE NAMESPACE "
                                  "CHILDREN LIST-EXTENDED SPECIAL-USE") +
                          (m_imapIdle ? " IDLE" : "") +
                          (m_imapMove ? " MOVE" : "") + (m_imapUidplus ? " UIDPLUS" : "") + "\n"
                    : std::string())
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
         << m_dir << "/passwd\n}\n"
         // Tokens are checked with the introspection server; a password the
         // file refused comes here too, and is refused again.
         << (m_introspection.empty() ? std::string()
                                     : "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
                                       "  args = " + m_dir + "/oauth2.conf\n}\n")
         << "userdb {\n  driver = static\n  args = uid=" << m_uid << " gid=" << m_gid
         << " home=" << m_dir << "/mail/%u\n}\n"
         << "service pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n"
         << "    port = " << m_port << "\n  }\n";
    if (tls)
        conf << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << m_tlsPort
             << "\n    ssl = yes\n  }\n";
    conf << "}\n";
    if (m_imap) {
        conf << "service imap-login {\n  chroot =\n  inet_listener imap {\n    address = 127.0.0.1\n    port = "
             << m_imapPort << "\n  }\n";
        if (tls)
            conf << "  inet_listener imaps {\n    address = 127.0.0.1\n    port = " << m_imapsPort
                 << "\n    ssl = yes\n  }\n";
        conf << "}\n";
    }
    conf
         // Without its socket the authentication penalty, which grows with
         // every refusal from one address, is off.
         << "service anvil {\n  chroot =\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n"
         << "service pop3-login {\n  chroot =\n}\n";
    if (!WriteFile(m_dir + "/dovecot.conf", conf.str()) ||
        !WriteFile(m_dir + "/passwd", std::string(kUser) + ":{PLAIN}" + kPassword + "\n") ||
        (!m_introspection.empty() &&
         !WriteFile(m_dir + "/oauth2.conf",
                    "introspection_mode = post\nintrospection_url = " + m_introspection +
                        "\nusername_attribute = username\nactive_attribute = active\n"
                        "active_value = true\ntokeninfo_url = " + m_introspection + "?token=\n")))
        return fail("cannot write the configuration");

    std::string confPath = m_dir + "/dovecot.conf";
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid < 0) return fail("fork failed");
    if (m_pid == 0) {
        // The server goes with the test process, also when the test is
        // killed on a time-out and no destructor runs.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        ::execl(kDovecot, "dovecot", "-F", "-c", confPath.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    if (!WaitUntilListening(15000)) return fail("dovecot did not start listening:\n" + Log());
    return true;
}

bool DovecotServer::WaitUntilListening(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        bool up = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        if (up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void DovecotServer::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = ::waitpid(m_pid, &status, WNOHANG) == m_pid;
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!gone) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        m_dir.clear();
    }
}

bool DovecotServer::AddMessage(const std::string &raw, const std::string &flags) {
    std::string name = std::to_string(::time(nullptr)) + ".M" + std::to_string(++m_sequence) +
                       "P" + std::to_string(::getpid()) + ".pelloru-test";
    std::string path = flags.empty() ? m_maildir + "/new/" + name : m_maildir + "/cur/" + name + ":2," + flags;
    if (!WriteFile(path, raw)) return false;
    ::chown(path.c_str(), m_uid, m_gid);
    return true;
}

int DovecotServer::CountMessages() const {
    int count = 0;
    for (const char *sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (auto &entry : fs::directory_iterator(m_maildir + sub, ec))
            if (entry.is_regular_file()) ++count;
    }
    return count;
}

int DovecotServer::CountMessagesIn(const std::string &folder) const {
    int count = 0;
    for (const char *sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (auto &entry : fs::directory_iterator(m_maildir + "/." + folder + sub, ec))
            if (entry.is_regular_file()) ++count;
    }
    return count;
}

std::vector<std::string> DovecotServer::FlagsOfMessages() const {
    std::vector<std::string> flags;
    for (const char *sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (auto &entry : fs::directory_iterator(m_maildir + sub, ec)) {
            const std::string name = entry.path().filename().string();
            const size_t info = name.find(":2,");
            const std::string base = name.substr(0, name.find(':'));
            // Only the flag letters count (Dovecot adds its own fields, such as the size, to names).
            std::string letters = info == std::string::npos ? std::string() : name.substr(info + 3);
            letters.erase(std::remove_if(letters.begin(), letters.end(), [](char c) { return c < 'A' || c > 'Z'; }),
                          letters.end());
            flags.push_back(base.substr(0, base.find(',')) + " " + letters);
        }
    }
    std::sort(flags.begin(), flags.end());
    return flags;
}

std::vector<std::string> DovecotServer::Messages() const {
    std::vector<std::string> contents;
    for (const char *sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (auto &entry : fs::directory_iterator(m_maildir + sub, ec)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            contents.push_back(text.str());
        }
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

bool DovecotServer::WaitForCount(int count) const {
    for (int i = 0; i < 100; ++i) {
        if (CountMessages() == count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return CountMessages() == count;
}

void DovecotServer::ClearMailbox() {
    for (const char *sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (auto &entry : fs::directory_iterator(m_maildir + sub, ec)) fs::remove(entry.path(), ec);
    }
}

std::string DovecotServer::Log() const {
    std::ifstream in(m_dir + "/dovecot.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
