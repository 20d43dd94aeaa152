#include "Providers.h"

#include <cctype>
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

bool FindProvider(const std::string &address, ProviderServers *found) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 >= address.size()) return false;
    const std::string domain = Lower(address.substr(at + 1));
    std::istringstream table(kProviderTable);
    std::string line;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() < 5) continue;
        bool ours = false;
        for (const std::string &known : Split(fields[0], ',')) ours = ours || known == domain;
        if (!ours) continue;
        found->imap = fields[1].empty() ? std::string() : "imaps://" + fields[1];
        found->pop3 = fields[2].empty() ? std::string() : "pop3s://" + fields[2];
        found->user = fields[3] == "localpart" ? address.substr(0, at) : address;
        found->oauth = fields[4] == "oauth";
        return true;
    }
    return false;
}
