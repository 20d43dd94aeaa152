// SPDX-License-Identifier: GPL-3.0-or-later
// What the scan asks of a mail server, whatever the protocol: log on, list
// the messages (number, key, size), fetch each one's header and first body
// lines, fetch a whole message into a backup, remove a message, finish.
// Rows, patterns, backups, the proof before a removal, reasons and exit
// statuses stay with the scan; how commands go out (POP3's pipelining
// window, IMAP's fetches of many messages at once) stays on this side.
//
// Once the conversation loses its step (a reply late, unreadable or out of
// order) nothing more goes out that could remove mail.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "CServerAddress.h"
#include "MailAccount.h"
#include "ResultCode.h"
#include "RowState.h"

class CUT_ByteSource;

class CMailboxConversation {
public:
    struct Entry {
        int number = 0;        // 1, 2, ... in the order of the listing
        long size = 0;         // as the server gives it
        std::string uniqueId;  // empty when the server gives none
    };
    // How a removal took effect: with the finish that commits it (POP3's
    // QUIT), at once (IMAP's tagged OK), or only flagged \Deleted (a
    // server without UID EXPUNGE).
    enum class Removal { AtFinish, Done, Flagged };

    // How a conversation goes, the same for every protocol.
    struct Options {
        int waitSeconds = 20;   // for the connection and each wait
        int replySeconds = 60;  // the most a whole reply may take
        int window = 50;        // previews in flight at once (1: one at a time)
        std::function<void(const std::string &)> trace;  // every line, secrets masked
        const std::atomic<bool> *stop = nullptr;
        bool moveToSpam = false;   // IMAP: removal moves to the spam folder
        std::string spamFolder;    // IMAP: empty: the folder marked \Junk
        // The List to come (1: read-only, 2: it may change the folder):
        // IMAP opens and lists the inbox with the log-on where it can.
        int listAfterLogOn = 0;
    };

    // The most bytes a reply holding a message of `listed` bytes may bring:
    // room for dot-stuffing (at most one byte per line) and the status and
    // end lines, or a literal's framing.
    static long ReplyBoundFor(long listed) {
        if (listed < 0) listed = 0;
        constexpr long kMost = 1L << 40;
        return listed > kMost ? 2 * kMost : 2 * listed + 64 * 1024;
    }

    virtual ~CMailboxConversation() = default;

    // Connects and logs on with the account (its secret already resolved).
    virtual ResultCode LogOn(const MailAccount &account) = 0;
    // The messages there are. mayChange false: nothing will be removed in
    // this conversation (a read-only look where the protocol has one).
    virtual ResultCode List(bool mayChange, std::vector<Entry> *entries) = 0;
    // The messages whose previews will be read, in this order, with this
    // many body lines (0: the header only).
    virtual void PlanPreviews(std::vector<Entry> plan, int lines) = 0;
    // May ask ahead for previews of the plan from index next on.
    virtual void AskAhead(size_t next) = 0;
    // Previews asked for whose replies are not read yet: no other command
    // goes out while there are any.
    virtual int Owed() const = 0;
    // Opens the preview of one message of the plan; then its lines (pieces
    // of at most size - 1 bytes) until 0; -1 when it could not be read to
    // its end. *stuffing: bytes in front of the piece that the transport
    // added (POP3's dot-stuffing).
    virtual ResultCode BeginPreview(const Entry &entry) = 0;
    virtual int ReadPreviewLine(char *buffer, int size, int *stuffing) = 0;
    virtual void EndPreview() = 0;
    // The whole message into target; *announced: the size the server gave
    // with it (-1: none).
    virtual ResultCode Retrieve(const Entry &entry, CUT_ByteSource &target, long *announced) = 0;
    // asMatch: a pattern matched it, and the account's choice for matches
    // holds (IMAP: move it to the spam folder); else the user asked for
    // its deletion.
    virtual ResultCode Remove(const Entry &entry, bool asMatch, Removal *how) = 0;
    // Whether a removal of that kind can happen at all (IMAP: there is a
    // spam folder to move to), asked before a message is fetched whole
    // for its backup: where none can, no backup is made for nothing.
    virtual ResultCode CanRemove(bool asMatch) { (void)asMatch; return RC_OK; }
    // Ends the conversation: RC_OK when what was marked is committed,
    // RC_QUIT_UNANSWERED when that is uncertain.
    virtual ResultCode Finish() = 0;

    virtual bool LostStep() const = 0;
    virtual bool Connected() = 0;
    // Why code came, in the words of the program.
    virtual std::string Reason(ResultCode code) = 0;
    // "Anmeldung mit SCRAM-SHA-256, TLSv1.3".
    virtual std::string LogOnReport() = 0;
    // What the removal of a match did, for its row: deleted or moved.
    virtual RowState RemovedState() const = 0;
    // The SHA-256 fingerprint of a certificate the last TLS start refused
    // because nothing vouched for it (not one refused as another than the
    // pinned one); empty otherwise.
    virtual std::string UnverifiedCertificate() const = 0;
};

// Sets a protocol session (POP3's or IMAP's, which share these operations)
// up as the options and the server say, with the account's mechanism.
template <typename Session>
ResultCode PrepareSession(Session &session, const CServerAddress &server,
                          const CMailboxConversation::Options &options, const MailAccount &account) {
    session.SetConnectTimeout(options.waitSeconds);
    session.SetReceiveTimeout(options.waitSeconds);
    session.SetReplyTimeLimit(options.replySeconds);
    if (options.trace) session.SetTrace(options.trace);
    session.SetStopRequest(options.stop);
    if (server.port != 0) session.SetPort(server.port);
    session.SetTls(server.tlsMode, server.caFile);
    session.SetPinnedCertificate(server.fingerprint);
    return session.SetAuthentication(account.mechanism, server.allowClear, account.token);
}
