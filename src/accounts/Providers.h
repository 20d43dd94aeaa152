// The mail providers known by the domain of an address (providers.tsv,
// built into the program): where their servers are, how the user name is
// formed and whether they sign in with OAuth 2.0 only.
#pragma once

#include <string>

struct ProviderServers {
    std::string imap;   // "imaps://host:port"; empty: none
    std::string pop3;   // "pop3s://host:port"; empty: none
    std::string user;   // the user name for the address
    bool oauth = false; // the provider takes no password (OAuth 2.0)
};

// The servers for an address, IMAP first where there is one; false when
// its domain is not in the table (or the text is no address).
bool FindProvider(const std::string &address, ProviderServers *found);
// A host name as DNS has them (letters, digits, '.', '-'; at most 253):
// nothing else goes into a request or a server setting.
bool IsPlainHostName(const std::string &host);
// The server setting to use: IMAP where the provider has it, else POP3.
inline std::string PreferredServer(const ProviderServers &servers) {
    return servers.imap.empty() ? servers.pop3 : servers.imap;
}
