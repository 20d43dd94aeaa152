// SPDX-License-Identifier: GPL-3.0-or-later
// Who logs on and how: the user name, the password in clear (or where it
// comes from), the mechanism, and an OAuth 2.0 access token (or the
// command that gives one).
#pragma once

#include <string>

#include "Providers.h"

// Whether the profile the account came from was only its user's to
// write when this program started. Where others could have written it,
// the commands named in it (PASSCMD, TOKENCMD) are not run.
enum class ProfileTrust {
    Trusted,
    OpenToOthers,        // the file was writable by group or others
    FolderOpenToOthers,  // its folder was
    NotOwned,            // the file or its folder belongs to another user
};

struct MailAccount {
    std::string user;
    std::string password;
    // "AUTH": one mechanism to use; empty: the strongest both sides speak.
    std::string mechanism;
    // "PASSCMD": a command whose first output line is the password; it
    // comes before the keyring and the profile.
    std::string passwordCommand;
    // "KEYRING": the password is in the desktop keyring, under the user
    // name and the server.
    bool keyring = false;
    std::string keyringService;
    // "TOKENCMD": a command whose first output line is an OAuth 2.0 access
    // token (XOAUTH2, OAUTHBEARER); run anew for every log-on.
    std::string tokenCommand;
    std::string token;
    // "OAUTH": the token comes from Pelloru's own OAuth 2.0 sign-in, kept
    // fresh with the refresh token from the keyring, at these endpoints.
    bool oauth = false;
    OAuthEndpoints endpoints;
    // "CAFILE": also trusted for the token endpoint.
    std::string caFile;
    // What the profile's rights were, and where it is.
    ProfileTrust profileTrust = ProfileTrust::Trusted;
    std::string profilePath;
};
