// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_SaslClient.h"

#include <gsasl.h>

#include <cstdlib>
#include <cstring>

#include "TextHelpers.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

CUT_SaslClient::CUT_SaslClient() = default;

CUT_SaslClient::~CUT_SaslClient() {
    if (m_session != nullptr) gsasl_finish(static_cast<Gsasl_session *>(m_session));
    if (m_context != nullptr) gsasl_done(static_cast<Gsasl *>(m_context));
}

const std::vector<std::string> &CUT_SaslClient::Mechanisms() {
    static const std::vector<std::string> all = {"OAUTHBEARER", "XOAUTH2",    "SCRAM-SHA-256",
                                                 "SCRAM-SHA-1", "CRAM-MD5",   "PLAIN",
                                                 "LOGIN"};
    return all;
}

bool CUT_SaslClient::IsOAuth(const std::string &mechanism) {
    return mechanism == "XOAUTH2" || mechanism == "OAUTHBEARER";
}

bool CUT_SaslClient::SendsPasswordInClear(const std::string &mechanism) {
    // A bearer token is as good as a password to whoever reads it.
    return mechanism == "PLAIN" || mechanism == "LOGIN" || mechanism == "USER" || IsOAuth(mechanism);
}

bool CUT_SaslClient::ClientFirst(const std::string &mechanism) {
    return mechanism == "PLAIN" || mechanism.rfind("SCRAM-", 0) == 0 || IsOAuth(mechanism);
}

std::string CUT_SaslClient::Base64(const std::string &bytes) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63], out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63], out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63], out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string CUT_SaslClient::FromBase64(const std::string &text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        const char *at = c != '\0' ? std::strchr(kAlphabet, c) : nullptr;
        if (at == nullptr) continue;  // padding, line ends, garbage
        value = (value << 6) | static_cast<unsigned>(at - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

bool CUT_SaslClient::Start(const std::string &mechanism, const std::string &user,
                           const std::string &secret, const std::string &host, int port) {
    m_mechanism = mechanism;
    m_sentInitial = false;
    m_serverError.clear();
    if (mechanism == "XOAUTH2") {
        m_initial = "user=" + user + "\x01" "auth=Bearer " + secret + "\x01\x01";
        return true;
    }
    if (mechanism == "OAUTHBEARER") {
        // The authorization identity is the user; commas in it are escaped.
        std::string name;
        for (char c : user) name += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
        m_initial = "n,a=" + name + ",\x01" "host=" + host + "\x01" "port=" + std::to_string(port) +
                    "\x01" "auth=Bearer " + secret + "\x01\x01";
        return true;
    }
    Gsasl *context = nullptr;
    if (gsasl_init(&context) != GSASL_OK) return false;
    m_context = context;
    if (!gsasl_client_support_p(context, mechanism.c_str())) return false;
    Gsasl_session *session = nullptr;
    if (gsasl_client_start(context, mechanism.c_str(), &session) != GSASL_OK) return false;
    m_session = session;
    gsasl_property_set(session, GSASL_AUTHID, user.c_str());
    gsasl_property_set(session, GSASL_PASSWORD, secret.c_str());
    gsasl_property_set(session, GSASL_SERVICE, "pop");
    gsasl_property_set(session, GSASL_HOSTNAME, host.c_str());
    return true;
}

CUT_SaslClient::Step CUT_SaslClient::Next(const std::string &challenge, std::string *response) {
    response->clear();
    if (IsOAuth(m_mechanism)) {
        if (!m_sentInitial) {
            m_sentInitial = true;
            *response = Base64(m_initial);
            return More;
        }
        // A challenge after the token is the server's error (a JSON text);
        // the answer ends the exchange, and the server refuses.
        m_serverError = FromBase64(challenge);
        *response = m_mechanism == "OAUTHBEARER" ? Base64("\x01") : std::string();
        return More;
    }
    if (m_session == nullptr) return Failed;
    char *output = nullptr;
    const int result = gsasl_step64(static_cast<Gsasl_session *>(m_session),
                                    challenge.empty() ? nullptr : challenge.c_str(), &output);
    if (output != nullptr) {
        *response = output;
        gsasl_free(output);
    }
    if (result == GSASL_OK) return Done;
    return result == GSASL_NEEDS_MORE ? More : Failed;
}

std::string CUT_SaslClient::Strongest(const std::vector<std::string> &offered, bool haveToken,
                                      bool clearAllowed) {
    for (const std::string &mechanism : Mechanisms()) {
        if (IsOAuth(mechanism) != haveToken) continue;
        if (!clearAllowed && SendsPasswordInClear(mechanism)) continue;
        for (const std::string &one : offered)
            if (EqualsNoCase(one.c_str(), mechanism.c_str())) return mechanism;
    }
    return {};
}
