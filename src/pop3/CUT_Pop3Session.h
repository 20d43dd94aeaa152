// Client side of a POP3 conversation: log-on, STAT, LIST, TOP, RETR, DELE,
// RSET, UIDL and QUIT, one strictly sequential command at a time. A
// multi-line reply stays on the connection until it is read or drained.
#pragma once

#include <string>
#include <vector>

#include "CUT_TlsChannel.h"
#include "CUT_WSClient.h"

class CUT_ByteSource;

struct UniqueIdEntry {
    int messageNumber = 0;
    std::string uniqueId;
};

class CUT_Pop3Session : public CUT_WSClient {
public:
    static constexpr int kReplySize = 1024;
    // Whole-message reads take lines of at most 1022 bytes.
    static constexpr int kRetrieveLineSize = 1023;
    static constexpr int kUniqueIdSize = 70;

    CUT_Pop3Session();
    ~CUT_Pop3Session() override;

    // How the conversation is protected: not at all (as POP3 always was),
    // TLS from the first byte, or a plain start upgraded with STLS.
    enum TlsMode { TLS_NONE = 0, TLS_IMPLICIT = 1, TLS_STARTTLS = 2 };

    int OnConnected(SocketHandle socket, const char *host) override;
    // Over TLS the raw operations go through the TLS channel.
    int RawClose(SocketHandle socket) override;
    int RawShutdown(SocketHandle socket, int how) override;
    int RawReceive(SocketHandle socket, char *buffer, int length, int flags) override;
    int RawSend(SocketHandle socket, const char *data, int length, int flags) override;
    int RawBytesAvailable(SocketHandle socket) override;
    int RawWaitReadable(SocketHandle socket, long seconds, long microseconds) override;

    // Slots 41 to 57, in this order.
    virtual int OnRetrieveProgress(long bytesSoFar);
    virtual ResultCode OpenMailbox(const char *host, const char *user, const char *password);
    virtual ResultCode CloseMailbox();
    virtual ResultCode GetMessageCount(long *count);
    virtual ResultCode GetMessageSize(int messageNumber, long *size);
    virtual ResultCode RetrieveToSource(int messageNumber, CUT_ByteSource &source);
    virtual ResultCode RetrieveToFile(int messageNumber, const char *fileName);
    virtual ResultCode BeginRetrieve(int messageNumber);
    // Bytes of the line, 0 at the end, -1 when no RETR reply is open.
    virtual int ReadRetrieveLine(char *buffer, int size);
    virtual ResultCode EndRetrieve();
    virtual ResultCode FetchUniqueIds(int messageNumber);
    virtual const char *FindUniqueId(int messageNumber);
    virtual ResultCode BeginTop(int messageNumber, int lineCount);
    // Bytes of the line, 0 at the end, -1 when no TOP reply is open.
    virtual int ReadMessageLine(char *buffer, int size);
    virtual ResultCode EndTop();
    virtual ResultCode DeleteMessage(int messageNumber);
    virtual ResultCode ResetDeletions();

    ResultCode SetConnectTimeout(int seconds);
    ResultCode SetReceiveTimeout(int seconds);
    // The server port; 110 unless a caller chose another (1 to 65535).
    ResultCode SetPort(int port);
    // TLS for the next OpenMailbox; caFile names an extra CA file to trust
    // (empty: the system's trust store only).
    ResultCode SetTls(int mode, const std::string &caFile);
    bool TlsActive() const { return m_tls.Active(); }
    const std::string &TlsError() const { return m_tls.LastError(); }

    int Port() const { return m_port; }
    int ReceiveTimeout() const { return m_receiveTimeout; }
    int ConnectTimeout() const { return m_connectTimeout; }
    const char *LastReply() const { return m_reply; }
    const std::vector<UniqueIdEntry> &UniqueIds() const { return m_uniqueIds; }

protected:
    bool ReadPositiveReply(int timeout);

private:
    ResultCode SimpleCommand(const char *command, ResultCode refusal);
    int ReadReplyLine(int timeout);
    bool ReplyIsPositive(int count) const { return count > 0 && m_reply[0] == '+'; }
    ResultCode NumberFromReply(const char *separators, int index, long *out);
    int ReadOpenReplyLine(int &open, int &ended, char *buffer, int size);
    ResultCode DrainOpenReply(int &open, int &ended);
    ResultCode StartTls();
    // Asks CAPA and reads the whole listing; true when it holds STLS.
    bool OffersStls();

    int m_port = 110;
    int m_receiveTimeout = 10;
    int m_connectTimeout = 5;
    char m_reply[kReplySize] = {};
    int m_retrieveOpen = 0;
    int m_retrieveEnded = 0;
    int m_topOpen = 0;
    int m_topEnded = 0;
    std::vector<UniqueIdEntry> m_uniqueIds;
    int m_tlsMode = TLS_NONE;
    std::string m_caFile;
    std::string m_host;
    CUT_TlsChannel m_tls;
};
