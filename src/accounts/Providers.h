// SPDX-License-Identifier: GPL-3.0-or-later
// The mail providers known by the domain of an address (providers.tsv,
// built into the program): where their servers are, how the user name is
// formed and whether they sign in with OAuth 2.0 only, and where. A
// providers.tsv beside the profile, in the same form, comes first: a
// provider, or an OAuth application of one's own, needs no new program.
#pragma once

#include <string>

// Where a provider signs in with OAuth 2.0: the authorization endpoint
// (browser), the token endpoint, the device endpoint (RFC 8628; empty:
// none), the scope, and the application's client id and secret (empty:
// the account must name its own, OAUTHCLIENT and OAUTHSECRET).
struct OAuthEndpoints {
    std::string authorize;
    std::string token;
    std::string device;
    std::string scope;
    std::string clientId;
    std::string clientSecret;
};

struct ProviderServers {
    std::string imap;   // "imaps://host:port"; empty: none
    std::string pop3;   // "pop3s://host:port"; empty: none
    std::string user;   // the user name for the address
    bool oauth = false; // the provider takes no password (OAuth 2.0)
    std::string domain; // the first domain of its line: how an account names it (OAUTH)
    OAuthEndpoints endpoints;
};

// The servers for an address, IMAP first where there is one; false when
// its domain is not in the table (or the text is no address). localTable:
// lines of the same form that come before the built-in ones.
bool FindProvider(const std::string &address, ProviderServers *found, const std::string &localTable = {});
// The lines of providers.tsv in the profile's folder (at most 256 KiB);
// empty when there is none.
std::string LocalProviderTable(const std::string &profilePath);
// A host name as DNS has them (letters, digits, '.', '-'; at most 253):
// nothing else goes into a request or a server setting.
bool IsPlainHostName(const std::string &host);
// The server setting to use: IMAP where the provider has it, else POP3.
inline std::string PreferredServer(const ProviderServers &servers) {
    return servers.imap.empty() ? servers.pop3 : servers.imap;
}
