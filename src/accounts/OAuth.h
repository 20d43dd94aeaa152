// SPDX-License-Identifier: GPL-3.0-or-later
// Signing in with OAuth 2.0 and keeping the tokens fresh: the browser
// sign-in (authorization code with PKCE, RFC 7636, and a redirect to a
// listener on 127.0.0.1, RFC 8252), the device sign-in for a machine
// without a display (RFC 8628), and the refresh of an access token. Every
// request goes over Https; the endpoints come from the provider table.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "Providers.h"

// What a token endpoint gave: the access token, until when it holds
// (seconds since the epoch; 0: not said), and a refresh token where one
// came (a provider may give a new one with each refresh).
struct OAuthTokens {
    std::string access;
    long long expiresAt = 0;
    std::string refresh;
    // Whether the access token holds for that many seconds more (one
    // without a time is taken to).
    bool HoldsFor(long long seconds) const;
};

// What the device endpoint gave: the code the user types at the address.
struct OAuthDeviceGrant {
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;
    int intervalSeconds = 5;
    int expiresInSeconds = 600;
};

class OAuth {
public:
    // How long a browser or device sign-in waits for the user.
    static constexpr int kSignInSeconds = 300;

    // PKCE: a random verifier (43 characters) and its S256 challenge.
    static std::string NewVerifier();
    static std::string Challenge(const std::string &verifier);
    // The address the browser opens.
    static std::string AuthorizationUrl(const OAuthEndpoints &endpoints, const std::string &redirect,
                                        const std::string &state, const std::string &challenge,
                                        const std::string &loginHint);

    // Token requests; false with the reason (for a refused one, the
    // endpoint's own "error" and "error_description").
    static bool RedeemCode(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &code,
                           const std::string &verifier, const std::string &redirect, OAuthTokens *tokens,
                           std::string *problem, const std::atomic<bool> *stop = nullptr);
    static bool Refresh(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &refreshToken,
                        OAuthTokens *tokens, std::string *problem, const std::atomic<bool> *stop = nullptr);

    // The device sign-in: the grant to show, then the wait for the user
    // (polling as the endpoint asks, at most as long as the code holds).
    static bool StartDevice(const OAuthEndpoints &endpoints, const std::string &caFile, OAuthDeviceGrant *grant,
                            std::string *problem, const std::atomic<bool> *stop = nullptr);
    static bool AwaitDevice(const OAuthEndpoints &endpoints, const std::string &caFile,
                            const OAuthDeviceGrant &grant, OAuthTokens *tokens, std::string *problem,
                            const std::atomic<bool> *stop = nullptr);

    // The browser sign-in: listens on 127.0.0.1, hands the authorization
    // address to open (the system browser), waits for the redirect (at
    // most kSignInSeconds; a stop ends it within a second), checks its
    // state and redeems the code. Needs a Qt application object; runs an
    // event loop of its own.
    static bool BrowserSignIn(const OAuthEndpoints &endpoints, const std::string &caFile,
                              const std::string &loginHint, const std::function<bool(const std::string &)> &open,
                              OAuthTokens *tokens, std::string *problem, const std::atomic<bool> *stop = nullptr);
};
