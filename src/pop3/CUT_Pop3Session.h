// SPDX-License-Identifier: GPL-3.0-or-later
// Client side of a POP3 conversation: log-on, STAT, LIST, TOP, RETR, DELE,
// RSET, UIDL and QUIT, one strictly sequential command at a time. A
// multi-line reply stays on the connection until it is read or drained.
//
// The server commits deletions only at QUIT, so the session guards the
// step of the conversation: a reply that is late, unreadable, overlong or
// cut short means the next bytes cannot be trusted to answer the next
// command. The session then closes the connection without QUIT (the
// server deletes nothing) and every later command gives RC_LOST_SYNC.
// Each reply is bounded in time as a whole, not only per wait.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "CUT_MailSession.h"

class CUT_ByteSource;

struct UniqueIdEntry {
    int messageNumber = 0;
    std::string uniqueId;
};

// What went wrong in the conversation (the record every mail session keeps):
// the reply is the status line or the piece read last.
using Pop3Failure = SessionFailure;

// A command sent ahead of its reply: which one, and for which message.
struct Pop3Request {
    enum Kind { Stat, List, Uidl, Top };
    Kind kind = Stat;
    int messageNumber = 0;
    int lineCount = 0;
    // The command line as it goes out.
    std::string Text() const;
};

struct MessageSizeEntry {
    int messageNumber = 0;
    long size = 0;
};

class CUT_Pop3Session : public CUT_MailSession {
public:
    static constexpr int kReplySize = 1024;
    // Whole-message reads take lines of at most 1022 bytes.
    static constexpr int kRetrieveLineSize = 1023;
    // A unique id has 1 to 70 characters (RFC 1939), plus the NUL.
    static constexpr int kUniqueIdSize = 71;
    // Listings (LIST, UIDL) keep at most this many entries: a server that
    // lists endlessly cannot fill the memory. The rest is read and dropped.
    static constexpr size_t kMaxListing = 1000000;

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
    // Beyond the fixed slots: the whole LIST listing and the CAPA listing.
    virtual ResultCode FetchMessageSizes();
    virtual ResultCode FetchCapabilities();

    // The server port is 110 unless a caller chose another (SetPort); TLS
    // (SetTls) applies to the next OpenMailbox: not at all (as POP3 always
    // was), from the first byte, or a plain start upgraded with STLS.

    // Pipelining (RFC 2449), for a server that lists PIPELINING: commands
    // sent ahead of their replies, in one write, no more at once than the
    // socket's send buffer takes, so neither side can block on a full
    // buffer (RC_BUFFER_TOO_SMALL: read replies first). The operations are
    // then called in the same order and read the replies instead of
    // sending (STAT, LIST, UIDL, TOP); calling another one loses the step,
    // and RETR, DELE and QUIT wait until no reply is owed.
    ResultCode QueueCommand(const Pop3Request &request);
    ResultCode QueueTop(int messageNumber, int lineCount) {
        return QueueCommand({Pop3Request::Top, messageNumber, lineCount});
    }
    // Sends the commands queued so far now, instead of with the first read
    // of their replies (the server works on them meanwhile).
    ResultCode SendQueued();
    // Commands queued whose replies are not read yet.
    int QueuedCommands() const { return static_cast<int>(m_queued.size()); }
    // The bytes of queued commands allowed at once.
    int PipelineByteLimit();

    // How OpenMailbox logs on. mechanism empty: the strongest that both
    // sides speak, from the server's SASL capability: SCRAM-SHA-256,
    // SCRAM-SHA-1, CRAM-MD5, PLAIN, LOGIN, then USER and PASS (also for a
    // server without CAPA); with a token, OAUTHBEARER or XOAUTH2 instead.
    // Otherwise the one named ("USER": USER and PASS). allowClear false:
    // without TLS and away from this machine, no mechanism that lets the
    // password or token be read off the line (RC_NO_MECHANISM instead).
    ResultCode SetAuthentication(const std::string &mechanism, bool allowClear,
                                 const std::string &token);
    // The choice above, from what the server offers (its SASL list), the
    // mechanism named (upper case, or empty), whether a token is there,
    // and whether the password may be seen on the line; empty when none.
    static std::string PickMechanism(const std::vector<std::string> &offered,
                                     const std::string &named, bool haveToken, bool clearAllowed);
    // Whether a text may go on a command line: no CR, LF or NUL in it.
    static bool SafeOnCommandLine(const std::string &text);
    // Mechanism() is the one of the last log-on ("USER" for USER and
    // PASS); AuthServerError() the server's own words on a refused token.
    // The trace gets every line sent ("> ...") and received ("< ..."),
    // without its line end; a password never appears in it. A reply may
    // take the reply time limit, and one second more for every 4 KiB it
    // brings (a large RETR on a slow line).
    // The most bytes the next TOP or RETR reply may bring (0: no bound),
    // from what LIST said of the message: a reply far beyond it is no
    // reply to this command, and it loses the step instead of running on.
    void SetReplySizeLimit(long bytes) { m_replySizeLimit = bytes; }
    // The octet count a RETR's "+OK" line gave (RFC 1939 suggests one);
    // -1 when it gave none.
    long AnnouncedOctets() const { return m_announcedOctets; }
    // Failure() is the first failure since log-on, as recorded; LostSync()
    // whether the conversation lost its step (see above).
    // What lost it first: RC_NO_REPLY (late or silent), RC_ABORTED, or
    // RC_LOST_SYNC (unreadable, cut short, out of order).
    ResultCode LostSyncCode() const { return m_lostSyncCode; }
    // Whether the piece last handed out by ReadMessageLine or
    // ReadRetrieveLine began a line (a longer line comes in pieces).
    bool PieceStartedLine() const { return m_pieceStartedLine; }
    // DELEs answered +OK since log-on (or the last RSET): they take effect
    // only with a QUIT answered +OK.
    int DeletionsMarked() const { return m_deletionsMarked; }
    const std::vector<MessageSizeEntry> &MessageSizes() const { return m_sizes; }
    // Capabilities() is the CAPA listing last read (empty before, or when
    // refused).
    const char *LastReply() const { return m_reply; }
    const std::vector<UniqueIdEntry> &UniqueIds() const { return m_uniqueIds; }

protected:
    // The status line of a reply, read with the receive time-out: true for
    // "+OK". A reply that is neither +OK nor -ERR loses the step.
    bool ReadPositiveReply(int timeout);

private:
    enum class Status { Positive, Negative, Silent, Garbled, Continue };

    // RC_OK when a command may go out now: the step is kept, no queued
    // reply is pending, the server is there and has sent nothing unasked
    // (bytes that no command asked for lose the step).
    ResultCode ReadyForCommand();
    ResultCode SimpleCommand(const char *command, ResultCode refusal);
    // Sends a command line; false (and the step lost) when it did not go out whole.
    bool SendCommand(const char *command);
    // Starts the clock of a new reply and reads its status line.
    // continuation: a SASL challenge ("+ ...") is a status of its own.
    Status ReadStatus(int timeout, bool continuation = false);
    std::string ChooseMechanism() const;
    ResultCode LogOnWithUserAndPass(const char *user, const char *password);
    ResultCode Authenticate(const std::string &mechanism, const std::string &user,
                            const std::string &secret);
    // Sends a line that carries a secret; the trace shows `shown` instead.
    void SendSecret(const std::string &line, const std::string &shown);
    // One piece of the current reply within its time bound; 0 when none.
    int ReadReplyPiece(char *buffer, int size, int timeout);
    // The next piece of an open multi-line reply. 0 at its end, -1 when it
    // could not be read to its end (the step is lost then).
    int ReadBodyPiece(char *buffer, int size);
    // Reads a listing (CAPA, UIDL, LIST) to its end, line by line. RC_OK,
    // RC_BAD_REPLY when take refused a line (the rest is still read), or
    // the code of a lost step.
    template <typename Take> ResultCode ReadListing(Take take);
    ResultCode LoseSync(ResultCode code = RC_LOST_SYNC, SessionLimit limit = SessionLimit::None);
    // Notes a failure that keeps the step (a refusal), unless one is noted.
    ResultCode Refused(ResultCode code);
    // Sends UTF8 (RFC 6856) where CAPA offers it: a server such as Courier
    // hides messages with 8-bit headers from clients that do not.
    void EnableUtf8();
    void Trace(bool sent, const char *data, size_t length);
    ResultCode NumberFromReply(const char *separators, int index, long *out);
    int ReadOpenReplyLine(int &open, int &ended, char *buffer, int size);
    ResultCode DrainOpenReply(int &open, int &ended);
    ResultCode StartTls();
    bool OffersStls();

    char m_reply[kReplySize] = {};
    int m_retrieveOpen = 0;
    int m_retrieveEnded = 0;
    int m_topOpen = 0;
    int m_topEnded = 0;
    std::vector<UniqueIdEntry> m_uniqueIds;
    std::vector<MessageSizeEntry> m_sizes;
    ResultCode m_lostSyncCode = RC_OK;
    bool m_atLineStart = true;
    bool m_pieceStartedLine = true;
    int m_deletionsMarked = 0;
    long m_announcedOctets = -1;
    std::string m_lastPiece;    // the line or piece read last
    std::deque<Pop3Request> m_queued;
    std::string m_outgoing;  // queued commands not yet sent
    int m_queuedBytes = 0;
};
