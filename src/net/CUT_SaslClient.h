// SPDX-License-Identifier: GPL-3.0-or-later
// The client side of one SASL exchange (RFC 4422) in base64, as POP3's
// AUTH (RFC 5034) and IMAP's AUTHENTICATE (RFC 3501, 4959) carry it: SCRAM-SHA-256, SCRAM-SHA-1, CRAM-MD5, PLAIN
// and LOGIN through GNU SASL; XOAUTH2 and OAUTHBEARER (RFC 7628), which it
// does not know, by their simple formats here.
#pragma once

#include <string>
#include <vector>

class CUT_SaslClient {
public:
    CUT_SaslClient();
    ~CUT_SaslClient();
    CUT_SaslClient(const CUT_SaslClient &) = delete;
    CUT_SaslClient &operator=(const CUT_SaslClient &) = delete;

    // The mechanisms this client speaks, strongest first; the OAuth ones
    // need a token instead of a password.
    static const std::vector<std::string> &Mechanisms();
    static bool IsOAuth(const std::string &mechanism);
    // Whether the mechanism sends the password itself (readable by anyone
    // who sees the connection unless it is encrypted).
    static bool SendsPasswordInClear(const std::string &mechanism);
    // Whether the client speaks first (an initial response goes with AUTH).
    static bool ClientFirst(const std::string &mechanism);
    // The strongest mechanism of this client that the server offers (its
    // list, any case), a token mechanism only with a token and the others
    // only without, none that shows the password unless clearAllowed;
    // empty when there is none.
    static std::string Strongest(const std::vector<std::string> &offered, bool haveToken,
                                 bool clearAllowed);

    // false when the mechanism is unknown or cannot start. secret: the
    // password, or the access token for the OAuth mechanisms.
    bool Start(const std::string &mechanism, const std::string &user, const std::string &secret,
               const std::string &host, int port);
    enum Step { Done, More, Failed };
    // One step: the server's challenge in base64 (empty for the initial
    // response) to the client's answer in base64.
    Step Next(const std::string &challenge, std::string *response);
    // What the server said when it refused a token (the decoded JSON of
    // an OAuth error challenge), empty otherwise.
    const std::string &ServerError() const { return m_serverError; }

    static std::string Base64(const std::string &bytes);
    static std::string FromBase64(const std::string &text);

private:
    void *m_context = nullptr;  // Gsasl
    void *m_session = nullptr;  // Gsasl_session
    std::string m_mechanism;
    std::string m_initial;  // OAuth: the whole client message
    bool m_sentInitial = false;
    std::string m_serverError;
};
