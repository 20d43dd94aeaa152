// SPDX-License-Identifier: GPL-3.0-or-later
#include "Autoconfig.h"

#include <QString>
#include <QXmlStreamReader>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "Https.h"
#include "Translate.h"

namespace {


// "%EMAILADDRESS%" and "%EMAILLOCALPART%" filled in.
std::string UserFor(std::string pattern, const std::string &address) {
    const size_t at = address.rfind('@');
    const std::string local = at == std::string::npos ? address : address.substr(0, at);
    for (const auto &[name, value] : {std::pair<std::string, std::string>{"%EMAILADDRESS%", address},
                                      {"%EMAILLOCALPART%", local}}) {
        // (From past each value put in: an address may hold the name itself.)
        for (size_t found = 0; (found = pattern.find(name, found)) != std::string::npos; found += value.size())
            pattern.replace(found, name.size(), value);
    }
    return pattern;
}

// The address as a query value: every byte but the unreserved ones
// percent-encoded, so that nothing in it can end the request line.
std::string QueryValue(const std::string &text) {
    std::string out;
    char hex[4];
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

std::vector<AutoconfigSource> AutoconfigSources(const std::string &domain, const std::string &address) {
    if (!IsPlainHostName(domain)) return {};
    const std::string query = "?emailaddress=" + QueryValue(address);
    return {{"autoconfig." + domain, 443, "/mail/config-v1.1.xml" + query, {}},
            {domain, 443, "/.well-known/autoconfig/mail/config-v1.1.xml" + query, {}}};
}

bool ParseAutoconfig(const std::string &document, const std::string &address, ProviderServers *found) {
    QXmlStreamReader xml(QByteArray::fromStdString(document));
    ProviderServers servers;
    std::string imapUser, pop3User;
    std::string type, host, socket, user;
    int port = 0;
    bool inServer = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QStringLiteral("incomingServer")) {
            inServer = true;
            type = xml.attributes().value(QStringLiteral("type")).toString().toStdString();
            host.clear(), socket.clear(), user.clear(), port = 0;
        } else if (inServer && xml.isStartElement()) {
            const QString name = xml.name().toString();
            const std::string text = xml.readElementText().trimmed().toStdString();
            if (name == QStringLiteral("hostname")) host = text;
            else if (name == QStringLiteral("port")) port = std::atoi(text.c_str());
            else if (name == QStringLiteral("socketType")) socket = text;
            else if (name == QStringLiteral("username")) user = text;
        } else if (xml.isEndElement() && xml.name() == QStringLiteral("incomingServer")) {
            inServer = false;
            // Over TLS only; a name and port that are one.
            if (!IsPlainHostName(host) || port < 1 || port > 65535) continue;
            const std::string where = host + ":" + std::to_string(port);
            const std::string name = UserFor(user.empty() ? "%EMAILADDRESS%" : user, address);
            if (type == "imap" && servers.imap.empty() && (socket == "SSL" || socket == "STARTTLS")) {
                servers.imap = (socket == "SSL" ? "imaps://" : "imap://") + where;
                imapUser = name;
            } else if (type == "pop3" && servers.pop3.empty() && socket == "SSL") {
                servers.pop3 = "pop3s://" + where;
                pop3User = name;
            }
        }
    }
    if (xml.hasError() || (servers.imap.empty() && servers.pop3.empty())) return false;
    // The user name of the server that will be used.
    servers.user = servers.imap.empty() ? pop3User : imapUser;
    *found = servers;
    return true;
}

bool FetchAutoconfig(const std::vector<AutoconfigSource> &sources, const std::string &address,
                     ProviderServers *found, std::string *problem, const std::atomic<bool> *stop) {
    for (const AutoconfigSource &source : sources) {
        if (stop != nullptr && stop->load()) return false;
        const HttpsTarget target{source.host, source.port, source.path, source.caFile};
        HttpsAnswer answer;
        if (!Https::Request(target, {}, &answer, problem, stop)) continue;
        if (answer.status != 200) {
            *problem = Fill(Tr("accounts", "%1: kein Dokument"), {Https::Url(target)});
            continue;
        }
        if (ParseAutoconfig(answer.body, address, found)) return true;
        *problem = Fill(Tr("accounts", "%1: das Dokument nennt keinen Server über TLS"), {Https::Url(target)});
    }
    return false;
}
