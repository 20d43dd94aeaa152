// SPDX-License-Identifier: GPL-3.0-or-later
#include "Providers.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

extern const char *const kProviderTable;  // providers.tsv, as built in

namespace {

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> Split(const std::string &text, char at) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, at)) parts.push_back(part);
    if (!text.empty() && text.back() == at) parts.emplace_back();
    return parts;
}

}  // namespace

bool IsPlainHostName(const std::string &host) {
    if (host.empty() || host.size() > 253) return false;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
    return true;
}

std::string LocalProviderTable(const std::string &profilePath) {
    const size_t slash = profilePath.rfind('/');
    if (slash == std::string::npos) return {};
    std::ifstream file(profilePath.substr(0, slash + 1) + "providers.tsv", std::ios::binary);
    std::string text(256 * 1024, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    return text;
}

bool FindProvider(const std::string &address, ProviderServers *found, const std::string &localTable) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 >= address.size()) return false;
    const std::string domain = Lower(address.substr(at + 1));
    std::istringstream table(localTable + "\n" + kProviderTable);
    std::string line;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() < 5) continue;
        bool ours = false;
        for (const std::string &known : Split(fields[0], ',')) ours = ours || Lower(known) == domain;
        if (!ours) continue;
        found->imap = fields[1].empty() ? std::string() : "imaps://" + fields[1];
        found->pop3 = fields[2].empty() ? std::string() : "pop3s://" + fields[2];
        found->user = fields[3] == "localpart" ? address.substr(0, at) : address;
        found->oauth = fields[4] == "oauth";
        found->domain = Split(fields[0], ',').front();
        found->endpoints = {};
        std::string *const oauth[] = {&found->endpoints.authorize, &found->endpoints.token,
                                      &found->endpoints.device,    &found->endpoints.scope,
                                      &found->endpoints.clientId,  &found->endpoints.clientSecret};
        for (size_t i = 0; i < std::size(oauth) && 5 + i < fields.size(); ++i) *oauth[i] = fields[5 + i];
        return true;
    }
    return false;
}
