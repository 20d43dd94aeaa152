// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_WSClient.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "CUT_DataQueue.h"
#include "CUT_FileSource.h"
#include "SocketPlatform.h"

namespace {

constexpr int kFamilyInet = 2;
constexpr int kTypeStream = 1;
constexpr int kTypeDatagram = 2;

// Bulk transfers move data in these chunks through a stack buffer.
constexpr int kSendChunk = 255;
constexpr int kReceiveChunk = 256;

in_addr_t ParseDotted(const char *text) { return text == nullptr ? INADDR_NONE : inet_addr(text); }

CUT_WSClient::LocalPeerMaker &LocalPeers() {
    static CUT_WSClient::LocalPeerMaker maker;
    return maker;
}

}  // namespace

CUT_WSClient::CUT_WSClient() {
    // Sockets need no library start-up here; the Windows build would call
    // WSAStartup at this point.
    m_peer.sin_family = AF_INET;
    m_listenAddress.sin_family = AF_INET;
}

CUT_WSClient::~CUT_WSClient() {
    // Non-virtual call on purpose: a derived object is already gone.
    CUT_WSClient::CloseConnection();
}

void CUT_WSClient::CopyAddressText(const char *text) {
    if (text == nullptr) {
        m_addressText[0] = '\0';
        return;
    }
    size_t length = std::strlen(text);
    if (length > kAddressTextSize - 1) length = kAddressTextSize - 1;
    std::memcpy(m_addressText, text, length);
    m_addressText[length] = '\0';
}

void CUT_WSClient::UseLocalPeers(LocalPeerMaker maker) { LocalPeers() = std::move(maker); }

ResultCode CUT_WSClient::ConnectLocal(int port, const char *host, int family) {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return OnError(RC_SOCKET_FAILED);
    CopyAddressText(host);
    m_type = kTypeStream;
    m_family = family;
    m_socket = ends[0];
    m_localPeer = LocalPeers()(port, host);
    if (!m_localPeer) {
        net_platform::CloseSocket(ends[1]);
        DropDataSocket();
        return OnError(RC_NO_CONNECTION);
    }
    m_localPeer->Accept(ends[1]);
    m_remotePort = port;
    ApplyTimeoutOptions();
    return OnError(RC_OK);
}

void CUT_WSClient::LetPeerSpeak() {
    if (m_localPeer && m_socket != kNoSocket && BufferedBytes() == 0 &&
        net_platform::WaitReadable(m_socket, 0, 0) != 1)
        m_localPeer->Waiting();
}

void CUT_WSClient::DropDataSocket() {
    m_localPeer.reset();
    m_tls.Free();
    RawClose(m_socket);
    m_socket = kNoSocket;
    ResetReceiveBuffer();
}

void CUT_WSClient::StoreLocalPort() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_socket, reinterpret_cast<sockaddr *>(&local), &length) == 0)
        m_localPort = ntohs(local.sin_port);
}

void CUT_WSClient::ApplyTimeoutOptions() {
    SetReceiveTimeoutOption(m_receiveTimeoutMs);
    SetSendTimeoutOption(m_sendTimeoutMs);
}

ResultCode CUT_WSClient::Connect(int port, const char *host, long timeout, int family, int type) {
    if (m_socket != kNoSocket) return OnError(RC_SOCKET_IN_USE);
    m_failureErrno = 0;
    m_failureDetail.clear();
    m_stopSeen = false;
    if (LocalPeers() && type == kTypeStream) return ConnectLocal(port, host, family);

    if (ParseDotted(host) != INADDR_NONE) {
        CopyAddressText(host);
    } else if (ResolveHostAddress(host, m_addressText, kAddressTextSize) != RC_OK) {
        return OnError(RC_HOST_NOT_RESOLVED);
    }

    m_type = type;
    m_family = family;
    m_peer = sockaddr_in{};
    m_peer.sin_family = static_cast<sa_family_t>(family);
    m_peer.sin_port = htons(static_cast<uint16_t>(port));
    m_peer.sin_addr.s_addr = inet_addr(m_addressText);

    if (CreateSocket(m_socket, family, type, 0) != RC_OK) return OnError(RC_SOCKET_FAILED);

    const bool timed = timeout >= 0;
    if (timed) net_platform::SetNonBlocking(m_socket, true);

    if (::connect(m_socket, reinterpret_cast<sockaddr *>(&m_peer), sizeof m_peer) != 0) {
        int error = net_platform::LastError();
        bool pending = error == EINPROGRESS || error == EWOULDBLOCK || error == EAGAIN;
        if (!pending) {
            m_failureErrno = error;
            DropDataSocket();
            // A refusal seen at once still means "not established in time"
            // for a timed connect, as it does where the refusal arrives later.
            return OnError(timed && error == ECONNREFUSED ? RC_NO_CONNECTION : RC_CONNECT_FAILED);
        }
        // Writable alone is not enough: a failed connect also turns the
        // socket writable here, so its pending error decides.
        bool writable = false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
        // In slices, so that a stop request ends a connect that hangs.
        while (timed && !writable && !StopRequested()) {
            const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       until - std::chrono::steady_clock::now())
                                       .count();
            if (left <= 0) break;
            const long slice = left < 250 ? static_cast<long>(left) : 250;
            writable = WaitForSend(0, slice * 1000) == RC_OK;
        }
        const int pendingError = writable ? net_platform::PendingError(m_socket) : ETIMEDOUT;
        if (!timed || pendingError != 0) {
            m_failureErrno = timed ? pendingError : error;
            DropDataSocket();
            return OnError(RC_NO_CONNECTION);
        }
    }

    if (timed) net_platform::SetNonBlocking(m_socket, false);
    ApplyTimeoutOptions();
    m_remotePort = ntohs(m_peer.sin_port);
    StoreLocalPort();

    int result = OnConnected(m_socket, host);
    if (result != 0) DropDataSocket();
    return OnError(result);
}

ResultCode CUT_WSClient::ConnectBound(int localPort, int remotePort, const char *localAddress,
                                      const char *remoteAddress, int family, int type) {
    if (m_socket != kNoSocket) return OnError(RC_SOCKET_IN_USE);
    CopyAddressText(remoteAddress);
    m_family = family;
    m_type = type;
    if (CreateSocket(m_socket, family, type, 0) != RC_OK) return OnError(RC_SOCKET_FAILED);

    sockaddr_in local{};
    local.sin_family = static_cast<sa_family_t>(family);
    local.sin_port = htons(static_cast<uint16_t>(localPort));
    local.sin_addr.s_addr = ParseDotted(localAddress);
    if (::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
        return OnError(RC_BIND_FAILED);

    m_peer = sockaddr_in{};
    m_peer.sin_family = static_cast<sa_family_t>(family);
    m_peer.sin_port = htons(static_cast<uint16_t>(remotePort));
    m_peer.sin_addr.s_addr = ParseDotted(remoteAddress);
    if (::connect(m_socket, reinterpret_cast<sockaddr *>(&m_peer), sizeof m_peer) != 0)
        return OnError(RC_CONNECT_FAILED);

    m_remotePort = remotePort;
    StoreLocalPort();
    ApplyTimeoutOptions();
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::OpenDatagram(int localPort, int remotePort, const char *remoteAddress,
                                      const char *localAddress) {
    if (m_socket != kNoSocket) return OnError(RC_SOCKET_IN_USE);
    CopyAddressText(remoteAddress);
    m_family = kFamilyInet;
    m_type = kTypeDatagram;
    if (CreateSocket(m_socket, kFamilyInet, kTypeDatagram, 0) != RC_OK)
        return OnError(RC_SOCKET_FAILED);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(localPort));
    local.sin_addr.s_addr = localAddress == nullptr ? htonl(INADDR_ANY) : ParseDotted(localAddress);
    if (::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        DropDataSocket();
        return OnError(RC_BIND_FAILED);
    }
    StoreLocalPort();
    m_remotePort = remotePort;
    ApplyTimeoutOptions();
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::CreateSocket(SocketHandle &socket, int family, int type, int protocol) {
    SocketHandle created = ::socket(family, type, protocol);
    if (created == kNoSocket) return OnError(RC_ERROR);
    socket = created;
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::CloseConnection() {
    ResultCode result = RC_OK;
    if (m_socket != kNoSocket) {
        if (m_tls.Active()) m_tls.Shutdown();
        if (m_type == kTypeStream && RawShutdown(m_socket, 2) != 0) result = RC_ERROR;
        m_tls.Free();
        if (RawClose(m_socket) != 0) result = RC_ERROR;
    }
    m_localPeer.reset();
    ResetReceiveBuffer();
    if (m_listenSocket != kNoSocket) {
        if (RawShutdown(m_listenSocket, 2) != 0) result = RC_ERROR;
        if (RawClose(m_listenSocket) != 0) result = RC_ERROR;
    }
    m_socket = kNoSocket;
    m_listenSocket = kNoSocket;
    m_remotePort = 0;
    m_localPort = 0;
    m_listenPort = 0;
    m_addressText[0] = '\0';
    return OnError(result);
}

ResultCode CUT_WSClient::CreateMessageWindow(void *) {
    // There is no hidden notification window on this platform; the three
    // handlers stay for derived classes that deliver such events themselves.
    return OnError(RC_ERROR);
}

ResultCode CUT_WSClient::StartListening(int port, int backlog, int family, uint32_t address) {
    if (m_listenSocket != kNoSocket) return OnError(RC_SOCKET_IN_USE);
    m_listenAddress = sockaddr_in{};
    m_listenAddress.sin_family = static_cast<sa_family_t>(family);
    m_listenAddress.sin_port = htons(static_cast<uint16_t>(port));
    m_listenAddress.sin_addr.s_addr = address;
    if (CreateSocket(m_listenSocket, family, kTypeStream, m_listenProtocol) != RC_OK)
        return OnError(RC_SOCKET_FAILED);
    int yes = 1;
    ::setsockopt(m_listenSocket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_listenSocket, reinterpret_cast<sockaddr *>(&m_listenAddress),
               sizeof m_listenAddress) != 0)
        return OnError(RC_BIND_FAILED);
    if (::listen(m_listenSocket, backlog) != 0) return OnError(RC_LISTEN_FAILED);
    if (m_socket != kNoSocket) ApplyTimeoutOptions();
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(m_listenSocket, reinterpret_cast<sockaddr *>(&bound), &length) == 0)
        m_listenPort = ntohs(bound.sin_port);
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::WaitForConnection(long seconds) {
    return OnError(net_platform::WaitReadable(m_listenSocket, seconds, 0) == 1 ? RC_OK : RC_ERROR);
}

ResultCode CUT_WSClient::AcceptConnection() {
    if (m_socket != kNoSocket) {
        if (m_tls.Active()) m_tls.Shutdown();
        bool failed = m_type == kTypeStream && RawShutdown(m_socket, 2) != 0;
        m_tls.Free();
        failed = RawClose(m_socket) != 0 || failed;
        m_socket = kNoSocket;
        ResetReceiveBuffer();
        if (failed) return OnError(RC_ERROR);
    }
    socklen_t length = sizeof m_peer;
    SocketHandle accepted =
        ::accept(m_listenSocket, reinterpret_cast<sockaddr *>(&m_peer), &length);
    if (accepted == kNoSocket) return OnError(RC_ERROR);
    m_socket = accepted;
    m_type = kTypeStream;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &m_peer.sin_addr, text, sizeof text);
    CopyAddressText(text);
    m_remotePort = ntohs(m_peer.sin_port);
    StoreLocalPort();
    // Without the options an accepted socket would wait for ever on a
    // silent peer.
    ApplyTimeoutOptions();
    return OnConnected(m_socket, m_addressText);
}

ResultCode CUT_WSClient::SendFromQueue(CUT_DataQueue &queue) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    char buffer[kSendChunk];
    long total = 0;
    for (;;) {
        int n = queue.ReadData(buffer, kSendChunk);
        if (n <= 0) break;
        if (n > kSendChunk) n = kSendChunk;
        if (SendAll(buffer, n) != n) return OnError(RC_SEND_FAILED);
        total += n;
        if (OnSendProgress(total) == 0 || IsAborted()) return OnError(RC_ABORTED);
    }
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::SendFromSource(CUT_ByteSource &source) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    if (source.Open(OpenMode::Read) == -1) return OnError(RC_SOURCE_OPEN_FAILED);
    char buffer[kSendChunk + 1];  // a memory source stores a NUL after the data
    long total = 0;
    ResultCode result = RC_OK;
    for (;;) {
        const int n = source.Read(buffer, kSendChunk);
        if (n <= 0) break;
        // All of it or a failure: a partial send would lose bytes unseen.
        if (SendAll(buffer, n) != n) {
            result = RC_SEND_FAILED;
            break;
        }
        total += n;
        if (OnSendProgress(total) == 0 || IsAborted()) {
            result = RC_ABORTED;
            break;
        }
    }
    source.Close();
    return OnError(result);
}

int CUT_WSClient::Send(const char *data, int length) {
    if (data == nullptr) return 0;
    if (length <= 0) {
        size_t text = std::strlen(data);
        length = text > INT32_MAX ? INT32_MAX : static_cast<int>(text);
    }
    if (length == 0) return 0;
    int sent = TransportSend(data, length);
    return sent < 0 ? 0 : sent;
}

int CUT_WSClient::SendAll(const char *data, int length) {
    if (data == nullptr) return 0;
    if (length <= 0) length = static_cast<int>(std::strlen(data));
    int total = 0;
    while (total < length) {
        int sent = Send(data + total, length - total);
        if (sent <= 0) break;
        total += sent;
    }
    return total;
}

int CUT_WSClient::SendLines(const char *text, int length, int piece) {
    if (text == nullptr) return 0;
    if (length < 0) length = static_cast<int>(std::strlen(text));
    // A piece of 0 would never advance.
    if (length <= 0 || piece <= 0) return 0;
    int total = 0;
    while (total < length) {
        if (IsAborted()) break;
        int part = length - total < piece ? length - total : piece;
        int sent = Send(text + total, part);
        if (sent <= 0) break;
        total += sent;
        if (Send("\r\n", 2) <= 0) break;
    }
    return total;
}

ResultCode CUT_WSClient::SendFile(const char *fileName) {
    CUT_FileSource file(fileName, 4096);
    return SendFromSource(file);
}

ResultCode CUT_WSClient::SendDatagram(const char *data, int *length) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    if (data == nullptr || length == nullptr || *length < 0) return OnError(RC_SEND_FAILED);
    m_peer = sockaddr_in{};
    m_peer.sin_family = static_cast<sa_family_t>(m_family);
    m_peer.sin_port = htons(static_cast<uint16_t>(m_remotePort));
    m_peer.sin_addr.s_addr = inet_addr(m_addressText);
    ssize_t sent = ::sendto(m_socket, data, static_cast<size_t>(*length), MSG_NOSIGNAL,
                            reinterpret_cast<sockaddr *>(&m_peer), sizeof m_peer);
    *length = sent < 0 ? -1 : static_cast<int>(sent);
    return OnError(sent < 0 ? RC_SEND_FAILED : RC_OK);
}

ResultCode CUT_WSClient::WaitForSend(long seconds, long microseconds) {
    return OnError(net_platform::WaitWritable(m_socket, seconds, microseconds) == 1 ? RC_OK
                                                                                    : RC_ERROR);
}

ResultCode CUT_WSClient::ReceiveToQueue(CUT_DataQueue &queue, long timeout, long limit) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    long target = queue.GetDataSize();
    if (limit >= 1 && limit < target) target = limit;
    char buffer[kReceiveChunk];
    long total = 0;
    while (total < target) {
        if (timeout > 0 && WaitForReceive(timeout, 0) != RC_OK) return OnError(RC_RECEIVE_TIMEOUT);
        long left = target - total;
        int chunk = left < kReceiveChunk ? static_cast<int>(left) : kReceiveChunk;
        int n = Receive(buffer, chunk, 0);
        if (n == 0) break;
        if (n < 0) return OnError(RC_RECEIVE_FAILED);
        if (queue.WriteData(buffer, n) != n) return OnError(RC_SOURCE_WRITE_FAILED);
        total += n;
        if (OnReceiveProgress(total) == 0 || IsAborted()) return OnError(RC_ABORTED);
    }
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::ReceiveToSource(CUT_ByteSource &source, int mode, long timeout,
                                         long limit) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    if (mode != static_cast<int>(OpenMode::Write) && mode != static_cast<int>(OpenMode::Append))
        return OnError(RC_BAD_MODE);
    if (source.Open(static_cast<OpenMode>(mode)) == -1) return OnError(RC_SOURCE_OPEN_FAILED);
    char buffer[kReceiveChunk];
    long total = 0;
    ResultCode result = RC_OK;
    for (;;) {
        // The wait comes first, also on the pass after the limit.
        if (timeout > 0 && WaitForReceive(timeout, 0) != RC_OK) {
            result = RC_RECEIVE_TIMEOUT;
            break;
        }
        int chunk = kReceiveChunk;
        if (limit > 0 && limit - total < chunk) chunk = static_cast<int>(limit - total);
        if (chunk <= 0) break;
        const int n = Receive(buffer, chunk, 0);
        if (n == 0) break;
        if (n < 0) {
            result = RC_RECEIVE_FAILED;
            break;
        }
        if (source.Write(buffer, n) != n) {
            result = RC_SOURCE_WRITE_FAILED;
            break;
        }
        total += n;
        if (OnReceiveProgress(total) == 0 || IsAborted()) {
            result = RC_ABORTED;
            break;
        }
    }
    source.Close();
    return OnError(result);
}

int CUT_WSClient::Receive(char *buffer, int length, long timeout) {
    if (buffer == nullptr || length <= 0) return 0;
    if (BufferedBytes() > 0) return TakeBuffered(buffer, length);
    if (timeout > 0 && WaitForReceive(timeout, 0) != RC_OK) return 0;
    return TransportReceive(buffer, length);
}

int CUT_WSClient::ReceiveExact(char *buffer, int length, long timeout) {
    if (buffer == nullptr || length <= 0) return 0;
    int total = TakeBuffered(buffer, length);
    while (total < length) {
        if (timeout > 0 && WaitForReceive(timeout, 0) != RC_OK) break;
        int n = TransportReceive(buffer + total, length - total);
        if (n <= 0) break;
        total += n;
    }
    return total;
}

ResultCode CUT_WSClient::ReceiveToFile(const char *fileName, int mode, long timeout) {
    CUT_FileSource file(fileName, 4096);
    return ReceiveToSource(file, mode, timeout, 0);
}

int CUT_WSClient::ReceiveLine(char *buffer, int size, long timeout) {
    if (buffer == nullptr || size < 2) return 0;
    // Bytes go to the caller only once they are taken, so a read that gets
    // nothing leaves the caller's buffer as it was, and the bytes of the
    // next line stay held for the next read.
    int room = size - 1;
    int stored = 0;
    while (room > 0) {
        if (IsAborted()) break;
        if (BufferedBytes() == 0) {
            if (!WaitForLineData(timeout)) break;
            if (FillReceiveBuffer() < 1) break;
        }
        const int available = BufferedBytes() < room ? BufferedBytes() : room;
        const char *start = m_in + m_inStart;
        const char *lf = static_cast<const char *>(std::memchr(start, '\n', available));
        const int taken = TakeBuffered(buffer + stored, lf != nullptr ? static_cast<int>(lf - start) + 1
                                                                      : available);
        stored += taken;
        room -= taken;
        buffer[stored] = '\0';
        if (lf != nullptr) break;
    }
    return stored;
}

int CUT_WSClient::TakeBuffered(char *buffer, int length) {
    int count = BufferedBytes() < length ? BufferedBytes() : length;
    if (count <= 0) return 0;
    std::memcpy(buffer, m_in + m_inStart, static_cast<size_t>(count));
    m_inStart += count;
    if (m_inStart == m_inEnd) ResetReceiveBuffer();
    return count;
}

int CUT_WSClient::FillReceiveBuffer() {
    ResetReceiveBuffer();
    const int n = TransportReceive(m_in, kReceiveBufferSize);
    if (n > 0) m_inEnd = n > kReceiveBufferSize ? kReceiveBufferSize : n;
    return n;
}

int CUT_WSClient::TransportReceive(char *buffer, int length) {
    LetPeerSpeak();
    if (m_tls.Active()) return m_tls.Receive(buffer, length, false);
    return RawReceive(m_socket, buffer, length, 0);
}

int CUT_WSClient::TransportSend(const char *data, int length) {
    const int sent = m_tls.Active() ? m_tls.Send(data, length) : RawSend(m_socket, data, length, 0);
    if (m_localPeer && sent > 0) m_localPeer->Sent(data, sent);
    return sent;
}

int CUT_WSClient::TransportWaitReadable(long seconds, long microseconds) {
    if (seconds > 0 || microseconds > 0) LetPeerSpeak();
    if (m_tls.Active()) return m_tls.WaitReadable(seconds, microseconds);
    return RawWaitReadable(m_socket, seconds, microseconds);
}

ResultCode CUT_WSClient::SetNoDelay(bool noDelay) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    const int value = noDelay ? 1 : 0;
    return OnError(::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0
                       ? RC_OK
                       : RC_ERROR);
}

int CUT_WSClient::SendBufferBytes() const {
    if (m_socket == kNoSocket) return 0;
    int size = 0;
    socklen_t length = sizeof size;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &size, &length) != 0) return 0;
    return size;
}

ResultCode CUT_WSClient::StartTls(const std::string &host, const std::string &caFile) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    ResetReceiveBuffer();
    const ResultCode started = m_tls.Start(m_socket, host, caFile);
    if (started != RC_OK) m_failureDetail = m_tls.LastError();
    if (started != RC_OK && m_tls.TimedOut()) m_failureErrno = ETIMEDOUT;
    return OnError(started);
}

void CUT_WSClient::SetReadDeadline(long milliseconds) {
    m_hasDeadline = milliseconds > 0;
    if (m_hasDeadline)
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

bool CUT_WSClient::WaitForLineData(long timeout) {
    if (StopGraceOver()) return false;
    long long waitMs = timeout > 0 ? timeout * 1000LL : -1;
    if (m_hasDeadline) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   m_deadline - std::chrono::steady_clock::now())
                                   .count();
        if (left <= 0) return false;
        if (waitMs < 0 || left < waitMs) waitMs = left;
    }
    if (waitMs < 0 && m_stop == nullptr) return true;  // the read blocks on the socket's own time-out
    return WaitReadableStoppable(waitMs);
}

bool CUT_WSClient::StopGraceOver() {
    if (!StopRequested()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_stopSeen) m_stopSeen = true, m_stopSeenAt = now;
    return now - m_stopSeenAt >= std::chrono::milliseconds(kStopGraceMs);
}

bool CUT_WSClient::WaitReadableStoppable(long long milliseconds) {
    if (m_stop == nullptr)
        return WaitForReceive(static_cast<long>(milliseconds / 1000),
                              static_cast<long>(milliseconds % 1000) * 1000) == RC_OK;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (StopGraceOver()) return false;
        const long long spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
        long long slice = 200;
        if (milliseconds >= 0) {
            if (spent >= milliseconds) return false;
            if (milliseconds - spent < slice) slice = milliseconds - spent;
        }
        if (WaitForReceive(0, static_cast<long>(slice) * 1000) == RC_OK) return true;
    }
}

ResultCode CUT_WSClient::ClearReceiveBuffer() {
    ResetReceiveBuffer();
    char scratch[256];
    while ((RawBytesAvailable(m_socket) || (m_tls.Active() && m_tls.Pending() > 0)) &&
           Receive(scratch, sizeof scratch, 0) > 0) {
    }
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::ReceiveDatagram(char *buffer, int *length, long timeout) {
    if (m_socket == kNoSocket) return OnError(RC_NO_SOCKET);
    if (WaitForReceive(timeout, 0) != RC_OK) return OnError(RC_RECEIVE_TIMEOUT);
    if (buffer == nullptr || length == nullptr || *length < 0) return OnError(RC_RECEIVE_FAILED);
    socklen_t peerLength = sizeof m_peer;
    ssize_t n = ::recvfrom(m_socket, buffer, static_cast<size_t>(*length), 0,
                           reinterpret_cast<sockaddr *>(&m_peer), &peerLength);
    *length = n < 0 ? -1 : static_cast<int>(n);
    return OnError(n < 0 ? RC_RECEIVE_FAILED : RC_OK);
}

ResultCode CUT_WSClient::WaitForReceive(long seconds, long microseconds) {
    if (BufferedBytes() > 0) return OnError(RC_OK);
    return OnError(TransportWaitReadable(seconds, microseconds) == 0 ? RC_OK : RC_ERROR);
}

ResultCode CUT_WSClient::OnError(ResultCode code) { return code; }

int CUT_WSClient::OnReceiveProgress(long) { return !IsAborted(); }

int CUT_WSClient::OnSendProgress(long) { return !IsAborted(); }

int CUT_WSClient::IsAborted() { return 0; }

void CUT_WSClient::OnWindowNotify0(int, int) {}
void CUT_WSClient::OnWindowNotify1(int) {}
void CUT_WSClient::OnWindowNotify2(int) {}

int CUT_WSClient::IsConnected() { return PeekConnection() != kClosed ? 1 : 0; }

CUT_WSClient::ConnectionState CUT_WSClient::PeekConnection() {
    if (m_socket == kNoSocket) return kClosed;
    if (BufferedBytes() > 0 || (m_tls.Active() && m_tls.Pending() > 0)) return kDataWaiting;
    int readable = net_platform::WaitReadable(m_socket, 0, 0);
    if (readable < 0) {
        int error = net_platform::LastError();
        if (error == EBADF || error == ENOTSOCK || error == ENETDOWN) return kClosed;
        readable = 0;
    }

    // Peek without waiting; the socket's own mode stays blocking.
    char byte;
    ssize_t n = ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0) {
        switch (net_platform::LastError()) {
        case EINTR: case EFAULT: case EINVAL: case EBADF: case ENOTSOCK: case EMSGSIZE:
        case EOPNOTSUPP: case ENETDOWN: case ENETRESET: case EISCONN: case ESHUTDOWN:
        case ETIMEDOUT: case ECONNRESET:
            return kClosed;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            n = 0;
            break;
        default:
            return kIdle;
        }
    }
    if (n == 0) return readable == 1 ? kClosed : kIdle;
    // Over TLS the bytes may be a record without data (a session ticket):
    // only data counts.
    if (m_tls.Active() && m_tls.Pending() == 0 && m_tls.WaitReadable(0, 0) != 0) return kIdle;
    return kDataWaiting;
}

ResultCode CUT_WSClient::ResolveHostAddress(const char *name, char *out, int size) {
    if (name == nullptr) return OnError(RC_HOST_NOT_FOUND);
    // Only the part after the last '@' names the host (user@host forms);
    // an '@' in the first position is not looked at.
    const char *host = name;
    for (size_t i = std::strlen(name); i > 1; --i) {
        if (name[i - 1] == '@') {
            host = name + i;
            break;
        }
    }

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        m_failureDetail = resolved != 0 ? ::gai_strerror(resolved) : "no address";
        return OnError(RC_HOST_NOT_FOUND);
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    bool formatted = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    if (!formatted) return OnError(RC_HOST_NOT_FOUND);

    size_t length = std::strlen(text);
    if (out == nullptr || size < 0 || static_cast<size_t>(size) < length + 1)
        return OnError(RC_BUFFER_TOO_SMALL);
    std::memcpy(out, text, length + 1);
    return OnError(RC_OK);
}

ResultCode CUT_WSClient::SetBlockingMode(int nonBlocking) {
    if (net_platform::SetNonBlocking(m_socket, nonBlocking != 0) != 0) return OnError(RC_ERROR);
    m_nonBlocking = nonBlocking != 0 ? 1 : 0;
    return OnError(RC_OK);
}

namespace {
int SetTimeoutOption(SocketHandle socket, int option, int milliseconds) {
    if (socket == kNoSocket || milliseconds < 0) return -1;
    // POSIX takes a timeval where Windows takes a 4-byte millisecond count.
    timeval value{};
    value.tv_sec = milliseconds / 1000;
    value.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value) == 0 ? 0 : -1;
}
}  // namespace

int CUT_WSClient::SetReceiveTimeoutOption(int milliseconds) {
    int result = SetTimeoutOption(m_socket, SO_RCVTIMEO, milliseconds);
    if (result == 0) m_receiveTimeoutMs = milliseconds;
    return OnError(result);
}

int CUT_WSClient::SetSendTimeoutOption(int milliseconds) {
    int result = SetTimeoutOption(m_socket, SO_SNDTIMEO, milliseconds);
    if (result == 0) m_sendTimeoutMs = milliseconds;
    return OnError(result);
}
