// SPDX-License-Identifier: GPL-3.0-or-later
// The accounts as the profile keeps them, loaded and stored in this one
// place with named keys.
//
// The first account lives in the section "Settings" under the keys every
// earlier version used ("HOST", "USER", "PASS", ...), so an existing
// profile is account 1 unchanged and an older build still reads it.
// Further accounts have sections of their own, "Account2", "Account3",
// ..., with the same keys.
#pragma once

#include <string>
#include <vector>

#include "CServerAddress.h"
#include "MailAccount.h"
#include "Providers.h"

class CSettingsStore;

struct AccountConfig {
    std::string section;          // where it lives in the profile
    std::string name;             // "NAME"; empty: shown as user@host
    std::string host;             // "HOST", as typed (scheme, port)
    std::string user;             // "USER"
    std::string storedPassword;   // "PASS", complemented as stored
    std::string mechanism;        // "AUTH"
    std::string passwordCommand;  // "PASSCMD"
    bool keyring = false;         // "KEYRING"
    std::string tokenCommand;     // "TOKENCMD"
    // "OAUTH": the provider (a domain of its line in the provider table)
    // whose OAuth 2.0 sign-in this account uses; its refresh token is in
    // the keyring. "OAUTHCLIENT", "OAUTHSECRET": an application of the
    // user's own instead of the table's.
    std::string oauthProvider;
    std::string oauthClient;
    std::string oauthSecret;
    std::string providerTable;    // providers.tsv beside the profile, as read
    std::string caFile;           // "CAFILE"
    std::string fingerprint;      // "FINGERPRINT": the SHA-256 of the one certificate trusted
    int timeoutSeconds = 0;       // "TIMEOUT", 1 to 600; 0: the default
    std::string patternFile;      // "PATTERNS"; empty: the shared loesche_direkt.txt
    int intervalMinutes = 0;      // "INTERVAL", 0 to 1440; 0: only on demand
    bool notify = true;           // "NOTIFY": new-mail notices for this account
    // "MATCHES": what happens to a message a pattern matches, "delete" or
    // "move" (to the spam folder; IMAP only); empty: move over IMAP,
    // delete over POP3.
    std::string matchAction;
    std::string spamFolder;       // "SPAMFOLDER"; empty: the one marked \Junk
    bool cache = true;            // "CACHE": rows of known messages from the local cache
    // The profile's rights as found at the start, and where it is.
    ProfileTrust profileTrust = ProfileTrust::Trusted;
    std::string profilePath;

    // Whether matches go to the spam folder rather than away.
    bool MovesToSpam() const;

    // The name people see: NAME, else user@host, else the section.
    std::string DisplayName() const;
    CServerAddress Server() const {
        CServerAddress server = CServerAddress::Parse(host, caFile);
        server.fingerprint = fingerprint;
        return server;
    }
    // Who logs on and how; nothing is run or read yet.
    MailAccount Credentials() const;
    // Where the account signs in with OAuth 2.0, this account's client
    // id and secret put in; false when OAUTH names no provider that has one.
    bool OAuthSignIn(OAuthEndpoints *endpoints) const;
    std::string Patterns() const;
};

class CScanConfig {
public:
    // The keys, spelled here only.
    static constexpr const char *kName = "NAME";
    static constexpr const char *kHost = "HOST";
    static constexpr const char *kUser = "USER";
    static constexpr const char *kPassword = "PASS";
    static constexpr const char *kMechanism = "AUTH";
    static constexpr const char *kPasswordCommand = "PASSCMD";
    static constexpr const char *kKeyring = "KEYRING";
    static constexpr const char *kTokenCommand = "TOKENCMD";
    static constexpr const char *kOAuth = "OAUTH";
    static constexpr const char *kOAuthClient = "OAUTHCLIENT";
    static constexpr const char *kOAuthSecret = "OAUTHSECRET";
    static constexpr const char *kCaFile = "CAFILE";
    static constexpr const char *kFingerprint = "FINGERPRINT";
    static constexpr const char *kTimeout = "TIMEOUT";
    static constexpr const char *kPatterns = "PATTERNS";
    static constexpr const char *kInterval = "INTERVAL";
    static constexpr const char *kNotify = "NOTIFY";
    static constexpr const char *kMatches = "MATCHES";
    static constexpr const char *kSpamFolder = "SPAMFOLDER";
    static constexpr const char *kCache = "CACHE";
    static constexpr const char *kFirstSection = "Settings";
    static constexpr const char *kSectionPrefix = "Account";

    // Every account, the first one first. A profile without any gives one
    // empty first account (a scan of it says what is missing).
    static std::vector<AccountConfig> Load(const CSettingsStore &settings);
    // The account of that section, as stored (empty values where none).
    static AccountConfig LoadSection(const CSettingsStore &settings, const std::string &section);
    // Writes every key of the account into its section; false when the
    // profile could not be written.
    static bool Store(const CSettingsStore &settings, const AccountConfig &account);
    // Takes an account out; the first one is emptied (its section also
    // holds what belongs to no account), the others go whole.
    static bool Remove(const CSettingsStore &settings, const AccountConfig &account);
    // A new account's section: the first one while it has no server, else
    // the next free "AccountN".
    static std::string FreeSection(const CSettingsStore &settings);
    // The account named so (NAME or DisplayName, exactly); null when none.
    static const AccountConfig *Find(const std::vector<AccountConfig> &accounts,
                                     const std::string &name);

    // Sets one value by its key, as --configure's KEY=VALUE lines do; false
    // with the reason for an unknown key or a value out of range.
    static bool Set(AccountConfig &account, const std::string &key, const std::string &value,
                    std::string *problem);
};
