// SPDX-License-Identifier: GPL-3.0-or-later
// One complete conversation with a mailbox, over POP3 or IMAP: log on,
// count, fetch the header and first 25 body lines of every message, and
// list, delete (or move to the spam folder) or save them by mode.
//
// Decide, then act. The scan first gathers what it learns of a message
// into one value (number, size, unique id, header fields, preview, the
// pattern that matched); a separate step shows it and acts on it. Where
// the server offers PIPELINING the TOP commands of up to kWindow messages
// (as many as half the send buffer holds) go out at once and their replies are read in order; otherwise one at a
// time. Either way each message is handled alike.
//
// Mail safety lives in the acting step. A message that a pattern matches
// is retrieved whole into its backup file, which is flushed to disk before
// DELE is sent; a deletion counts (and its row says "gelöscht") only once
// the server has answered the QUIT that commits it (over IMAP: once the
// tagged OK of the move or UID EXPUNGE came). The commands on
// selected rows act on exactly the messages those rows identify: by unique
// id where the server lists them, else by Message-Id together with the
// size, and never on a message that these do not single out.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "CMessageCache.h"
#include "CServerAddress.h"
#include "MailAccount.h"
#include "ResultCode.h"
#include "RowState.h"
#include "ScanMode.h"
#include "ScanOutcome.h"
#include "Translate.h"

struct AccountConfig;
class CDirectDeletePatterns;
class CScanList;
class CScanWindow;
class CSettingsStore;
class CMailboxConversation;
class CAllowList;

class CMailboxScan {
public:
    static constexpr int kTopLines = 25;
    static constexpr int kTimeoutSeconds = 20;
    static constexpr int kReplySeconds = 60;
    static constexpr int kCollectedCapacity = 32000;
    // Failed TOPs in a row after which the scan gives up on the server.
    static constexpr int kFailuresInARow = 3;
    // TOP commands in flight at once on a server that pipelines (and no
    // more than half the socket's send buffer holds: a window counted in
    // bytes, so that the commands never wait for the replies to be read).
    static constexpr int kWindow = 500;

    // How the last scan ended (its values also read CMailboxScan::Scanned).
    using Outcome = ScanOutcome;
    using enum ScanOutcome;

    // Everything the scan uses comes in: the server, the account, the
    // patterns (looked at once per message), the list and the window,
    // which also decides whether a message box is shown.
    CMailboxScan(CScanList &list, CScanWindow &window, CServerAddress server, MailAccount account,
                 CDirectDeletePatterns &patterns, std::string executableName);
    // The same for an account as the profile describes it (its server,
    // log-on, wait and pattern file).
    CMailboxScan(CScanList &list, CScanWindow &window, const AccountConfig &account,
                 std::string executableName);
    // The same for the first account of the settings.
    CMailboxScan(CScanList &list, CScanWindow &window, const CSettingsStore &settings,
                 std::string executableName);
    ~CMailboxScan();

    void ScanMailbox(int mode);
    Outcome LastOutcome() const { return m_outcome; }
    // How long to wait for another run of the same account.
    void SetLockWait(int seconds) { m_lockWaitSeconds = seconds; }
    static constexpr const char *kAccountBusyText = TrNoop("scan", "Konto wird gerade von einem anderen Lauf geprüft");
    // Seconds to wait for the server, and the most a whole reply may take.
    void SetTimeouts(int waitSeconds, int replySeconds) {
        m_waitSeconds = waitSeconds;
        m_replySeconds = replySeconds;
    }
    // Try the patterns without acting on them: a matched message's row
    // says "würde gelöscht=" and the pattern in its first column; nothing
    // is retrieved, saved or deleted.
    void SetDryRun(bool dryRun) { m_dryRun = dryRun; }
    // Every line of the conversation, passwords masked, for --debug.
    void SetTrace(std::function<void(const std::string &line)> trace) { m_trace = std::move(trace); }
    // Set from another thread: the scan ends after the message in hand,
    // reading the replies already owed, and commits what it marked with
    // QUIT. A server that keeps silent meanwhile is left without QUIT.
    void SetStopRequest(const std::atomic<bool> *stop) { m_stop = stop; }
    // The reason of the last failure shown (empty when none).
    const std::string &LastReason() const { return m_lastReason; }
    // Whether the rows of known messages come from the cache of earlier
    // scans (on unless the account or --no-cache turned it off).
    void SetCache(bool useCache) { m_useCache = useCache; }
    // At most this many TOPs in flight (1: never pipeline).
    void SetWindow(int messages) { m_pipelineWindow = messages < 1 ? 1 : messages; }

    // What a row's key says of its message: "U:" and the unique id, or
    // "M:", the size, ":" and the Message-Id value; empty when neither is
    // known.
    static std::string RowKeyFor(const std::string &uniqueId, long size,
                                 const std::string &messageId);


private:
    struct Message;
    struct PendingDeletion {
        int row = 0;
        RowState state = RowState::Deleted;
        std::string pattern;
    };

    // Sets the session up for this server and account and logs on; false
    // with the reason.
    // The conversation for this server's protocol.
    // listAfterLogOn: as the conversation's option.
    std::unique_ptr<CMailboxConversation> Converse(int listAfterLogOn = 0) const;
    bool LogOn(CMailboxConversation &session, std::string *problem);
    // The messages there are. False when the scan ends.
    bool ListMailbox(CMailboxConversation &session, bool mayChange, std::vector<Message> &messages);
    // The preview of one message (asked for now, or read as asked before).
    void ReadOne(CMailboxConversation &session, Message &message, int lines);
    void FetchOne(CMailboxConversation &session, Message &message, int lines);
    // Fills the row made for a message (its key, and its cells where known).
    void FillRow(const Message &message, int row);
    // Shows a message's row and acts on what it says (a match waits in
    // waiting until no preview is owed); false when the scan cannot go on.
    bool Settle(CMailboxConversation &session, std::vector<Message> &messages, size_t index,
                std::vector<size_t> &waiting);
    // Fetches the known messages whose cached rows failed; false as Settle.
    bool FetchUnread(CMailboxConversation &session, std::vector<Message> &messages,
                     const std::vector<size_t> &unread, std::vector<size_t> &waiting);
    // Says why a rule file or line is not used, and whether matches may be
    // acted on (not without the whole allow-list).
    void NoteRules();
    // The account's lock for the whole conversation; false when the scan
    // ends without it (busy, or stopped while waiting).
    bool TakeLock(class CAccountLock &lock);
    void BackupAndDelete(CMailboxConversation &session, const Message &message, int row, int mode);
    // A row whose message left the mailbox at once (IMAP).
    void MarkRemoved(int row, int mode, RowState state, const std::string &pattern = {});
    // The cache of this account, opened and its index read on a thread of
    // its own while the server is logged on to (for a file there is).
    struct OpeningCache;
    void StartOpeningCache(OpeningCache &opening);
    // List mode: the plan, the rows, then what waits to be acted on.
    void ListAll(CMailboxConversation &session, std::vector<Message> &messages, OpeningCache &opening);
    // Which messages' rows come from the cache (their text unchanged and
    // no pattern matching it now); forgets what left the server.
    void PlanFromCache(std::vector<Message> &messages, OpeningCache &opening);
    // Every message's row, in the listing's order: from the cache, or
    // read from the server as planned; false when the scan cannot go on.
    bool MakeRows(CMailboxConversation &session, std::vector<Message> &messages, std::vector<size_t> &waiting);
    // The cache of this account, where every message has a unique id of its own.
    // Returns what the cache knows (empty without one).
    std::unordered_map<std::string, CMessageCache::Known> OpenCache(const std::vector<Message> &messages,
                                                                   OpeningCache &opening);
    std::string PatternsKey();
    // Whether a pattern matches a line of the text, read as a reply is.
    bool MatchText(const std::string &text, std::string *pattern);
    void FromCache(Message &message);
    // Keeps what the fetch of a message brought (text: its whole TOP reply).
    void Remember(const Message &message, const std::string &text);
    void ActOnSelected(CMailboxConversation &session, int mode, std::vector<Message> &messages);
    // Saves the whole message into a flushed file and proves it is the
    // message examined (top: what its TOP reply brought, if anything).
    // Saved, or why not: the retrieval or the file failed (*why says it),
    // or the proof failed (*why says why; the file is removed again).
    enum SaveResult { Saved, NotSaved, NotProven };
    SaveResult SaveWholeMessage(CMailboxConversation &session, const Message &message,
                                const std::string &id, std::string *name, std::string *why);
    // Marks a row whose message could not be removed, and says why.
    void RowNotDeleted(int row, RowState state, const std::string &why);
    void Title(const std::string &text);
    void Box(const char *text, const std::string &reason = std::string());
    bool Stopping() const { return m_stop != nullptr && m_stop->load(); }

    CScanList &m_list;
    CScanWindow &m_window;
    CServerAddress m_server;
    MailAccount m_account;
    std::unique_ptr<CDirectDeletePatterns> m_ownPatterns;
    CDirectDeletePatterns &m_patterns;
    std::string m_executableName;
    std::unique_ptr<CAllowList> m_allowList;
    Outcome m_outcome = NotRun;
    std::vector<PendingDeletion> m_pending;
    int m_failuresInARow = 0;
    bool m_complete = true;
    int m_waitSeconds = kTimeoutSeconds;
    int m_replySeconds = kReplySeconds;
    int m_pipelineWindow = kWindow;
    bool m_useCache = true;
    std::unique_ptr<CMessageCache> m_cache;  // during a list scan, where usable
    // The cells of the row being made (UTF-8), fetched or from the cache:
    // one message's at a time, so that a large mailbox keeps no texts twice.
    std::string m_patternsKey;                // of the patterns of that generation
    unsigned m_patternsKeyGeneration = 0;
    bool m_moveToSpam = false;  // IMAP: a match goes to the spam folder
    std::string m_spamFolder;   // empty: the one the server marks \Junk
    bool m_dryRun = false;
    bool m_holdMatches = false;  // the allow-list is not whole: matches only shown
    int m_lockWaitSeconds = 30;
    bool m_rowsFailed = false;
    bool m_removalUncertain = false;  // a removal may have happened unconfirmed
    bool m_toldNotRemovable = false;  // why no match can be removed was said
    const std::atomic<bool> *m_stop = nullptr;
    std::string m_lastReason;
    std::function<void(const std::string &)> m_trace;
};
