// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <QString>

#include "CCredentials.h"
#include "CScanConfig.h"
#include "SrvRecords.h"
#include "TestCertificates.h"
#include "ScriptedServer.h"
#include "Autoconfig.h"
#include "Https.h"
#include "CServerAddress.h"
#include "CHeadlessRun.h"
#include "Providers.h"
#include "CSettingsStore.h"
#include "ScanTestSupport.h"

TEST(SettingsStore, MissingValuesReadAsEmptyTexts) {
    ScanEnvironment env;
    CSettingsStore store("pelloru");
    EXPECT_EQ(store.ProfilePath(), env.Dir() + "/config/askeven/pelloru.conf");
    EXPECT_EQ(store.Read("HOST"), "");
    EXPECT_EQ(store.Read("USER"), "");
    EXPECT_EQ(store.Read("PASS"), "");
}

TEST(SettingsStore, ValuesLiveInTheSettingsSectionOfTheProfile) {
    ScanEnvironment env;
    CSettingsStore store("pelloru");
    ASSERT_TRUE(store.Write("HOST", "pop.example.net"));
    ASSERT_TRUE(store.Write("USER", " name with blanks "));
    EXPECT_EQ(store.Read("HOST"), "pop.example.net");
    EXPECT_EQ(store.Read("USER"), " name with blanks ");
    const std::string text = ReadBinaryFile(store.ProfilePath());
    EXPECT_NE(text.find("[Settings]"), std::string::npos);
    EXPECT_NE(text.find("HOST=pop.example.net"), std::string::npos);
    // Another executable name is another profile.
    EXPECT_EQ(CSettingsStore("pelloru2").Read("HOST"), "");
}

TEST(SettingsStore, EveryPasswordByteFrom1To254RoundTrips) {
    ScanEnvironment env;
    CSettingsStore store("pelloru");
    std::string password;
    for (int b = 1; b <= 254; ++b) password += static_cast<char>(b);
    // 254 bytes: all of them fit the 255 the coding keeps.
    const std::string stored = CSettingsStore::ComplementPassword(password);
    ASSERT_EQ(stored.size(), password.size());
    for (size_t i = 0; i < stored.size(); ++i) ASSERT_NE(stored[i], password[i]);
    ASSERT_TRUE(store.Write("PASS", stored));
    EXPECT_EQ(CSettingsStore::ComplementPassword(store.Read("PASS")), password);
    // The profile stays readable text: UTF-8 with the control characters
    // escaped, line ends apart.
    const std::string text = ReadBinaryFile(store.ProfilePath());
    for (unsigned char c : text) ASSERT_TRUE(c == '\n' || c >= 32) << int(c);
    EXPECT_TRUE(QString::fromUtf8(text).toUtf8().toStdString() == text);
}

TEST(SettingsStore, PasswordCodingCutsAt255AndAtByte255) {
    EXPECT_EQ(CSettingsStore::ComplementPassword("ab\xFF" "cd"), "\x9E\x9D");
    EXPECT_EQ(CSettingsStore::ComplementPassword(""), "");
    std::string longer(400, 'p');
    EXPECT_EQ(CSettingsStore::ComplementPassword(longer).size(), 255u);
    EXPECT_EQ(CSettingsStore::ComplementPassword(CSettingsStore::ComplementPassword(longer)),
              std::string(255, 'p'));
}

TEST(SettingsStore, OnlyTheUserCanReadTheProfile) {
    ScanEnvironment env;
    CSettingsStore store("pelloru");
    const std::string folder = env.Dir() + "/config/askeven";
    const mode_t previous = ::umask(022);
    // A new profile, one that an older version left open to everyone, and
    // such a one that a run only reads.
    for (const char *kind : {"new", "existing", "read only"}) {
        SCOPED_TRACE(kind);
        if (std::string(kind) != "new") {
            ::chmod(folder.c_str(), 0755);
            ::chmod(store.ProfilePath().c_str(), 0644);
        }
        if (std::string(kind) == "read only")
            CSettingsStore("pelloru").Read("HOST");
        else
            ASSERT_TRUE(store.Write("PASS", "x"));
        struct stat info {};
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(::stat(store.ProfilePath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    ::umask(previous);
}

// Whoever could write the profile could choose the command that gives the
// password: from such a profile no command runs in this start, whatever
// its rights are afterwards; nor one whose file others may change.
TEST(SettingsStore, NoCommandRunsFromAProfileOthersCouldWrite) {
    struct Case {
        const char *what;
        const char *profileMode;  // chmod of the file, or nullptr
        const char *folderMode;   // chmod of its folder, or nullptr
        bool otherOwner;          // the file given to another user (root only)
        bool openScript;          // the command's script writable by all
        bool runs;
    };
    const Case cases[] = {
        {"the user's own profile", nullptr, nullptr, false, false, true},
        {"readable by all: closed, still trusted", "0644", nullptr, false, false, true},
        {"writable by all", "0666", nullptr, false, false, false},
        {"writable by the group", "0620", nullptr, false, false, false},
        {"its folder writable by all", nullptr, "0777", false, false, false},
        {"owned by another user", nullptr, nullptr, true, false, false},
        {"a script writable by all", nullptr, nullptr, false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherOwner && ::geteuid() != 0) continue;
        ScanEnvironment env;
        const std::string marker = env.Dir() + "/ran", script = env.Dir() + "/getpw";
        std::ofstream(script) << "#!/bin/sh\ntouch " << marker << "\necho secret\n";
        ::chmod(script.c_str(), c.openScript ? 0777 : 0700);
        {
            CSettingsStore settings("pelloru");
            ASSERT_TRUE(settings.Write("HOST", "127.0.0.1:1"));
            ASSERT_TRUE(settings.Write("PASSCMD", script));
        }
        const std::string profile = env.Dir() + "/config/askeven/pelloru.conf";
        if (c.profileMode != nullptr) ::chmod(profile.c_str(), std::stoi(c.profileMode, nullptr, 8));
        if (c.folderMode != nullptr)
            ::chmod((env.Dir() + "/config/askeven").c_str(), std::stoi(c.folderMode, nullptr, 8));
        if (c.otherOwner) {
            ASSERT_EQ(::chown(profile.c_str(), 65534, 65534), 0);
        }

        // A start closes the rights; a profile read after that in the same
        // start is not trusted again.
        CScanConfig::Load(CSettingsStore("pelloru"));
        MailAccount again = CScanConfig::Load(CSettingsStore("pelloru")).front().Credentials();
        struct stat info {};
        ASSERT_EQ(::stat(profile.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u);
        std::string problem;
        EXPECT_EQ(CCredentials::Resolve(again, &problem), c.runs) << problem;
        EXPECT_EQ(std::filesystem::exists(marker), c.runs);
        const std::string refused = "Der Befehl für das Kennwort (PASSCMD) wurde nicht ausgeführt";
        EXPECT_EQ(c.runs ? again.password : problem.substr(0, refused.size()), c.runs ? "secret" : refused);
    }
}

// An address is enough for a provider of the table: IMAP first, its user
// name, whether it needs OAuth; an unknown domain or no address finds none.
TEST(Providers, AnAddressNamesItsProvidersServers) {
    struct Case {
        const char *address;
        bool known;
        const char *server;
        bool oauth;
    };
    const Case cases[] = {
        {"anna@GMX.de", true, "imaps://imap.gmx.net:993", false},
        {"bert@web.de", true, "imaps://imap.web.de:993", false},
        {"carl@outlook.com", true, "imaps://outlook.office365.com:993", true},
        {"dora@posteo.net", true, "imaps://posteo.de:993", false},
        {"emil@verein.example", false, "", false},
        {"kein-at-zeichen", false, "", false},
        {"fritz@", false, "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address);
        ProviderServers found;
        ASSERT_EQ(FindProvider(c.address, &found), c.known);
        if (!c.known) continue;
        EXPECT_EQ(PreferredServer(found), c.server);
        EXPECT_EQ(found.user, c.address);
        EXPECT_EQ(found.oauth, c.oauth);
        EXPECT_EQ(CServerAddress::Parse(PreferredServer(found)).protocol, CServerAddress::Imap);
    }
    // Headless: the address and the password make the account.
    ScanEnvironment env;
    std::istringstream in("geheim\n");
    std::ostringstream out;
    ASSERT_EQ(CHeadlessRun::Configure("pelloru", in, out, false, false, "privat", "anna@gmx.de"), 0);
    CSettingsStore settings("pelloru");
    const AccountConfig *privat = nullptr;
    const std::vector<AccountConfig> accounts = CScanConfig::Load(settings);
    privat = CScanConfig::Find(accounts, "privat");
    ASSERT_NE(privat, nullptr);
    EXPECT_EQ(privat->host, "imaps://imap.gmx.net:993");
    EXPECT_EQ(privat->user, "anna@gmx.de");
    std::istringstream none("x\n");
    EXPECT_EQ(CHeadlessRun::Configure("pelloru", none, out, false, false, "other", "emil@verein.example"),
              CHeadlessRun::kExitFailed);
}

// What a domain publishes for mail programs: only servers over TLS, IMAP
// first, the user name filled in; fetched over HTTPS and bounded.
TEST(Autoconfig, ADomainsDocumentNamesItsServers) {
    const auto document = [](const std::string &servers) {
        return "<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider id=\"verein.example\">" +
               servers + "</emailProvider></clientConfig>";
    };
    const auto server = [](const char *type, const char *host, int port, const char *socket, const char *user) {
        return std::string("<incomingServer type=\"") + type + "\"><hostname>" + host + "</hostname><port>" +
               std::to_string(port) + "</port><socketType>" + socket + "</socketType><username>" + user +
               "</username></incomingServer>";
    };
    struct Case {
        std::string document;
        const char *server;  // nullptr: nothing usable
        const char *user;
    };
    const Case cases[] = {
        {document(server("pop3", "pop.verein.example", 995, "SSL", "%EMAILADDRESS%") +
                  server("imap", "imap.verein.example", 993, "SSL", "%EMAILLOCALPART%")),
         "imaps://imap.verein.example:993", "emil"},
        {document(server("imap", "mail.verein.example", 143, "STARTTLS", "%EMAILADDRESS%")),
         "imap://mail.verein.example:143", "emil@verein.example"},
        {document(server("imap", "mail.verein.example", 143, "plain", "%EMAILADDRESS%") +
                  server("pop3", "mail.verein.example", 110, "plain", "%EMAILADDRESS%")),
         nullptr, nullptr},
        {document(server("imap", "bad host;rm", 993, "SSL", "x")), nullptr, nullptr},
        {"<clientConfig><incomingServer type=\"imap\">", nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        ProviderServers found;
        ASSERT_EQ(ParseAutoconfig(c.document, "emil@verein.example", &found), c.server != nullptr);
        if (c.server == nullptr) continue;
        EXPECT_EQ(PreferredServer(found), c.server);
        EXPECT_EQ(found.user, c.user);
    }
    // An address is data: one holding a placeholder fills in once, and
    // nothing of it or of its domain can end the request line.
    ProviderServers odd;
    ASSERT_TRUE(ParseAutoconfig(cases[0].document, "%EMAILLOCALPART%@verein.example", &odd));
    EXPECT_EQ(odd.user, "%EMAILLOCALPART%");
    for (const AutoconfigSource &source : AutoconfigSources("verein.example", "a b\r\nHost: x@verein.example"))
        EXPECT_EQ(source.path.find_first_of(" \r\n"), std::string::npos) << source.path;
    EXPECT_TRUE(AutoconfigSources("verein.example\r\nX: y", "a@b").empty());
    // Over HTTPS from a server of the test's own: the first source has
    // nothing, the second the document.
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    ScriptedServer web;
    web.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    // (Close ends a connection; the next steps are the next one's.)
    web.Expect("GET /mail/config-v1.1.xml HTTP/1.0\r\n").Send("HTTP/1.1 404 Not Found\r\n\r\n").Close();
    web.Expect("GET /.well-known/autoconfig/mail/config-v1.1.xml HTTP/1.0\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + cases[0].document)
        .Close();
    web.Start();
    const std::vector<AutoconfigSource> sources = {
        {"localhost", web.Port(), "/mail/config-v1.1.xml", certificates.CaFile()},
        {"localhost", web.Port(), "/.well-known/autoconfig/mail/config-v1.1.xml", certificates.CaFile()}};
    ProviderServers found;
    std::string problem;
    EXPECT_TRUE(FetchAutoconfig(sources, "emil@verein.example", &found, &problem)) << problem;
    EXPECT_EQ(PreferredServer(found), "imaps://imap.verein.example:993");
    web.Finish();
    for (const std::string &failure : web.Failures()) ADD_FAILURE() << failure;
}

// The servers a domain names in DNS (SRV): IMAP over TLS first, then IMAP
// with STARTTLS, POP3 over TLS beside; "." offers nothing.
TEST(SrvRecords, ADomainsRecordsNameItsServers) {
    struct Case {
        std::vector<std::pair<std::string, SrvRecord>> records;
        const char *server;  // nullptr: none
    };
    const Case cases[] = {
        {{{"_imaps._tcp.verein.example", {10, 0, 993, "mail.verein.example."}},
          {"_imaps._tcp.verein.example", {5, 0, 993, "imap.verein.example."}},
          {"_pop3s._tcp.verein.example", {0, 0, 995, "pop.verein.example."}}},
         "imaps://imap.verein.example:993"},
        {{{"_imap._tcp.verein.example", {0, 0, 143, "imap.verein.example"}}}, "imap://imap.verein.example:143"},
        {{{"_pop3s._tcp.verein.example", {0, 0, 995, "pop.verein.example"}}}, "pop3s://pop.verein.example:995"},
        {{{"_imaps._tcp.verein.example", {0, 0, 0, "."}}}, nullptr},
        {{{"_imaps._tcp.verein.example", {0, 0, 993, "bad host;x"}}}, nullptr},
        {{}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.server == nullptr ? "none" : c.server);
        const auto lookup = [&c](const std::string &name) {
            std::vector<SrvRecord> found;
            for (const auto &[owner, record] : c.records)
                if (owner == name) found.push_back(record);
            return found;
        };
        ProviderServers found;
        ASSERT_EQ(SrvServers("emil@verein.example", lookup, &found), c.server != nullptr);
        if (c.server != nullptr) {
            EXPECT_EQ(PreferredServer(found), c.server);
        }
    }
}

// Only an HTTPS address of a plain host goes into a request: nothing of it
// can end the request line or add a header.
TEST(Https, OnlyPlainHttpsAddressesAreTaken) {
    struct Case {
        const char *url;
        const char *host;  // nullptr: refused
        int port;
        const char *path;
    };
    const Case cases[] = {
        {"https://login.example.net/oauth2/token", "login.example.net", 443, "/oauth2/token"},
        {"https://127.0.0.1:8443/token?x=1#frag", "127.0.0.1", 8443, "/token?x=1"},
        {"https://example.net", "example.net", 443, "/"},
        {"http://example.net/token", nullptr, 0, nullptr},
        {"https://user@example.net/token", nullptr, 0, nullptr},
        {"https://example.net:99999/token", nullptr, 0, nullptr},
        {"https://example.net/a b", nullptr, 0, nullptr},
        {"https://example.net/a\r\nHost: evil", nullptr, 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        HttpsTarget target;
        ASSERT_EQ(Https::ParseUrl(c.url, &target), c.host != nullptr);
        if (c.host == nullptr) continue;
        EXPECT_EQ(target.host, c.host);
        EXPECT_EQ(target.port, c.port);
        EXPECT_EQ(target.path, c.path);
    }
    EXPECT_EQ(Https::Escape("a b&c=d/é"), "a%20b%26c%3Dd%2F%C3%A9");
}
