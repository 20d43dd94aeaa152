// SPDX-License-Identifier: GPL-3.0-or-later
#include "OAuth.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>
#include <QTimer>

#include <chrono>
#include <thread>

#include "Https.h"
#include "Translate.h"

namespace {

std::string Base64Url(const QByteArray &bytes) {
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).toStdString();
}

std::string RandomText(int bytes) {
    QByteArray random(bytes, '\0');
    for (char &b : random) b = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return Base64Url(random);
}

long long Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool Stopped(const std::atomic<bool> *stop) { return stop != nullptr && stop->load(); }

// Every request names the application; a provider's line may leave it to
// the account.
bool HasClient(const OAuthEndpoints &endpoints, std::string *problem) {
    if (!endpoints.clientId.empty()) return true;
    *problem = Tr("accounts", "keine OAuth-Client-ID (OAUTHCLIENT) für dieses Konto");
    return false;
}

// A text field of a JSON answer; numbers (some endpoints send expires_in
// as a text, some as a number) as their digits.
std::string Field(const QJsonObject &object, const char *name) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isString()) return value.toString().toStdString();
    if (value.isDouble()) return std::to_string(static_cast<long long>(value.toDouble()));
    return {};
}

int Seconds(const std::string &text, int fallback, int most) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    const int value = std::stoi(text);
    return value < 1 ? fallback : value > most ? most : value;
}

// One POST to an endpoint and its JSON answer; false with the reason
// when none came or it is no JSON object.
bool PostForm(const std::string &url, const std::string &caFile, const std::string &form, int *status,
              QJsonObject *object, std::string *problem, const std::atomic<bool> *stop) {
    HttpsTarget target;
    target.caFile = caFile;
    if (!Https::ParseUrl(url, &target)) {
        *problem = Fill(Tr("accounts", "\"%1\" ist keine HTTPS-Adresse"), {url});
        return false;
    }
    HttpsAnswer answer;
    if (!Https::Request(target, form, &answer, problem, stop)) return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(answer.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *problem = Fill(Tr("accounts", "%1: keine JSON-Antwort (HTTP %2)"),
                        {Https::Url(target), std::to_string(answer.status)});
        return false;
    }
    *status = answer.status;
    *object = document.object();
    return true;
}

std::string ClientPart(const OAuthEndpoints &endpoints) {
    std::string form = "client_id=" + Https::Escape(endpoints.clientId);
    if (!endpoints.clientSecret.empty()) form += "&client_secret=" + Https::Escape(endpoints.clientSecret);
    return form;
}

std::string Refusal(const QJsonObject &object, int status) {
    const std::string error = Field(object, "error"), description = Field(object, "error_description");
    return Fill(Tr("accounts", "der Anbieter lehnt ab (%1)"),
                {(error.empty() ? "HTTP " + std::to_string(status) : error) +
                 (description.empty() ? std::string() : ": " + description)});
}

// The tokens of a token endpoint's answer.
bool TakeTokens(const QJsonObject &object, int status, OAuthTokens *tokens, std::string *problem) {
    const std::string access = Field(object, "access_token");
    if (status != 200 || access.empty()) {
        *problem = Refusal(object, status);
        return false;
    }
    tokens->access = access;
    const std::string expires = Field(object, "expires_in");
    tokens->expiresAt = expires.empty() ? 0 : Now() + Seconds(expires, 3600, 366 * 24 * 3600);
    tokens->refresh = Field(object, "refresh_token");
    return true;
}

bool RequestTokens(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &form,
                   OAuthTokens *tokens, std::string *problem, const std::atomic<bool> *stop) {
    int status = 0;
    QJsonObject object;
    if (!HasClient(endpoints, problem)) return false;
    return PostForm(endpoints.token, caFile, form + "&" + ClientPart(endpoints), &status, &object, problem, stop) &&
           TakeTokens(object, status, tokens, problem);
}

}  // namespace

bool OAuthTokens::HoldsFor(long long seconds) const { return expiresAt == 0 || expiresAt - seconds > Now(); }

std::string OAuth::NewVerifier() { return RandomText(32); }

std::string OAuth::Challenge(const std::string &verifier) {
    return Base64Url(QCryptographicHash::hash(QByteArray::fromStdString(verifier), QCryptographicHash::Sha256));
}

std::string OAuth::AuthorizationUrl(const OAuthEndpoints &endpoints, const std::string &redirect,
                                    const std::string &state, const std::string &challenge,
                                    const std::string &loginHint) {
    std::string url = endpoints.authorize + (endpoints.authorize.find('?') == std::string::npos ? "?" : "&") +
                      "response_type=code&client_id=" + Https::Escape(endpoints.clientId) +
                      "&redirect_uri=" + Https::Escape(redirect) + "&scope=" + Https::Escape(endpoints.scope) +
                      "&state=" + Https::Escape(state) + "&code_challenge=" + Https::Escape(challenge) +
                      "&code_challenge_method=S256";
    if (!loginHint.empty()) url += "&login_hint=" + Https::Escape(loginHint);
    return url;
}

bool OAuth::RedeemCode(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &code,
                       const std::string &verifier, const std::string &redirect, OAuthTokens *tokens,
                       std::string *problem, const std::atomic<bool> *stop) {
    return RequestTokens(endpoints, caFile,
                         "grant_type=authorization_code&code=" + Https::Escape(code) +
                             "&code_verifier=" + Https::Escape(verifier) + "&redirect_uri=" + Https::Escape(redirect),
                         tokens, problem, stop);
}

bool OAuth::Refresh(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &refreshToken,
                    OAuthTokens *tokens, std::string *problem, const std::atomic<bool> *stop) {
    return RequestTokens(endpoints, caFile, "grant_type=refresh_token&refresh_token=" + Https::Escape(refreshToken),
                         tokens, problem, stop);
}

bool OAuth::StartDevice(const OAuthEndpoints &endpoints, const std::string &caFile, OAuthDeviceGrant *grant,
                        std::string *problem, const std::atomic<bool> *stop) {
    if (endpoints.device.empty()) {
        *problem = Tr("accounts", "der Anbieter bietet keine Anmeldung mit Gerätecode");
        return false;
    }
    if (!HasClient(endpoints, problem)) return false;
    int status = 0;
    QJsonObject object;
    if (!PostForm(endpoints.device, caFile, ClientPart(endpoints) + "&scope=" + Https::Escape(endpoints.scope),
                  &status, &object, problem, stop))
        return false;
    grant->deviceCode = Field(object, "device_code");
    grant->userCode = Field(object, "user_code");
    grant->verificationUri = Field(object, "verification_uri");
    if (grant->verificationUri.empty()) grant->verificationUri = Field(object, "verification_url");
    if (status != 200 || grant->deviceCode.empty() || grant->userCode.empty() || grant->verificationUri.empty()) {
        *problem = Refusal(object, status);
        return false;
    }
    grant->intervalSeconds = Seconds(Field(object, "interval"), 5, 60);
    grant->expiresInSeconds = Seconds(Field(object, "expires_in"), 600, kSignInSeconds * 6);
    return true;
}

bool OAuth::AwaitDevice(const OAuthEndpoints &endpoints, const std::string &caFile, const OAuthDeviceGrant &grant,
                        OAuthTokens *tokens, std::string *problem, const std::atomic<bool> *stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(grant.expiresInSeconds);
    int interval = grant.intervalSeconds;
    const std::string form = "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Adevice_code&device_code=" +
                             Https::Escape(grant.deviceCode) + "&" + ClientPart(endpoints);
    while (std::chrono::steady_clock::now() < until) {
        // The wait in slices of a tenth of a second, so that a stop acts at once.
        for (int slice = 0; slice < interval * 10; ++slice) {
            if (Stopped(stop)) {
                *problem = Tr("accounts", "abgebrochen");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        int status = 0;
        QJsonObject object;
        if (!PostForm(endpoints.token, caFile, form, &status, &object, problem, stop)) return false;
        const std::string error = Field(object, "error");
        if (error == "authorization_pending") continue;
        if (error == "slow_down") {
            interval = std::min(interval + 5, 60);
            continue;
        }
        return TakeTokens(object, status, tokens, problem);
    }
    *problem = Tr("accounts", "der Code ist abgelaufen, ohne dass die Anmeldung bestätigt wurde");
    return false;
}

bool OAuth::BrowserSignIn(const OAuthEndpoints &endpoints, const std::string &caFile, const std::string &loginHint,
                          const std::function<bool(const std::string &)> &open, OAuthTokens *tokens,
                          std::string *problem, const std::atomic<bool> *stop) {
    if (QCoreApplication::instance() == nullptr) {
        *problem = Tr("accounts", "keine Anmeldung im Browser ohne Anwendungsobjekt");
        return false;
    }
    if (!HasClient(endpoints, problem)) return false;
    if (endpoints.authorize.compare(0, 8, "https://") != 0) {
        *problem = Tr("accounts", "der Anbieter nennt keine HTTPS-Adresse für die Anmeldung");
        return false;
    }
    // The loop first: on a thread Qt did not start, it brings the event
    // dispatcher the listener's socket needs.
    QEventLoop loop;
    // The redirect comes to this machine only (RFC 8252, loopback).
    // (Its plain constructor would listen on every interface.)
    QOAuthHttpServerReplyHandler listener(QHostAddress(QHostAddress::LocalHost), 0);
    listener.setCallbackPath(QStringLiteral("/pelloru"));
    listener.setCallbackText(
        QStringLiteral("<html><body><p>") +
        QString::fromUtf8(Tr("accounts", "Pelloru hat die Anmeldung erhalten; dieses Fenster kann geschlossen werden."))
            .toHtmlEscaped() +
        QStringLiteral("</p></body></html>"));
    if (!listener.isListening()) {
        *problem = Tr("accounts", "auf 127.0.0.1 lässt sich nicht warten");
        return false;
    }
    const std::string redirect = "http://127.0.0.1:" + std::to_string(listener.port()) + "/pelloru";
    const std::string verifier = NewVerifier(), state = RandomText(16);
    QVariantMap received;
    bool arrived = false;
    QObject::connect(&listener, &QAbstractOAuthReplyHandler::callbackReceived, &loop, [&](const QVariantMap &values) {
        // Only the answer to this sign-in counts; anything else that finds
        // the port is ignored.
        if (values.value(QStringLiteral("state")).toString().toStdString() != state) return;
        received = values;
        arrived = true;
        loop.quit();
    });
    if (!open(AuthorizationUrl(endpoints, redirect, state, Challenge(verifier), loginHint))) {
        *problem = Tr("accounts", "der Browser ließ sich nicht öffnen");
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kSignInSeconds);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (Stopped(stop) || std::chrono::steady_clock::now() >= until) loop.quit();
    });
    watch.start(200);
    loop.exec();
    listener.close();
    if (!arrived) {
        *problem = Stopped(stop) ? Tr("accounts", "abgebrochen")
                                 : Fill(Tr("accounts", "keine Anmeldung innerhalb von %1 Minuten"),
                                        {std::to_string(kSignInSeconds / 60)});
        return false;
    }
    const std::string code = received.value(QStringLiteral("code")).toString().toStdString();
    if (code.empty()) {
        const std::string error = received.value(QStringLiteral("error")).toString().toStdString();
        *problem = Fill(Tr("accounts", "der Anbieter hat die Anmeldung nicht erteilt (%1)"),
                        {error.empty() ? Tr("accounts", "kein Code") : error});
        return false;
    }
    return RedeemCode(endpoints, caFile, code, verifier, redirect, tokens, problem, stop);
}
