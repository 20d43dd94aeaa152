// SPDX-License-Identifier: GPL-3.0-or-later
// Where the password and the OAuth 2.0 token come from, in this order: a
// command whose first output line is the password ("PASSCMD"), the desktop
// keyring ("KEYRING", through QtKeychain: the Secret Service on Linux, the
// Credential Manager on Windows), the profile's "PASS". A token comes from
// its command ("TOKENCMD"), run anew for every log-on, since tokens expire,
// or from Pelloru's own OAuth 2.0 sign-in ("OAUTH"): the access token is
// kept in memory only and renewed with the refresh token from the keyring
// a minute before it expires, and once more when the server refuses it.
#pragma once

#include <atomic>
#include <string>

#include "CServerAddress.h"
#include "MailAccount.h"
#include "OAuth.h"

struct AccountConfig;
class CSettingsStore;

class CCredentials {
public:
    // The longest a password or token command may take.
    static constexpr int kCommandSeconds = 30;
    static constexpr const char *kKeyringService = "Pelloru";

    // Runs the commands and reads the keyring as the account asks; false
    // with the reason when the password or token could not be had, or when
    // it or the user name holds a line break (which would smuggle a command
    // of its own into the conversation). stop: a request to give up.
    // refused: an OAuth access token the server just refused; a fresh one
    // is got unless another log-on has got one since.
    static bool Resolve(MailAccount &account, std::string *problem,
                        const std::atomic<bool> *stop = nullptr, const std::string &refused = {});
    // A sign-in's tokens kept: the refresh token in the keyring (never the
    // profile; needed), the access token in memory. false with the reason.
    static bool KeepOAuthTokens(const std::string &user, const std::string &host, const OAuthTokens &tokens,
                                std::string *problem);

    // The first line of what the command (run by /bin/sh in a process
    // group of its own) writes, without its line end. Only a command that
    // ends with status 0 within seconds counts: false with the reason when
    // it fails, writes nothing or takes longer; then, and on a stop
    // request, its whole process group is ended.
    static bool FirstLineOf(const std::string &command, int seconds, std::string *line,
                            std::string *problem, const std::atomic<bool> *stop = nullptr);

    // Stores the account's password as the settings dialog and --configure
    // do: inKeyring, in the keyring, and "PASS" leaves the profile
    // ("KEYRING" says where it is); else complemented in "PASS", as always,
    // and an entry in the keyring goes. The account's HOST and USER must
    // be stored already; the account is updated to match.
    static bool StorePassword(const CSettingsStore &settings, AccountConfig &account,
                              const std::string &password, bool inKeyring, std::string *problem);

    // The keyring's entry of this account (key: user@host); need an
    // application object of Qt. false with the reason.
    static bool ReadKeyring(const std::string &key, std::string *password, std::string *problem);
    static bool WriteKeyring(const std::string &key, const std::string &password, std::string *problem);
    static bool DeleteKeyring(const std::string &key, std::string *problem);
    static std::string KeyringKey(const std::string &user, const std::string &host) {
        return user + "@" + host;
    }
    // The refresh token's entry, beside the password's.
    static std::string OAuthKey(const std::string &keyringKey) { return "oauth:" + keyringKey; }
};
