// SPDX-License-Identifier: GPL-3.0-or-later
#include "CScanConfig.h"

#include <algorithm>

#include "CDirectDeletePatterns.h"
#include "CSettingsStore.h"
#include "Translate.h"

namespace {

// A whole number from min to max; fallback for anything else.
int Number(const std::string &text, int min, int max, int fallback) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    const int value = std::stoi(text);
    return value >= min && value <= max ? value : fallback;
}

int SectionNumber(const std::string &section) {
    const std::string prefix = CScanConfig::kSectionPrefix;
    if (section.rfind(prefix, 0) != 0) return 0;
    return Number(section.substr(prefix.size()), 2, 9999, 0);
}

}  // namespace

std::string AccountConfig::DisplayName() const {
    if (!name.empty()) return name;
    const CServerAddress server = Server();
    if (!user.empty() && !server.host.empty()) return user + "@" + server.host;
    if (!server.host.empty()) return server.host;
    return section;
}

MailAccount AccountConfig::Credentials() const {
    MailAccount account;
    account.user = user;
    account.password = CSettingsStore::ComplementPassword(storedPassword);
    account.mechanism = mechanism;
    account.passwordCommand = passwordCommand;
    account.keyring = keyring;
    account.keyringService = user + "@" + Server().host;
    account.tokenCommand = tokenCommand;
    account.oauth = !oauthProvider.empty();
    if (account.oauth && !OAuthSignIn(&account.endpoints)) account.endpoints = {};
    account.caFile = caFile;
    account.profileTrust = profileTrust;
    account.profilePath = profilePath;
    return account;
}

bool AccountConfig::OAuthSignIn(OAuthEndpoints *endpoints) const {
    ProviderServers provider;
    if (oauthProvider.empty() || !FindProvider("x@" + oauthProvider, &provider, providerTable) ||
        provider.endpoints.token.empty())
        return false;
    *endpoints = provider.endpoints;
    if (!oauthClient.empty()) {
        endpoints->clientId = oauthClient;
        endpoints->clientSecret = oauthSecret;
    }
    return true;
}

bool AccountConfig::MovesToSpam() const {
    // POP3 has no folders: a match can only be deleted there.
    if (Server().protocol != CServerAddress::Imap) return false;
    return matchAction != "delete";
}

std::string AccountConfig::Patterns() const {
    return patternFile.empty() ? std::string(CDirectDeletePatterns::kFileName) : patternFile;
}

AccountConfig CScanConfig::LoadSection(const CSettingsStore &settings, const std::string &section) {
    AccountConfig account;
    account.section = section;
    const auto read = [&](const char *key) { return settings.Read(section, key); };
    account.name = read(kName);
    account.host = read(kHost);
    account.user = read(kUser);
    account.storedPassword = read(kPassword);
    account.mechanism = read(kMechanism);
    account.passwordCommand = read(kPasswordCommand);
    account.keyring = read(kKeyring) == "1";
    account.tokenCommand = read(kTokenCommand);
    account.oauthProvider = read(kOAuth);
    account.oauthClient = read(kOAuthClient);
    account.oauthSecret = read(kOAuthSecret);
    if (!account.oauthProvider.empty()) account.providerTable = LocalProviderTable(settings.ProfilePath());
    account.caFile = read(kCaFile);
    account.fingerprint = read(kFingerprint);
    account.timeoutSeconds = Number(read(kTimeout), 1, 600, 0);
    account.patternFile = read(kPatterns);
    account.intervalMinutes = Number(read(kInterval), 0, 1440, 0);
    account.notify = read(kNotify) != "0";
    account.matchAction = read(kMatches);
    account.spamFolder = read(kSpamFolder);
    account.cache = read(kCache) != "0";
    account.profileTrust = settings.Trust();
    account.profilePath = settings.ProfilePath();
    return account;
}

std::vector<AccountConfig> CScanConfig::Load(const CSettingsStore &settings) {
    std::vector<AccountConfig> accounts;
    AccountConfig first = LoadSection(settings, kFirstSection);
    std::vector<std::pair<int, std::string>> further;
    for (const std::string &section : settings.Sections())
        if (const int number = SectionNumber(section); number > 0) further.emplace_back(number, section);
    std::sort(further.begin(), further.end());
    // The first account counts when it names a server, or when there is
    // no other (a scan of it then says what is missing).
    if (!first.host.empty() || further.empty()) accounts.push_back(first);
    for (const auto &[number, section] : further) {
        AccountConfig account = LoadSection(settings, section);
        if (!account.host.empty() || !account.name.empty()) accounts.push_back(account);
    }
    return accounts;
}

bool CScanConfig::Store(const CSettingsStore &settings, const AccountConfig &account) {
    const std::string &section = account.section.empty() ? std::string(kFirstSection) : account.section;
    bool stored = true;
    // Empty values leave the profile: it holds only what differs from the defaults.
    const auto write = [&](const char *key, const std::string &value) {
        stored = (value.empty() ? settings.Remove(section, key) : settings.Write(section, key, value)) &&
                 stored;
    };
    write(kName, account.name);
    write(kHost, account.host);
    write(kUser, account.user);
    write(kPassword, account.storedPassword);
    write(kMechanism, account.mechanism);
    write(kPasswordCommand, account.passwordCommand);
    write(kKeyring, account.keyring ? "1" : "");
    write(kTokenCommand, account.tokenCommand);
    write(kOAuth, account.oauthProvider);
    write(kOAuthClient, account.oauthClient);
    write(kOAuthSecret, account.oauthSecret);
    write(kCaFile, account.caFile);
    write(kFingerprint, account.fingerprint);
    write(kTimeout, account.timeoutSeconds > 0 ? std::to_string(account.timeoutSeconds) : "");
    write(kPatterns, account.patternFile);
    write(kInterval, std::to_string(account.intervalMinutes));
    write(kNotify, account.notify ? "" : "0");
    write(kMatches, account.matchAction);
    write(kSpamFolder, account.spamFolder);
    write(kCache, account.cache ? "" : "0");
    return stored;
}

bool CScanConfig::Remove(const CSettingsStore &settings, const AccountConfig &account) {
    if (account.section != kFirstSection) return settings.RemoveSection(account.section);
    AccountConfig empty;
    empty.section = kFirstSection;
    return Store(settings, empty);
}

std::string CScanConfig::FreeSection(const CSettingsStore &settings) {
    if (settings.Read(kFirstSection, kHost).empty()) return kFirstSection;
    int highest = 1;
    for (const std::string &section : settings.Sections()) highest = std::max(highest, SectionNumber(section));
    return kSectionPrefix + std::to_string(highest + 1);
}

const AccountConfig *CScanConfig::Find(const std::vector<AccountConfig> &accounts,
                                       const std::string &name) {
    for (const AccountConfig &account : accounts)
        if (account.name == name || account.DisplayName() == name) return &account;
    return nullptr;
}

bool CScanConfig::Set(AccountConfig &account, const std::string &key, const std::string &value,
                      std::string *problem) {
    const auto number = [&](int min, int max, int *out) {
        const int parsed = Number(value, min, max, -1);
        if (parsed < 0) {
            *problem =
                Fill(Tr("accounts", "%1: eine Zahl von %2 bis %3"), {key, std::to_string(min), std::to_string(max)});
            return false;
        }
        *out = parsed;
        return true;
    };
    if (key == kName) account.name = value;
    else if (key == kHost) account.host = value;
    else if (key == kUser) account.user = value;
    else if (key == kPassword) account.storedPassword = CSettingsStore::ComplementPassword(value);
    else if (key == kMechanism) account.mechanism = value;
    else if (key == kPasswordCommand) account.passwordCommand = value;
    else if (key == kKeyring) account.keyring = value == "1";
    else if (key == kTokenCommand) account.tokenCommand = value;
    else if (key == kOAuth) account.oauthProvider = value;
    else if (key == kOAuthClient) account.oauthClient = value;
    else if (key == kOAuthSecret) account.oauthSecret = value;
    else if (key == kCaFile) account.caFile = value;
    else if (key == kFingerprint) account.fingerprint = value;
    else if (key == kTimeout) return number(0, 600, &account.timeoutSeconds);
    else if (key == kPatterns) account.patternFile = value;
    else if (key == kInterval) return number(0, 1440, &account.intervalMinutes);
    else if (key == kNotify) account.notify = value != "0";
    else if (key == kMatches) {
        if (!value.empty() && value != "delete" && value != "move") {
            *problem = Fill(Tr("accounts", "%1: \"delete\" oder \"move\""), {key});
            return false;
        }
        account.matchAction = value;
    } else if (key == kSpamFolder) account.spamFolder = value;
    else if (key == kCache) account.cache = value != "0";
    else {
        *problem = Fill(Tr("accounts", "unbekannter Schlüssel %1"), {key});
        return false;
    }
    return true;
}
