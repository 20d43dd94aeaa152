#include "CUT_Pop3Session.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "CUT_FileSource.h"
#include "TextHelpers.h"

namespace {

// A line of at most three bytes that begins with '.' ends a multi-line
// reply: ".\r\n", and also shorter forms such as ".\n" or ".x\n".
bool IsTerminatingLine(const char *line, int count) {
    return count > 0 && count <= 3 && line[0] == '.';
}

}  // namespace

CUT_Pop3Session::CUT_Pop3Session() = default;

CUT_Pop3Session::~CUT_Pop3Session() {
    // The TLS channel goes first, while this object's raw operations exist.
    if (m_tls.Active()) CloseConnection();
}

int CUT_Pop3Session::OnConnected(SocketHandle, const char *) {
    if (m_tlsMode == TLS_IMPLICIT) return OnError(StartTls());
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::SetTls(int mode, const std::string &caFile) {
    if (mode < TLS_NONE || mode > TLS_STARTTLS) return OnError(RC_ERROR);
    m_tlsMode = mode;
    m_caFile = caFile;
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::StartTls() {
    // The name the certificate must carry: the host as given, without a
    // "user@" in front.
    const size_t at = m_host.rfind('@');
    const std::string host = at != std::string::npos && at > 0 ? m_host.substr(at + 1) : m_host;
    return m_tls.Start(DataSocket(), host, m_caFile);
}

int CUT_Pop3Session::RawClose(SocketHandle socket) {
    if (m_tls.Active()) m_tls.Free();
    return CUT_WSClient::RawClose(socket);
}

int CUT_Pop3Session::RawShutdown(SocketHandle socket, int how) {
    if (m_tls.Active()) m_tls.Shutdown();
    return CUT_WSClient::RawShutdown(socket, how);
}

int CUT_Pop3Session::RawReceive(SocketHandle socket, char *buffer, int length, int flags) {
    if (!m_tls.Active()) return CUT_WSClient::RawReceive(socket, buffer, length, flags);
    return m_tls.Receive(buffer, length, (flags & MSG_PEEK) != 0);
}

int CUT_Pop3Session::RawSend(SocketHandle socket, const char *data, int length, int flags) {
    if (!m_tls.Active()) return CUT_WSClient::RawSend(socket, data, length, flags);
    return m_tls.Send(data, length);
}

int CUT_Pop3Session::RawBytesAvailable(SocketHandle socket) {
    if (m_tls.Active() && m_tls.Pending() > 0) return 1;
    return CUT_WSClient::RawBytesAvailable(socket);
}

int CUT_Pop3Session::RawWaitReadable(SocketHandle socket, long seconds, long microseconds) {
    if (!m_tls.Active()) return CUT_WSClient::RawWaitReadable(socket, seconds, microseconds);
    return m_tls.WaitReadable(seconds, microseconds);
}

int CUT_Pop3Session::OnRetrieveProgress(long) { return !IsAborted(); }

ResultCode CUT_Pop3Session::SetConnectTimeout(int seconds) {
    if (seconds <= 0) return OnError(RC_ERROR);
    m_connectTimeout = seconds;
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::SetReceiveTimeout(int seconds) {
    if (seconds <= 0) return OnError(RC_ERROR);
    m_receiveTimeout = seconds;
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::SetPort(int port) {
    if (port < 1 || port > 65535) return OnError(RC_ERROR);
    m_port = port;
    return OnError(RC_OK);
}

int CUT_Pop3Session::ReadReplyLine(int timeout) {
    return ReceiveLine(m_reply, kReplySize, timeout);
}

bool CUT_Pop3Session::ReadPositiveReply(int timeout) {
    return ReplyIsPositive(ReadReplyLine(timeout));
}

ResultCode CUT_Pop3Session::OpenMailbox(const char *host, const char *user, const char *password) {
    CloseMailbox();

    m_host = host != nullptr ? host : "";
    ResultCode result = Connect(m_port, host, m_connectTimeout, 2, 1);
    if (result != RC_OK) return OnError(result);

    if (!ReadPositiveReply(m_receiveTimeout)) return OnError(RC_NO_CONNECTION);

    if (m_tlsMode == TLS_STARTTLS) {
        // No password goes out unless the upgrade succeeded.
        if (!OffersStls()) return OnError(RC_STLS_REFUSED);
        Send("STLS\r\n", -1);
        if (!ReadPositiveReply(m_receiveTimeout)) return OnError(RC_STLS_REFUSED);
        result = StartTls();
        if (result != RC_OK) return OnError(result);
        // What the server offers may change with the upgrade: ask again.
        OffersStls();
    }

    Send("USER ", -1);
    Send(user != nullptr ? user : "", -1);
    Send("\r\n", -1);
    if (!ReadPositiveReply(m_receiveTimeout)) return OnError(RC_USER_REFUSED);

    if (IsAborted()) return OnError(RC_ABORTED);

    Send("PASS ", -1);
    Send(password != nullptr ? password : "", -1);
    Send("\r\n", -1);
    if (!ReadPositiveReply(m_receiveTimeout)) return OnError(RC_PASS_REFUSED);
    return OnError(RC_OK);
}

bool CUT_Pop3Session::OffersStls() {
    Send("CAPA\r\n", -1);
    if (!ReadPositiveReply(m_receiveTimeout)) return false;
    bool offered = false;
    for (;;) {
        const int count = ReadReplyLine(m_receiveTimeout);
        if (count <= 0 || IsTerminatingLine(m_reply, count)) break;
        char word[16];
        if (ExtractToken(m_reply, " \r\n", 0, word, sizeof word) == 0 && EqualsNoCase(word, "STLS"))
            offered = true;
    }
    return offered;
}

ResultCode CUT_Pop3Session::CloseMailbox() {
    // The server's answer to QUIT is not awaited; closing is what counts.
    Send("Quit\r\n", -1);
    return CloseConnection();
}

ResultCode CUT_Pop3Session::SimpleCommand(const char *command, ResultCode refusal) {
    if (!IsConnected()) return OnError(RC_NOT_CONNECTED);
    Send(command, -1);
    int count = ReadReplyLine(m_receiveTimeout);
    if (count <= 0) return OnError(RC_NO_REPLY);
    if (m_reply[0] != '+') return OnError(refusal);
    return RC_OK;
}

ResultCode CUT_Pop3Session::NumberFromReply(const char *separators, int index, long *out) {
    StripLineEnd(m_reply);
    char token[261];
    if (ExtractToken(m_reply, separators, index, token, sizeof token) != 0)
        return OnError(RC_BAD_REPLY);
    if (out != nullptr) *out = ParseDecimal(token);
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::GetMessageCount(long *count) {
    ResultCode result = SimpleCommand("STAT\r\n", RC_STAT_REFUSED);
    if (result != RC_OK) return result;
    return NumberFromReply(" ", 1, count);
}

ResultCode CUT_Pop3Session::GetMessageSize(int messageNumber, long *size) {
    char command[32];
    std::snprintf(command, sizeof command, "LIST %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_LIST_REFUSED);
    if (result != RC_OK) return result;
    return NumberFromReply(" ()", 2, size);
}

ResultCode CUT_Pop3Session::RetrieveToSource(int messageNumber, CUT_ByteSource &source) {
    if (!IsConnected()) return OnError(RC_NOT_CONNECTED);
    // The target is opened before anything is sent.
    if (source.Open(OpenMode::Write) == -1) return OnError(RC_TARGET_OPEN_FAILED);
    std::snprintf(m_reply, sizeof m_reply, "RETR %d\r\n", messageNumber);
    Send(m_reply, -1);
    int count = ReceiveLine(m_reply, kRetrieveLineSize, m_receiveTimeout);
    if (count <= 0 || m_reply[0] != '+') {
        source.Close();
        return OnError(count <= 0 ? RC_NO_REPLY : RC_RETR_REFUSED);
    }

    ResultCode result = RC_OK;
    if (IsAborted()) {
        result = RC_ABORTED;
    } else {
        long total = 0;
        for (;;) {
            count = ReceiveLine(m_reply, kRetrieveLineSize, m_receiveTimeout);
            if (count < 1) {
                result = RC_RECEIVE_TIMEOUT;
                break;
            }
            total += count;
            if (OnRetrieveProgress(total) != 1) {
                result = RC_ABORTED;
                break;
            }
            if (m_reply[0] == '.') {
                if (count == 3) break;  // the terminating line
                source.Write(m_reply + 1, count - 1);  // dot-stuffing undone
            } else {
                source.Write(m_reply, count);
            }
            if (IsAborted()) {
                result = RC_ABORTED;
                break;
            }
        }
    }
    source.Close();
    return OnError(result);
}

ResultCode CUT_Pop3Session::RetrieveToFile(int messageNumber, const char *fileName) {
    if (fileName == nullptr || *fileName == '\0') return OnError(RC_TARGET_OPEN_FAILED);
    CUT_FileSource file(fileName, 4096);
    return RetrieveToSource(messageNumber, file);
}

ResultCode CUT_Pop3Session::BeginRetrieve(int messageNumber) {
    char command[32];
    std::snprintf(command, sizeof command, "RETR %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_RETR_REFUSED);
    if (result != RC_OK) return result;
    m_retrieveOpen = 1;
    m_retrieveEnded = 0;
    return OnError(RC_OK);
}

int CUT_Pop3Session::ReadOpenReplyLine(int &open, int &ended, char *buffer, int size) {
    if (!open) return -1;
    int count = ReceiveLine(buffer, size, 0);
    if (IsTerminatingLine(buffer, count)) {
        ended = 1;
        return 0;
    }
    return count;
}

ResultCode CUT_Pop3Session::DrainOpenReply(int &open, int &ended) {
    if (!open) return OnError(RC_OK);
    if (!IsConnected()) return OnError(RC_NOT_CONNECTED);
    ResultCode result = RC_OK;
    if (!ended) {
        for (;;) {
            if (IsAborted()) {
                result = RC_ABORTED;
                break;
            }
            int count = ReadReplyLine(m_receiveTimeout);
            if (count <= 0 || IsTerminatingLine(m_reply, count)) break;
        }
    }
    open = 0;
    ended = 0;
    return OnError(result);
}

int CUT_Pop3Session::ReadRetrieveLine(char *buffer, int size) {
    return ReadOpenReplyLine(m_retrieveOpen, m_retrieveEnded, buffer, size);
}

ResultCode CUT_Pop3Session::EndRetrieve() { return DrainOpenReply(m_retrieveOpen, m_retrieveEnded); }

ResultCode CUT_Pop3Session::FetchUniqueIds(int messageNumber) {
    m_uniqueIds.clear();
    if (!IsConnected()) return OnError(RC_NOT_CONNECTED);
    if (messageNumber >= 1)
        std::snprintf(m_reply, sizeof m_reply, "UIDL %d\r\n", messageNumber);
    else
        std::snprintf(m_reply, sizeof m_reply, "UIDL\r\n");
    Send(m_reply, -1);
    const int count = ReadReplyLine(m_receiveTimeout);
    if (count <= 0) return OnError(RC_NO_REPLY);
    if (m_reply[0] != '+') return OnError(RC_UIDL_REFUSED);

    // An id must be shorter than 70 characters.
    char text[kUniqueIdSize];
    if (messageNumber >= 1) {
        if (ExtractToken(m_reply, " \r\n", 2, text, sizeof text) != 0) return OnError(RC_BAD_REPLY);
        m_uniqueIds.push_back({messageNumber, text});
        return OnError(RC_OK);
    }
    for (;;) {
        if (IsAborted()) return OnError(RC_ABORTED);
        const int line = ReadReplyLine(m_receiveTimeout);
        if (line <= 0) return OnError(RC_RECEIVE_TIMEOUT);
        if (IsTerminatingLine(m_reply, line)) return OnError(RC_OK);
        long number = 0;
        if (ExtractTokenNumber(m_reply, " \r\n", 0, &number) != 0 ||
            ExtractToken(m_reply, " \r\n", 1, text, sizeof text) != 0)
            return OnError(RC_BAD_REPLY);
        m_uniqueIds.push_back({static_cast<int>(number), text});
    }
}

const char *CUT_Pop3Session::FindUniqueId(int messageNumber) {
    for (const UniqueIdEntry &entry : m_uniqueIds)
        if (entry.messageNumber == messageNumber) return entry.uniqueId.c_str();
    return nullptr;
}

ResultCode CUT_Pop3Session::BeginTop(int messageNumber, int lineCount) {
    char command[48];
    std::snprintf(command, sizeof command, "TOP %d %d\r\n", messageNumber, lineCount);
    ResultCode result = SimpleCommand(command, RC_TOP_REFUSED);
    if (result != RC_OK) return result;
    m_topOpen = 1;
    m_topEnded = 0;
    return OnError(RC_OK);
}

int CUT_Pop3Session::ReadMessageLine(char *buffer, int size) {
    return ReadOpenReplyLine(m_topOpen, m_topEnded, buffer, size);
}

ResultCode CUT_Pop3Session::EndTop() { return DrainOpenReply(m_topOpen, m_topEnded); }

ResultCode CUT_Pop3Session::DeleteMessage(int messageNumber) {
    char command[32];
    std::snprintf(command, sizeof command, "DELE %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_DELE_REFUSED);
    return result != RC_OK ? result : OnError(RC_OK);
}

ResultCode CUT_Pop3Session::ResetDeletions() {
    ResultCode result = SimpleCommand("RSET\r\n", RC_RSET_REFUSED);
    return result != RC_OK ? result : OnError(RC_OK);
}
