// SPDX-License-Identifier: GPL-3.0-or-later
// The servers a domain names in DNS for mail programs (RFC 6186, RFC 8314):
// SRV records _imaps._tcp, then _imap._tcp (STARTTLS), then _pop3s._tcp.
// A target "." says the service is not offered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Providers.h"

struct SrvRecord {
    int priority = 0;
    int weight = 0;
    int port = 0;
    std::string target;
};
// Looks up the SRV records of a name ("_imaps._tcp.example.org").
using SrvLookup = std::function<std::vector<SrvRecord>(const std::string &name)>;

// The system's resolver.
std::vector<SrvRecord> LookUpSrv(const std::string &name);
// The servers the domain's records name for the address; false when none.
bool SrvServers(const std::string &address, const SrvLookup &lookup, ProviderServers *found);
