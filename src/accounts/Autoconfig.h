// SPDX-License-Identifier: GPL-3.0-or-later
// The servers a domain publishes for mail programs: the autoconfiguration
// document (config-v1.1.xml, the format mail programs share), fetched over
// HTTPS only, from the domain's own names. Only TLS servers are taken
// (SSL, or STARTTLS for IMAP); IMAP before POP3.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "Providers.h"

// Where a document is asked for: host, port, path, and for tests an extra
// CA file to trust.
struct AutoconfigSource {
    std::string host;
    int port = 443;
    std::string path;
    std::string caFile;
};

// The two places of a domain: https://autoconfig.<domain>/mail/config-v1.1.xml
// and https://<domain>/.well-known/autoconfig/mail/config-v1.1.xml.
std::vector<AutoconfigSource> AutoconfigSources(const std::string &domain, const std::string &address);
// The servers from a document, for this address; false when it names no
// server Pelloru may use.
bool ParseAutoconfig(const std::string &document, const std::string &address, ProviderServers *found);
// Fetches and parses the document from the first source that has one
// (each bounded: 10 s, 64 KiB); false with the reason of the last. A
// stop set from another thread ends it within a second.
bool FetchAutoconfig(const std::vector<AutoconfigSource> &sources, const std::string &address,
                     ProviderServers *found, std::string *problem, const std::atomic<bool> *stop = nullptr);
