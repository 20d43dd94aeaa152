// Client side of a POP3 conversation: log-on, STAT, LIST, TOP, RETR, DELE,
// RSET, UIDL and QUIT, one strictly sequential command at a time. A
// multi-line reply stays on the connection until it is read or drained.
#pragma once

#include <string>
#include <vector>

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

    int OnConnected(SocketHandle socket, const char *host) override;

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

    int m_port = 110;
    int m_receiveTimeout = 10;
    int m_connectTimeout = 5;
    char m_reply[kReplySize] = {};
    int m_retrieveOpen = 0;
    int m_retrieveEnded = 0;
    int m_topOpen = 0;
    int m_topEnded = 0;
    std::vector<UniqueIdEntry> m_uniqueIds;
};
