// SPDX-License-Identifier: GPL-3.0-or-later
// Blocking TCP client with time-outs, line-oriented receiving and
// overridable hooks. Protocol classes derive from it and talk to their
// server only through these operations.
//
// Stream reads come from one receive buffer, filled with one read when it
// is empty, so a line costs no system call of its own. TLS is a property
// of the connection: once started, every read and write of the stream goes
// through it, below that buffer, and nothing above needs to know.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "CUT_SocketLayer.h"
#include "CUT_TlsChannel.h"
#include "ResultCode.h"

class CUT_ByteSource;
class CUT_DataQueue;

// A server inside this process in place of the network, for scripted runs
// and fuzzing: a stream Connect gets one end of a socket pair instead of
// dialling, and the peer holds the other. It has its turn after every send
// (with the bytes sent) and whenever the client is about to wait for bytes
// that are not there, and says what it has to say by writing into its end,
// or hangs up by closing it. Everything else (waits, peeks, time-outs, the
// peer's close) is the socket's own.
class CUT_LocalPeer {
public:
    virtual ~CUT_LocalPeer() = default;
    // The peer's end; the peer owns it from now on.
    virtual void Accept(SocketHandle end) = 0;
    virtual void Sent(const char *data, int length) = 0;
    virtual void Waiting() = 0;
};

class CUT_WSClient : public CUT_SocketLayer {
public:
    CUT_WSClient();
    ~CUT_WSClient() override;
    CUT_WSClient(const CUT_WSClient &) = delete;
    CUT_WSClient &operator=(const CUT_WSClient &) = delete;

    // Slots 8 to 40, in this order.
    // timeout in seconds; negative: blocking connect without a wait.
    virtual ResultCode Connect(int port, const char *host, long timeout, int family, int type);
    virtual ResultCode ConnectBound(int localPort, int remotePort, const char *localAddress,
                                    const char *remoteAddress, int family, int type);
    virtual ResultCode OpenDatagram(int localPort, int remotePort, const char *remoteAddress,
                                    const char *localAddress);
    virtual ResultCode CreateSocket(SocketHandle &socket, int family, int type, int protocol);
    virtual ResultCode CloseConnection();
    virtual ResultCode CreateMessageWindow(void *moduleInstance);
    virtual ResultCode StartListening(int port, int backlog, int family, uint32_t address);
    virtual ResultCode WaitForConnection(long seconds);
    virtual ResultCode AcceptConnection();
    virtual ResultCode SendFromQueue(CUT_DataQueue &queue);
    virtual ResultCode SendFromSource(CUT_ByteSource &source);
    // Bytes sent, 0 on failure. length <= 0: the NUL-terminated length.
    virtual int Send(const char *data, int length);
    virtual int SendAll(const char *data, int length);
    virtual int SendLines(const char *text, int length, int piece);
    virtual ResultCode SendFile(const char *fileName);
    virtual ResultCode SendDatagram(const char *data, int *length);
    virtual ResultCode WaitForSend(long seconds, long microseconds);
    virtual ResultCode ReceiveToQueue(CUT_DataQueue &queue, long timeout, long limit);
    virtual ResultCode ReceiveToSource(CUT_ByteSource &source, int mode, long timeout, long limit);
    virtual int Receive(char *buffer, int length, long timeout);
    virtual int ReceiveExact(char *buffer, int length, long timeout);
    virtual ResultCode ReceiveToFile(const char *fileName, int mode, long timeout);
    // One line (or the piece of it that fits in size - 1 bytes), line end
    // kept, NUL-terminated. Never takes a byte of the following line.
    virtual int ReceiveLine(char *buffer, int size, long timeout);
    virtual ResultCode ClearReceiveBuffer();
    virtual ResultCode ReceiveDatagram(char *buffer, int *length, long timeout);
    virtual ResultCode WaitForReceive(long seconds, long microseconds);
    virtual ResultCode OnError(ResultCode code);
    virtual int OnReceiveProgress(long bytesSoFar);
    virtual int OnSendProgress(long bytesSoFar);
    virtual int IsAborted();
    virtual void OnWindowNotify0(int low, int high);
    virtual void OnWindowNotify1(int high);
    virtual void OnWindowNotify2(int high);

    // 1 while the data socket is usable and the peer has not closed.
    int IsConnected();
    ResultCode ResolveHostAddress(const char *name, char *out, int size);
    ResultCode SetBlockingMode(int nonBlocking);
    int SetReceiveTimeoutOption(int milliseconds);
    int SetSendTimeoutOption(int milliseconds);

    // TLS over the open connection from now on (RC_OK,
    // RC_CERTIFICATE_REJECTED, RC_TLS_FAILED). Bytes received before and
    // not yet read are dropped: nothing sent in the clear may pass for
    // protected data.
    ResultCode StartTls(const std::string &host, const std::string &caFile);
    bool TlsActive() const { return m_tls.Active(); }
    // The TLS version in use ("TLSv1.3"); empty without TLS.
    std::string TlsVersion() const { return m_tls.Version(); }
    // Why the last StartTls failed, for people.
    const std::string &TlsError() const { return m_tls.LastError(); }
    // One certificate to accept, by its SHA-256 fingerprint (see
    // CUT_TlsChannel::SetPin), and the fingerprint the last StartTls saw.
    void SetPinnedCertificate(const std::string &sha256) { m_tls.SetPin(sha256); }
    const std::string &PeerFingerprint() const { return m_tls.Fingerprint(); }
    bool PinMismatch() const { return m_tls.PinMismatch(); }
    bool CertificateUnverified() const { return m_tls.Unverified(); }

    // What the connection holds right now, without waiting: closed, open
    // with nothing to read, or open with bytes (held or arriving) to read.
    enum ConnectionState { kClosed = 0, kIdle = 1, kDataWaiting = 2 };
    ConnectionState PeekConnection();
    // Small writes go out at once instead of waiting for the peer's
    // acknowledgement (TCP_NODELAY): for commands sent ahead in bursts.
    ResultCode SetNoDelay(bool noDelay);
    // What the socket's send buffer takes (SO_SNDBUF as the system reports
    // it); 0 without a socket.
    int SendBufferBytes() const;
    // Received bytes held in the buffer, not yet handed out.
    int BufferedBytes() const { return m_inEnd - m_inStart; }

    // Line reads give up once this many milliseconds from now have passed,
    // however slowly the bytes trickle in; 0 or less: no such bound.
    void SetReadDeadline(long milliseconds);

    // Why the last connect or TLS start failed, for people: the system's
    // error number where there is one (ECONNREFUSED, ETIMEDOUT, ...) and a
    // text (the resolver's, or the TLS library's with the certificate's
    // subject and SHA-256 fingerprint). Cleared by each Connect.
    int FailureErrno() const { return m_failureErrno; }
    const std::string &FailureDetail() const { return m_failureDetail; }

    // A request to stop, set from another thread. From the moment a wait
    // or a line read first sees it, a reply has kStopGraceMs to end: a
    // reply in hand can still end in step, but one that keeps trickling
    // in does not hold the stop (the caller sees a time-out).
    static constexpr long kStopGraceMs = 1000;
    void SetStopRequest(const std::atomic<bool> *stop) { m_stop = stop; }
    bool StopRequested() const { return m_stop != nullptr && m_stop->load(); }
    // True once a stop has been seen for kStopGraceMs.
    bool StopGraceOver();

    // From now on every stream Connect of this process talks to a new peer
    // made here (port and host as asked) instead of the network; an empty
    // function restores the network.
    using LocalPeerMaker = std::function<std::unique_ptr<CUT_LocalPeer>(int port, const char *host)>;
    static void UseLocalPeers(LocalPeerMaker maker);

    // Read access for derived classes and tests.
    SocketHandle DataSocket() const { return m_socket; }
    int RemotePort() const { return m_remotePort; }
    int LocalPort() const { return m_localPort; }
    int ListeningPort() const { return m_listenPort; }
    const char *AddressText() const { return m_addressText; }

protected:
    static constexpr int kAddressTextSize = 30;
    static constexpr int kReceiveBufferSize = 16 * 1024;

    int m_remotePort = 0;
    int m_localPort = 0;
    int m_listenPort = 0;
    char m_addressText[kAddressTextSize] = {};
    int m_listenProtocol = 0;
    int m_family = 2;
    int m_type = 1;
    SocketHandle m_socket = kNoSocket;
    sockaddr_in m_peer = {};
    SocketHandle m_listenSocket = kNoSocket;
    sockaddr_in m_listenAddress = {};
    int m_nonBlocking = 0;
    void *m_window = nullptr;
    int m_sendTimeoutMs = 30000;
    int m_receiveTimeoutMs = 30000;
    int m_failureErrno = 0;
    std::string m_failureDetail;

private:
    // The stream below the buffer: TLS when started, else the raw
    // operations.
    int TransportReceive(char *buffer, int length);
    int TransportSend(const char *data, int length);
    int TransportWaitReadable(long seconds, long microseconds);
    // One read into the empty buffer; its count, 0 when the peer closed,
    // below 0 on failure.
    int FillReceiveBuffer();
    // Hands out up to length held bytes.
    int TakeBuffered(char *buffer, int length);
    void ResetReceiveBuffer() { m_inStart = m_inEnd = 0; }

    char m_in[kReceiveBufferSize];
    int m_inStart = 0;
    int m_inEnd = 0;
    CUT_TlsChannel m_tls;

    // Waits for data before a line read goes on: the caller's time-out,
    // capped by the read deadline. False when neither allows more.
    bool WaitForLineData(long timeout);

    // Waits up to milliseconds (negative: for ever) in slices, so that a
    // stop request can end it; true when data is there.
    bool WaitReadableStoppable(long long milliseconds);

    bool m_hasDeadline = false;
    const std::atomic<bool> *m_stop = nullptr;
    // When a stop was first seen; false until then.
    bool m_stopSeen = false;
    std::chrono::steady_clock::time_point m_stopSeenAt;
    std::unique_ptr<CUT_LocalPeer> m_localPeer;
    // Gives the local peer its turn when nothing is there to read.
    void LetPeerSpeak();
    ResultCode ConnectLocal(int port, const char *host, int family);
    std::chrono::steady_clock::time_point m_deadline;

    void CopyAddressText(const char *text);
    void DropDataSocket();
    void StoreLocalPort();
    void ApplyTimeoutOptions();
};
