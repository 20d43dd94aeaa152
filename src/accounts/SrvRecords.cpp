// SPDX-License-Identifier: GPL-3.0-or-later
#include "SrvRecords.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cctype>

namespace {

// The record to use: the lowest priority, of those the highest weight.
bool Best(std::vector<SrvRecord> records, SrvRecord *best) {
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const SrvRecord &r) {
                                     return r.target.empty() || r.target == "." || r.port < 1 || r.port > 65535;
                                 }),
                  records.end());
    if (records.empty()) return false;
    std::sort(records.begin(), records.end(), [](const SrvRecord &a, const SrvRecord &b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    *best = records.front();
    if (!best->target.empty() && best->target.back() == '.') best->target.pop_back();
    return IsPlainHostName(best->target);
}

}  // namespace

std::vector<SrvRecord> LookUpSrv(const std::string &name) {
    std::vector<SrvRecord> records;
    unsigned char answer[4096];
    const int length = res_query(name.c_str(), ns_c_in, ns_t_srv, answer, sizeof answer);
    if (length <= 0) return records;
    ns_msg message;
    if (ns_initparse(answer, length, &message) != 0) return records;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv) continue;
        if (ns_rr_rdlen(record) < 7) continue;
        const unsigned char *data = ns_rr_rdata(record);
        SrvRecord srv;
        srv.priority = ns_get16(data);
        srv.weight = ns_get16(data + 2);
        srv.port = ns_get16(data + 4);
        char target[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0) continue;
        srv.target = target;
        records.push_back(srv);
    }
    return records;
}

bool SrvServers(const std::string &address, const SrvLookup &lookup, ProviderServers *found) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos || at + 1 >= address.size()) return false;
    const std::string domain = address.substr(at + 1);
    ProviderServers servers;
    SrvRecord best;
    if (Best(lookup("_imaps._tcp." + domain), &best))
        servers.imap = "imaps://" + best.target + ":" + std::to_string(best.port);
    else if (Best(lookup("_imap._tcp." + domain), &best))
        servers.imap = "imap://" + best.target + ":" + std::to_string(best.port);
    if (Best(lookup("_pop3s._tcp." + domain), &best))
        servers.pop3 = "pop3s://" + best.target + ":" + std::to_string(best.port);
    if (servers.imap.empty() && servers.pop3.empty()) return false;
    servers.user = address;
    *found = servers;
    return true;
}
