// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_TlsChannel.h"
#include "Translate.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// OpenSSL writes to the socket itself, without MSG_NOSIGNAL, and not only
// in its write calls: a peer that has hung up must not end the process
// with SIGPIPE, whatever call reaches OpenSSL.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigpending(&m_pending);
        m_wasPending = sigismember(&m_pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~SigpipeBlock() {
        if (!m_wasPending) {
            sigset_t now;
            sigpending(&now);
            if (sigismember(&now, SIGPIPE) == 1) {
                sigset_t pipe;
                sigemptyset(&pipe);
                sigaddset(&pipe, SIGPIPE);
                const timespec none{0, 0};
                sigtimedwait(&pipe, nullptr, &none);
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_old{}, m_pending{};
    bool m_wasPending = false;
};

bool IsAddress(const std::string &host) {
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

std::string ErrorText() {
    char text[256] = "unknown";
    const unsigned long code = ERR_get_error();
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

// The certificate's SHA-256 fingerprint, "AB:CD:...".
std::string Fingerprint(X509 *certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    std::string text;
    char hex[4];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : ":%02X", digest[i]);
        text += hex;
    }
    return text;
}

std::string TimeText(const ASN1_TIME *time) {
    BIO *out = BIO_new(BIO_s_mem());
    if (out == nullptr) return {};
    std::string text;
    if (ASN1_TIME_print(out, time) == 1) {
        char *data = nullptr;
        const long length = BIO_get_mem_data(out, &data);
        if (length > 0) text.assign(data, static_cast<size_t>(length));
    }
    BIO_free(out);
    return text;
}

// Subject, issuer, validity and SHA-256 fingerprint of the server's
// certificate, so that a user can judge a rejected one (or compare it with
// what the provider publishes).
std::string CertificateText(X509 *certificate) {
    if (certificate == nullptr) return {};
    char name[512] = {};
    X509_NAME_oneline(X509_get_subject_name(certificate), name, sizeof name);
    std::string text = std::string("subject ") + name;
    X509_NAME_oneline(X509_get_issuer_name(certificate), name, sizeof name);
    text += std::string(", issuer ") + name;
    text += ", valid " + TimeText(X509_get0_notBefore(certificate)) + " to " + TimeText(X509_get0_notAfter(certificate));
    const std::string fingerprint = Fingerprint(certificate);
    if (!fingerprint.empty()) text += ", SHA-256 " + fingerprint;
    return text;
}

// What the chain check saw: the server's own certificate (after a failed
// handshake the library no longer hands it out) and its fingerprint; with
// a pinned fingerprint the chain's verdict is not asked (the pin decides
// once the handshake is done).
struct Seen {
    std::string text;
    std::string fingerprint;
    bool pinned = false;
};

int NoteCertificate(int ok, X509_STORE_CTX *store) {
    SSL *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *seen = ssl != nullptr ? static_cast<Seen *>(SSL_get_app_data(ssl)) : nullptr;
    if (seen == nullptr) return ok;
    if (seen->text.empty()) {
        X509 *own = X509_STORE_CTX_get0_cert(store);
        seen->text = CertificateText(own);
        seen->fingerprint = Fingerprint(own);
    }
    return seen->pinned ? 1 : ok;
}

}  // namespace

CUT_TlsChannel::~CUT_TlsChannel() { Free(); }

std::string CUT_TlsChannel::FingerprintDigits(const std::string &text) {
    std::string rest = text;
    if (rest.size() > 7 && (rest.compare(0, 7, "sha256:") == 0 || rest.compare(0, 7, "SHA256:") == 0))
        rest = rest.substr(7);
    std::string digits;
    for (char c : rest) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (c != ':' && c != ' ')
            return {};
    }
    return digits;
}

void CUT_TlsChannel::Free() {
    if (m_ssl != nullptr) SSL_free(m_ssl);
    if (m_context != nullptr) SSL_CTX_free(m_context);
    m_ssl = nullptr;
    m_context = nullptr;
    m_socket = kNoSocket;
}

ResultCode CUT_TlsChannel::Start(SocketHandle socket, const std::string &host,
                                 const std::string &caFile) {
    Free();
    ERR_clear_error();
    m_error.clear();
    m_timedOut = false;
    m_pinMismatch = false;
    m_unverified = false;
    m_fingerprint.clear();
    m_context = SSL_CTX_new(TLS_client_method());
    if (m_context == nullptr) {
        m_error = ErrorText();
        return RC_TLS_FAILED;
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    // The system's CA folder is looked up by hash when a certificate needs
    // it, instead of parsing the whole bundle file at every connection.
    const char *folder = std::getenv(X509_get_default_cert_dir_env());
    if (folder == nullptr || *folder == '\0') folder = X509_get_default_cert_dir();
    if (SSL_CTX_load_verify_dir(m_context, folder) != 1) SSL_CTX_set_default_verify_paths(m_context);
    // A bundle file named in the environment (SSL_CERT_FILE) is trusted too.
    const char *bundle = std::getenv(X509_get_default_cert_file_env());
    if (bundle != nullptr && *bundle != '\0') SSL_CTX_load_verify_file(m_context, bundle);
    ERR_clear_error();
    if (!caFile.empty() && SSL_CTX_load_verify_locations(m_context, caFile.c_str(), nullptr) != 1) {
        m_error = "cannot read the CA file " + caFile;
        Free();
        return RC_CERTIFICATE_REJECTED;
    }
    m_ssl = SSL_new(m_context);
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, socket) != 1) {
        m_error = ErrorText();
        Free();
        return RC_TLS_FAILED;
    }
    m_socket = socket;
    // The certificate must name the host we asked for.
    if (IsAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    Seen certificate;
    certificate.pinned = !m_pin.empty();
    SSL_set_app_data(m_ssl, &certificate);
    SSL_set_verify(m_ssl, SSL_VERIFY_PEER, NoteCertificate);
    int result;
    int failure = 0, systemError = 0;
    {
        SigpipeBlock quiet;
        result = SSL_connect(m_ssl);
        if (result != 1) failure = SSL_get_error(m_ssl, result), systemError = errno;
    }
    SSL_set_app_data(m_ssl, nullptr);
    m_fingerprint = certificate.fingerprint;
    // The socket's own wait ran out: the server never answered.
    m_timedOut = result != 1 && (failure == SSL_ERROR_SYSCALL || failure == SSL_ERROR_WANT_READ) &&
                 (systemError == EAGAIN || systemError == EWOULDBLOCK);
    if (result != 1) {
        const long verify = SSL_get_verify_result(m_ssl);
        if (verify != X509_V_OK) {
            m_error = X509_verify_cert_error_string(verify);
            if (!certificate.text.empty()) m_error += "; " + certificate.text;
            m_unverified = !certificate.fingerprint.empty();
            Free();
            return RC_CERTIFICATE_REJECTED;
        }
        m_error = ErrorText();
        Free();
        return RC_TLS_FAILED;
    }
    // A pinned certificate is this one and no other, whoever signed it.
    if (!m_pin.empty()) {
        const std::string pinned = FingerprintDigits(m_pin);
        if (!pinned.empty() && pinned == FingerprintDigits(certificate.fingerprint)) return RC_OK;
        m_error = Fill(Tr("net", "vertraut ist SHA-256 %1, gezeigt wurde %2"), {m_pin, certificate.text});
        m_pinMismatch = true;
        Free();
        return RC_CERTIFICATE_REJECTED;
    }
    if (SSL_get_verify_result(m_ssl) != X509_V_OK || SSL_get0_peer_certificate(m_ssl) == nullptr) {
        m_error = "the server's certificate did not verify";
        m_unverified = !certificate.fingerprint.empty();
        Free();
        return RC_CERTIFICATE_REJECTED;
    }
    return RC_OK;
}

int CUT_TlsChannel::Receive(char *buffer, int length, bool peek) {
    if (m_ssl == nullptr || buffer == nullptr || length <= 0) return -1;
    // A read may write too (an alert, a key update) to a peer that is gone.
    SigpipeBlock quiet;
    for (;;) {
        const int n = peek ? SSL_peek(m_ssl, buffer, length) : SSL_read(m_ssl, buffer, length);
        if (n > 0) return n;
        const int error = SSL_get_error(m_ssl, n);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_SYSCALL && n == 0) return 0;  // closed without notification
        if (error == SSL_ERROR_SYSCALL && errno == EINTR) continue;
        ERR_clear_error();
        return -1;
    }
}

int CUT_TlsChannel::Send(const char *data, int length) {
    if (m_ssl == nullptr || data == nullptr || length <= 0) return -1;
    SigpipeBlock quiet;
    const int n = SSL_write(m_ssl, data, length);
    if (n > 0) return n;
    ERR_clear_error();
    return -1;
}

int CUT_TlsChannel::Pending() const { return m_ssl != nullptr ? SSL_pending(m_ssl) : 0; }

int CUT_TlsChannel::WaitReadable(long seconds, long microseconds) {
    if (m_ssl == nullptr) return 1;
    if (SSL_pending(m_ssl) > 0) return 0;
    using Clock = std::chrono::steady_clock;
    const long long total = (seconds < 0 ? 0LL : seconds * 1000LL) +
                            (microseconds < 0 ? 0 : (microseconds + 999) / 1000);
    const auto deadline = Clock::now() + std::chrono::milliseconds(total);
    for (;;) {
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fd{m_socket, POLLIN, 0};
        const int ready = ::poll(&fd, 1, left < 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return 1;
        // Bytes on the socket may be a record without data; look without
        // blocking.
        const int flags = ::fcntl(m_socket, F_GETFL, 0);
        ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK);
        char byte;
        int n;
        {
            SigpipeBlock quiet;
            n = SSL_peek(m_ssl, &byte, 1);
        }
        const int error = n > 0 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, n);
        ::fcntl(m_socket, F_SETFL, flags);
        if (n > 0) return 0;
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            ERR_clear_error();
            if (left <= 0) return 1;
            continue;
        }
        ERR_clear_error();
        return 0;  // closed or failed: the read that follows will say so
    }
}

int CUT_TlsChannel::Shutdown() {
    if (m_ssl == nullptr) return 0;
    SigpipeBlock quiet;
    SSL_shutdown(m_ssl);
    ERR_clear_error();
    return 0;
}

std::string CUT_TlsChannel::Version() const {
    return m_ssl != nullptr ? SSL_get_version(m_ssl) : std::string();
}
