// SPDX-License-Identifier: GPL-3.0-or-later
// TLS over a connected socket (OpenSSL): the handshake with the server's
// certificate checked against the system's trust store (and an extra CA
// file if given) and the host name, then reads, peeks, writes and an
// orderly close. The socket client's raw operations use it once started.
#pragma once

#include <string>

#include "CUT_SocketLayer.h"
#include "ResultCode.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

class CUT_TlsChannel {
public:
    CUT_TlsChannel() = default;
    ~CUT_TlsChannel();
    CUT_TlsChannel(const CUT_TlsChannel &) = delete;
    CUT_TlsChannel &operator=(const CUT_TlsChannel &) = delete;

    // RC_OK, RC_CERTIFICATE_REJECTED, or RC_TLS_FAILED.
    ResultCode Start(SocketHandle socket, const std::string &host, const std::string &caFile);
    bool Active() const { return m_ssl != nullptr; }
    // The protocol version agreed ("TLSv1.3"); empty when not active.
    std::string Version() const;

    // Bytes read (or peeked), 0 when the peer closed, -1 on failure or when
    // the socket's time-out fired.
    int Receive(char *buffer, int length, bool peek);
    int Send(const char *data, int length);
    // Decrypted bytes held inside the library, not visible on the socket.
    int Pending() const;
    // 0 when application data (or the peer's close) is there within the
    // time, 1 otherwise. Records without data, such as session tickets,
    // are taken off the socket while waiting.
    int WaitReadable(long seconds, long microseconds);
    // Sends the close notification; the socket itself is the caller's.
    int Shutdown();
    void Free();

    // What went wrong in the last Start, for people.
    const std::string &LastError() const { return m_error; }
    // Whether the last Start failed because the server did not answer
    // within the socket's time-out.
    bool TimedOut() const { return m_timedOut; }
    // The one certificate to accept from now on, by its SHA-256
    // fingerprint ("AB:CD:..." or hex; empty: the trust store decides, as
    // ever). A pinned certificate needs no CA and may name another host.
    void SetPin(const std::string &sha256) { m_pin = sha256; }
    // A fingerprint as typed, as its hex digits in upper case ("sha256:",
    // colons and blanks dropped); empty when anything else is in it.
    static std::string FingerprintDigits(const std::string &text);
    // The fingerprint of the certificate the last Start saw; whether it was
    // refused for not being the pinned one.
    const std::string &Fingerprint() const { return m_fingerprint; }
    bool PinMismatch() const { return m_pinMismatch; }
    // Whether the last Start refused a certificate nothing vouched for.
    bool Unverified() const { return m_unverified; }

private:
    SSL_CTX *m_context = nullptr;
    SSL *m_ssl = nullptr;
    SocketHandle m_socket = kNoSocket;
    std::string m_error;
    bool m_timedOut = false;
    std::string m_pin;
    std::string m_fingerprint;
    bool m_pinMismatch = false;
    bool m_unverified = false;
};
