// SPDX-License-Identifier: GPL-3.0-or-later
#include "Https.h"

#include <cctype>
#include <chrono>
#include <cstdio>

#include "CUT_WSClient.h"
#include "Providers.h"
#include "Translate.h"

bool Https::ParseUrl(const std::string &url, HttpsTarget *target) {
    const std::string scheme = "https://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    const size_t hostAt = scheme.size();
    const size_t pathAt = url.find_first_of("/?#", hostAt);
    const std::string authority = url.substr(hostAt, pathAt == std::string::npos ? std::string::npos : pathAt - hostAt);
    HttpsTarget parsed;
    parsed.caFile = target->caFile;
    const size_t colon = authority.rfind(':');
    parsed.host = authority.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
        parsed.port = std::stoi(port);
        if (parsed.port < 1 || parsed.port > 65535) return false;
    }
    if (!IsPlainHostName(parsed.host)) return false;
    parsed.path = pathAt == std::string::npos ? "/" : url.substr(pathAt);
    if (parsed.path[0] != '/') parsed.path.insert(0, "/");
    const size_t fragment = parsed.path.find('#');
    if (fragment != std::string::npos) parsed.path.erase(fragment);
    // Nothing in the path may end the request line or add a header.
    for (char c : parsed.path)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
    *target = parsed;
    return true;
}

std::string Https::Url(const HttpsTarget &target) {
    return "https://" + target.host + (target.port == 443 ? "" : ":" + std::to_string(target.port)) + target.path;
}

std::string Https::Escape(const std::string &value) {
    std::string escaped;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    return escaped;
}

bool Https::Request(const HttpsTarget &target, const std::string &form, HttpsAnswer *answer,
                    std::string *problem, const std::atomic<bool> *stop) {
    const std::string where = Url(target);
    if (!IsPlainHostName(target.host)) {
        *problem = Fill(Tr("accounts", "%1: kein gültiger Servername"), {where});
        return false;
    }
    CUT_WSClient client;
    client.SetStopRequest(stop);
    if (client.Connect(target.port, target.host.c_str(), kWaitSeconds, 2, 1) != RC_OK) {
        *problem = Fill(Tr("accounts", "%1: keine Verbindung"), {where});
        return false;
    }
    client.SetReceiveTimeoutOption(kWaitSeconds * 1000);
    if (client.StartTls(target.host, target.caFile) != RC_OK) {
        *problem = Fill(Tr("accounts", "%1: TLS gescheitert (%2)"), {where, client.TlsError()});
        return false;
    }
    std::string request = (form.empty() ? "GET " : "POST ") + target.path + " HTTP/1.0\r\nHost: " + target.host +
                          "\r\nUser-Agent: Pelloru\r\nAccept: application/json, text/xml\r\nConnection: close\r\n";
    if (!form.empty())
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(form.size()) + "\r\n";
    request += "\r\n" + form;
    if (client.SendAll(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size())) {
        *problem = Fill(Tr("accounts", "%1: Anfrage nicht gesendet"), {where});
        return false;
    }
    // The answer, bounded in size and, however slowly it comes, in time.
    std::string reply;
    char piece[4096];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    for (int n; reply.size() <= static_cast<size_t>(kMostBytes) && std::chrono::steady_clock::now() < until &&
                !client.StopRequested() && (n = client.Receive(piece, static_cast<int>(sizeof piece), 1)) > 0;)
        reply.append(piece, static_cast<size_t>(n));
    const bool stopped = client.StopRequested();
    client.CloseConnection();
    if (stopped) {
        *problem = Fill(Tr("accounts", "%1: abgebrochen"), {where});
        return false;
    }
    if (reply.size() > static_cast<size_t>(kMostBytes)) {
        *problem =
            Fill(Tr("accounts", "%1: die Antwort ist länger als %2 KiB"), {where, std::to_string(kMostBytes / 1024)});
        return false;
    }
    const size_t body = reply.find("\r\n\r\n");
    // "HTTP/1.x NNN ..."
    if (body == std::string::npos || reply.size() < 12 || reply.compare(0, 7, "HTTP/1.") != 0 || reply[8] != ' ' ||
        reply.find_first_not_of("0123456789", 9) != 12) {
        *problem = Fill(Tr("accounts", "%1: keine vollständige Antwort"), {where});
        return false;
    }
    answer->status = std::stoi(reply.substr(9, 3));
    answer->body = reply.substr(body + 4);
    return true;
}
