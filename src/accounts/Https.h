// SPDX-License-Identifier: GPL-3.0-or-later
// One request over HTTPS and its answer, as the account lookup and the
// OAuth 2.0 sign-in need them: HTTP/1.0, the connection closed after the
// answer, the answer bounded in size and time. Over the program's own TLS
// client, so every certificate is checked the same way as a mail server's.
#pragma once

#include <atomic>
#include <string>

// Where a request goes: host, port and path (with its query), and for an
// account with a CA of its own (CAFILE) that file.
struct HttpsTarget {
    std::string host;
    int port = 443;
    std::string path;
    std::string caFile;
};

struct HttpsAnswer {
    int status = 0;     // 200, 400, ...
    std::string body;
};

class Https {
public:
    static constexpr int kMostBytes = 64 * 1024;
    static constexpr int kWaitSeconds = 10;

    // "https://host[:port]/path?query" taken apart; false for anything
    // else (another scheme, a host that is no plain name, a user part).
    static bool ParseUrl(const std::string &url, HttpsTarget *target);
    // "https://host[:port]path", for people.
    static std::string Url(const HttpsTarget &target);
    // GET (form empty) or POST of an application/x-www-form-urlencoded
    // form; false with the reason when no whole answer came (no connection,
    // TLS, more than kMostBytes, more than kWaitSeconds, a stop). Any
    // status counts as an answer.
    static bool Request(const HttpsTarget &target, const std::string &form, HttpsAnswer *answer,
                        std::string *problem, const std::atomic<bool> *stop = nullptr);
    // A value percent-encoded for a form or a query (RFC 3986 unreserved
    // characters stay).
    static std::string Escape(const std::string &value);
};
