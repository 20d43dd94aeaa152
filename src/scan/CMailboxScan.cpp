// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMailboxScan.h"

#include "Conversations.h"

#include <unistd.h>

#include <map>
#include <unordered_map>
#include <set>
#include <algorithm>
#include <string_view>
#include <filesystem>
#include <system_error>
#include <thread>
#include <cstring>
#include <strings.h>

#include "BackupFiles.h"
#include "CAccountLock.h"
#include "CAllowList.h"
#include "CBackupFile.h"
#include "CCredentials.h"
#include "CDirectDeletePatterns.h"
#include "CScanList.h"
#include "CScanWindow.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "CUT_DisplayHeader.h"
#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"
#include "CUT_MessagePreview.h"
#include "CImapConversation.h"
#include "CMessageCache.h"
#include "CPop3Conversation.h"
#include "DisplayText.h"
#include "FailureReason.h"
#include "MessageProof.h"
#include "Translate.h"

namespace {

constexpr int kLineSize = 1023;
constexpr int kValueSize = 1000;

// The box of a server that will not say what the mailbox holds.
constexpr const char *kMailboxFailedText = TrNoop("scan", "Fehler beim Lesen des Postfachs");

}  // namespace

// What the scan learns of one message before it acts on it.
struct CMailboxScan::Message : CMailboxConversation::Entry {
    // Kept for every message of the mailbox: what acting on it needs. The
    // cells of its row live only until the row is made.
    enum State { NotAsked, Refused, Cut, Fetched };
    State state = NotAsked;
    ResultCode failure = RC_OK;  // why it is Refused
    bool hasMessageId = false;
    bool matched = false;
    bool fromCache = false;  // its row comes from the cache, nothing is fetched
    long long cacheRow = 0;  // where in the cache
    // The whole TOP reply, dot-stuffing undone: what the backup must begin
    // with. Kept only while the message may still be acted on.
    std::string top;
    std::string messageId;
    std::string pattern;
    std::string keptBy;  // the allow-list line that keeps it from a pattern
    RowCells cells;
};

struct CMailboxScan::OpeningCache {
    std::unique_ptr<CMessageCache> cache;
    std::unordered_map<std::string, CMessageCache::Known> index;
    std::string patternsKey;         // of the patterns the index was read for
    std::vector<std::string> notes;  // the cache's, until the scan takes it
    std::vector<std::string> notices;  // the same for the user
    std::jthread thread;             // last: ends before the rest goes
    void Wait() {
        if (thread.joinable()) thread.join();
    }
};

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, CServerAddress server,
                           MailAccount account, CDirectDeletePatterns &patterns,
                           std::string executableName)
    : m_list(list), m_window(window), m_server(std::move(server)), m_account(std::move(account)),
      m_patterns(patterns), m_executableName(std::move(executableName)),
      m_allowList(std::make_unique<CAllowList>()),
      m_moveToSpam(m_server.protocol == CServerAddress::Imap) {}

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, const AccountConfig &account,
                           std::string executableName)
    : m_list(list), m_window(window), m_server(account.Server()), m_account(account.Credentials()),
      m_ownPatterns(std::make_unique<CDirectDeletePatterns>(account.Patterns())),
      m_patterns(*m_ownPatterns), m_executableName(std::move(executableName)),
      m_allowList(std::make_unique<CAllowList>(CAllowList::BesidePatterns(account.Patterns()))) {
    if (account.timeoutSeconds > 0) m_waitSeconds = account.timeoutSeconds;
    m_moveToSpam = account.MovesToSpam();
    m_spamFolder = account.spamFolder;
    m_useCache = account.cache;
}

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, const CSettingsStore &settings,
                           std::string executableName)
    : CMailboxScan(list, window, CScanConfig::Load(settings).front(), std::move(executableName)) {}

CMailboxScan::~CMailboxScan() = default;

void CMailboxScan::Title(const std::string &text) { m_window.SetTitle(text); }

void CMailboxScan::Box(const char *text, const std::string &reason) {
    m_lastReason = reason;
    // Whoever stopped the scan knows why it ends; no box asks them.
    if (!Stopping()) m_window.ShowMessage(text, reason);
}

std::unique_ptr<CMailboxConversation> CMailboxScan::Converse(int listAfterLogOn) const {
    CMailboxConversation::Options options;
    options.listAfterLogOn = listAfterLogOn;
    options.waitSeconds = m_waitSeconds;
    options.replySeconds = m_replySeconds;
    options.window = m_pipelineWindow;
    options.trace = m_trace;
    options.stop = m_stop;
    options.moveToSpam = m_moveToSpam;
    options.spamFolder = m_spamFolder;
    return OpenConversation(m_server, std::move(options));
}

void CMailboxScan::RowNotDeleted(int row, RowState state, const std::string &why) {
    m_list.SetRowState(row, state);
    m_rowsFailed = true;
    m_window.RowFailed(RowStateText(RowState::Failed), why);
}

void CMailboxScan::MarkRemoved(int row, int mode, RowState state, const std::string &pattern) {
    m_list.SetRowState(row, state, pattern);
    if (mode == List) {
        const std::string mark = RowStateText(state, pattern);
        m_list.SetCellText(row, ColId, mark);
        m_list.SetCellText(row, ColName, mark);
    }
}

std::string CMailboxScan::RowKeyFor(const std::string &uniqueId, long size,
                                    const std::string &messageId) {
    if (!uniqueId.empty()) return "U:" + uniqueId;
    // A value of blanks only names nothing.
    if (messageId.find_first_not_of(" \t") == std::string::npos) return {};
    return "M:" + std::to_string(size) + ":" + messageId;
}

void CMailboxScan::ScanMailbox(int mode) {
    m_pending.clear();
    m_failuresInARow = 0;
    m_complete = true;
    m_rowsFailed = false;
    m_removalUncertain = false;
    m_toldNotRemovable = false;
    m_lastReason.clear();
    if (mode == List) m_list.DeleteAllRows();

    NoteRules();
    CAccountLock lock;
    if (!TakeLock(lock)) return;
    OpeningCache opening;
    if (mode == List) StartOpeningCache(opening);
    // Read-only where nothing will be removed: a dry run, saving, a scan
    // without any pattern (one added meanwhile gets a refusal, not a change).
    const bool mayChange =
        mode == DeleteSelected || (mode == List && !m_dryRun && !m_holdMatches && !m_patterns.Patterns().empty());
    const std::unique_ptr<CMailboxConversation> conversation = Converse(mayChange ? 2 : 1);
    CMailboxConversation &session = *conversation;
    Title(m_executableName + " - Connect");
    std::string problem;
    if (!LogOn(session, &problem)) {
        m_outcome = Stopping() ? Cancelled : ConnectionFailed;
        Box("Connection Failed", problem);
        return;
    }
    Title(m_executableName + " - Connect OK !");

    std::vector<Message> messages;
    if (!ListMailbox(session, mayChange, messages)) return;
    if (mode == List)
        ListAll(session, messages, opening);
    else
        ActOnSelected(session, mode, messages);
    if (session.LostStep()) m_complete = false;

    // Marked deletions happen with a QUIT that the server answers +OK, and
    // only then do their rows say so.
    const ResultCode closed = session.Finish();
    const bool committed = closed == RC_OK;
    // QUIT went out and its answer did not come: the server may have acted.
    const bool uncertain = closed == RC_QUIT_UNANSWERED && !m_pending.empty();
    const std::string closeReason = committed ? std::string() : session.Reason(closed);
    for (const PendingDeletion &deletion : m_pending) {
        if (committed) {
            MarkRemoved(deletion.row, mode, deletion.state, deletion.pattern);
        } else {
            const RowState state = uncertain ? RowState::UncertainQuit : RowState::Failed;
            m_list.SetRowState(deletion.row, state);
            if (mode == List) m_window.RowFailed(RowStateText(state), closeReason);
        }
    }
    if (mode == DeleteSelected && !m_pending.empty() && !committed) Box(Tr("scan", "Fehler beim löschen"), closeReason);
    if (uncertain || m_removalUncertain)
        m_outcome = Uncertain;
    else if (!m_complete || (!committed && !m_pending.empty()))
        m_outcome = Interrupted;
    else if (Stopping())
        m_outcome = Cancelled;
    else
        m_outcome = m_rowsFailed ? MessagesFailed : Scanned;
}

void CMailboxScan::NoteRules() {
    m_patterns.Refresh();
    for (const std::string &notice : m_patterns.Notices()) m_window.Notice(notice);
    m_holdMatches = !m_allowList->Usable();
    for (const std::string &notice : m_allowList->Notices()) m_window.Notice(notice);
    if (m_holdMatches && !m_patterns.Patterns().empty())
        m_window.Notice(
            Tr("scan", "Ohne die ganze Ausnahmeliste wird in dieser Prüfung keine E-Mail nach Muster entfernt"));
}

bool CMailboxScan::TakeLock(CAccountLock &lock) {
    const std::string path = CAccountLock::PathFor(m_executableName, m_server.CacheKey(m_account.user));
    switch (lock.Take(path, m_lockWaitSeconds, m_stop)) {
    case CAccountLock::Held:
        return true;
    case CAccountLock::Unavailable:
        m_window.Notice(
            Fill(Tr("scan", "Die Sperrdatei %1 ließ sich nicht anlegen; die Prüfung läuft ohne Sperre"), {path}));
        return true;
    case CAccountLock::Stopped:
        m_outcome = Cancelled;
        return false;
    case CAccountLock::Busy:
        break;
    }
    m_outcome = AccountBusy;
    Box(Tr("scan", kAccountBusyText),
        Fill(Tr("scan", "Sperre %1 nach %2 s noch belegt"), {path, std::to_string(m_lockWaitSeconds)}));
    return false;
}

bool CMailboxScan::LogOn(CMailboxConversation &session, std::string *problem) {
    return LogOnAccount(session, m_account, problem, m_stop);
}

bool CMailboxScan::ListMailbox(CMailboxConversation &session, bool mayChange,
                               std::vector<Message> &messages) {
    std::vector<CMailboxConversation::Entry> entries;
    const ResultCode listed = session.List(mayChange, &entries);
    if (listed != RC_OK) {
        m_outcome = session.LostStep() ? Interrupted : MailboxFailed;
        Box(Tr("scan", kMailboxFailedText), session.Reason(listed));
        return false;
    }
    if (entries.empty()) {
        m_outcome = NoMessages;
        Box(Tr("scan", "Keine E-Mails vorhanden."));
        return false;
    }
    messages.reserve(entries.size());
    for (CMailboxConversation::Entry &entry : entries) {
        Message message;
        static_cast<CMailboxConversation::Entry &>(message) = std::move(entry);
        messages.push_back(std::move(message));
    }
    Title(m_executableName + " - " + Fill(Tr("scan", "%1 E-Mails"), {std::to_string(messages.size())}));
    return true;
}

void CMailboxScan::ReadOne(CMailboxConversation &session, Message &message, int lines) {
    session.EndPreview();
    const ResultCode begun = session.BeginPreview(message);
    if (begun != RC_OK) {
        message.state = Message::Refused;
        message.failure = begun;
        return;
    }
    FetchOne(session, message, lines);
    session.EndPreview();
}

void CMailboxScan::FetchOne(CMailboxConversation &session, Message &message, int lines) {
    // The pattern file is looked at once per message.
    if (lines > 0) m_patterns.Refresh();
    // The lines as the message has them: dot-stuffing undone where a line
    // begins. The patterns see them so too, as they do from the cache and
    // over IMAP: the same pattern gives the same answer on every path.
    std::string text;
    char line[kLineSize];
    int length, stuffing = 0;
    while ((length = session.ReadPreviewLine(line, kLineSize, &stuffing)) > 0) {
        text.append(line + stuffing, static_cast<size_t>(length - stuffing));
        if (lines > 0 && !message.matched) message.matched = m_patterns.Match(line + stuffing, &message.pattern);
    }
    // A reply cut short is no ground for any decision on the message.
    if (session.LostStep()) {
        message.state = Message::Cut;
        message.matched = false;
        return;
    }
    // The whole reply (bounded by the message's LIST size) is what a
    // backup must begin with, kept where the message may be acted on; the
    // parse looks at its first part.
    if (lines == 0 || message.matched) message.top = text;
    std::string whole;
    if (lines > 0 && m_cache != nullptr) whole = text;
    if (text.size() > static_cast<size_t>(kCollectedCapacity)) text.resize(kCollectedCapacity);

    CUT_MemorySource collected(nullptr, kCollectedCapacity, nullptr);
    collected.Open(OpenMode::Write);
    collected.Write(text.data(), static_cast<int>(text.size()));
    collected.Close();
    CUT_MailMessage parsed;
    // The header's fields for the row; the body is the preview's to read.
    parsed.LoadHeaderFromSource(collected);
    char value[kValueSize];
    // A match from someone on the allow-list stays (the match itself is
    // kept as the patterns' word, for the cache).
    if (lines > 0 && message.matched) {
        std::vector<std::string> senders;
        for (const char *field : {"From:", "Sender:", "Reply-To:"})
            if (parsed.GetHeaderByName(field, value, kValueSize))
                for (std::string &address : CAllowList::Addresses(value)) senders.push_back(std::move(address));
        message.keptBy = m_allowList->Allows(senders);
    }
    message.cells = RowCells();
    if (parsed.GetHeaderByName("From:", value, kValueSize)) {
        message.cells.hasFrom = true;
        const std::string from = CUT_DisplayHeader::Decode(value);
        message.cells.address = from;
        const size_t open = from.find('<');
        if (open != std::string::npos) {
            message.cells.name = from.substr(0, open);
            const size_t close = from.find('>', open + 1);
            message.cells.address = from.substr(
                open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        }
    }
    if (parsed.GetHeaderByName("Subject:", value, kValueSize)) {
        message.cells.hasSubject = true;
        message.cells.subject = CUT_DisplayHeader::Decode(value);
    }
    message.cells.preview = CUT_MessagePreview::Build(text);
    if (parsed.GetHeaderByName("Message-Id:", value, kValueSize)) {
        message.hasMessageId = true;
        message.messageId = value;
    }
    message.state = Message::Fetched;
    if (!whole.empty()) Remember(message, whole);
}

void CMailboxScan::FillRow(const Message &message, int row) {
    m_list.SetRowKey(row, RowKeyFor(message.uniqueId, message.size, message.messageId));
    if (message.state != Message::Fetched) return;
    // The cells are UTF-8: decoded from the header, or so cached.
    if (message.cells.hasFrom) {
        m_list.SetCellText(row, ColAddress, message.cells.address, "UTF-8");
        m_list.SetRowSender(row, message.cells.address);
        m_list.SetCellText(row, ColName, message.cells.name, "UTF-8");
    }
    m_list.SetCellText(row, ColSize, std::to_string(static_cast<int>(message.size)));
    if (message.cells.hasSubject) m_list.SetCellText(row, ColSubject, message.cells.subject, "UTF-8");
    m_list.SetCellText(row, ColText, message.cells.preview, "UTF-8");
    if (message.hasMessageId) m_list.SetCellText(row, ColId, message.messageId);
}

void CMailboxScan::ListAll(CMailboxConversation &session, std::vector<Message> &messages,
                           OpeningCache &opening) {
    // Known messages come from the cache; only the others, and those that
    // the patterns match now, are fetched (a match is acted on only after
    // its text came anew from the server).
    PlanFromCache(messages, opening);
    std::vector<CMailboxConversation::Entry> plan;
    for (const Message &message : messages)
        if (!message.fromCache) plan.push_back(message);
    session.PlanPreviews(std::move(plan), kTopLines);
    // The server looks the first of them up while the known rows are made.
    if (!Stopping()) session.AskAhead(0);
    // Matched messages wait for their backup and DELE until no TOP reply is
    // owed any more; meanwhile no more TOPs go out.
    std::vector<size_t> waiting;
    const bool goOn = MakeRows(session, messages, waiting);
    if (!goOn || session.LostStep()) m_complete = false;
    // Stopped early with replies still owed: these cannot be acted on, and
    // their rows say so.
    for (size_t index : waiting) BackupAndDelete(session, messages[index], static_cast<int>(index), List);
    m_cache.reset();
}

void CMailboxScan::PlanFromCache(std::vector<Message> &messages, OpeningCache &opening) {
    std::unordered_map<std::string, CMessageCache::Known> known = OpenCache(messages, opening);
    if (m_cache == nullptr) return;
    m_cache->NoteRulesSeen(m_patterns.Patterns());
    m_cache->NoteRulesSeen(m_allowList->Lines());
    const std::string patternsKey = PatternsKey();
    for (Message &message : messages) {
        const auto found = known.find(message.uniqueId);
        if (found == known.end()) continue;
        const CMessageCache::Known entry = std::move(found->second);
        known.erase(found);
        // A message whose size changed is no longer the one cached.
        if (entry.size != message.size) continue;
        bool matched = entry.matched;
        if (!entry.samePatterns) {
            // Patterns changed since: they try the cached text.
            CachedMessage cached;
            if (!m_cache->Find(message.uniqueId, message.size, true, &cached)) continue;
            matched = MatchText(cached.top, &cached.pattern);
            if (!matched) m_cache->Remember(message.uniqueId, patternsKey, false, "");
        }
        message.fromCache = !matched;
        message.cacheRow = entry.row;
    }
    // What is left of the index is gone from the server.
    for (const auto &[id, entry] : known) m_cache->Forget(id);
}

bool CMailboxScan::MakeRows(CMailboxConversation &session, std::vector<Message> &messages,
                            std::vector<size_t> &waiting) {
    const long total = static_cast<long>(messages.size());
    size_t planned = 0;  // of the plan, the next to read
    // Known messages whose cached row could not be read, or did not prove
    // to be what was stored: fetched from the server after the others.
    std::vector<size_t> unread;
    bool goOn = true;
    for (size_t i = 0; i < messages.size() && goOn; ++i) {
        // A stop asks for nothing more; the replies already owed are read.
        if (Stopping() && session.Owed() == 0) break;
        Message &message = messages[i];
        if (message.fromCache) {
            FromCache(message);
            if (message.state == Message::NotAsked) unread.push_back(i);
        } else {
            if (waiting.empty() && !Stopping()) session.AskAhead(planned);
            ReadOne(session, message, kTopLines);
            ++planned;
        }
        m_list.InsertRow(static_cast<int>(i), "");
        goOn = Settle(session, messages, i, waiting);
        m_window.Counted(static_cast<long>(i) + 1, total,
                         m_executableName + " - " +
                             Fill(Tr("scan", "%1 von %2 E-Mails"), {std::to_string(i + 1), std::to_string(total)}));
        m_window.RepaintList();
    }
    if (goOn && !unread.empty() && !Stopping()) goOn = FetchUnread(session, messages, unread, waiting);
    return goOn;
}

bool CMailboxScan::FetchUnread(CMailboxConversation &session, std::vector<Message> &messages,
                               const std::vector<size_t> &unread, std::vector<size_t> &waiting) {
    // Every reply of the first round is read by now: a plan of their own.
    std::vector<CMailboxConversation::Entry> plan;
    for (size_t index : unread) plan.push_back(messages[index]);
    session.PlanPreviews(std::move(plan), kTopLines);
    for (size_t k = 0; k < unread.size(); ++k) {
        if (Stopping() && session.Owed() == 0) break;
        Message &message = messages[unread[k]];
        message.fromCache = false;
        if (waiting.empty() && !Stopping()) session.AskAhead(k);
        ReadOne(session, message, kTopLines);
        if (!Settle(session, messages, unread[k], waiting)) return false;
        m_window.RepaintList();
    }
    return !session.LostStep();
}

bool CMailboxScan::Settle(CMailboxConversation &session, std::vector<Message> &messages, size_t index,
                          std::vector<size_t> &waiting) {
    Message &message = messages[index];
    const int row = static_cast<int>(index);
    FillRow(message, row);
    message.cells = RowCells();
    // The row holds the texts now; the value keeps what acting needs.
    if (m_dryRun) std::string().swap(message.top);
    bool goOn = true;
    if (message.state == Message::Fetched) {
        m_failuresInARow = 0;
        if (message.matched && m_cache != nullptr) {
            m_cache->NoteRuleHit(message.pattern);
            m_cache->NoteRuleHit(message.keptBy);
        }
        if (message.matched && !message.keptBy.empty()) {
            m_list.SetRowState(row, RowState::Kept, DisplayText(message.keptBy));
        } else if (message.matched && message.hasMessageId) {
            // Without the whole allow-list no match is acted on.
            if (m_dryRun || m_holdMatches)
                m_list.SetRowState(row, RowState::WouldDelete, DisplayText(message.pattern));
            else
                waiting.push_back(index);
        }
    } else if (message.state != Message::NotAsked) {
        // (NotAsked: its cached row failed; it is fetched after the others.)
        Box("Top Failed to open a message",
            session.Reason(message.state == Message::Refused ? message.failure : RC_LOST_SYNC));
        // With the connection gone, or a server that fails message
        // after message, every later one would fail the same way.
        goOn = !session.LostStep() && session.Connected() && ++m_failuresInARow < kFailuresInARow;
    }
    if (!waiting.empty() && session.Owed() == 0) {
        for (size_t at : waiting) {
            BackupAndDelete(session, messages[at], static_cast<int>(at), List);
            std::string().swap(messages[at].top);
        }
        waiting.clear();
    }
    return goOn && !session.LostStep();
}

void CMailboxScan::StartOpeningCache(OpeningCache &opening) {
    if (!m_useCache) return;
    // A first check makes the file after the listing, as ever.
    const std::string account = m_server.CacheKey(m_account.user);
    std::error_code ec;
    if (!std::filesystem::exists(CMessageCache::FileFor(m_executableName, account), ec)) return;
    opening.patternsKey = PatternsKey();
    try {
        opening.thread = std::jthread([&opening, name = m_executableName, account] {
            opening.cache = std::make_unique<CMessageCache>(
                name, account, [&opening](const std::string &line) { opening.notes.push_back(line); },
                [&opening](const std::string &line) { opening.notices.push_back(line); });
            if (opening.cache->Usable()) opening.index = opening.cache->Index(opening.patternsKey);
        });
    } catch (const std::system_error &) {
        // No thread to be had: the cache opens after the listing.
    }
}

std::unordered_map<std::string, CMessageCache::Known> CMailboxScan::OpenCache(const std::vector<Message> &messages,
                                                                             OpeningCache &opening) {
    opening.Wait();
    m_cache.reset();
    if (!m_useCache) return {};
    // Without unique ids, or with one shared, no message can be known again.
    std::vector<std::string_view> ids;
    ids.reserve(messages.size());
    for (const Message &message : messages) {
        if (message.uniqueId.empty()) return {};
        ids.emplace_back(message.uniqueId);
    }
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) return {};
    auto note = [this](const std::string &line) {
        if (m_trace) m_trace("# " + line);
    };
    auto notice = [this](const std::string &line) { m_window.Notice(line); };
    if (opening.cache != nullptr) {
        opening.cache->SetNote(note);
        opening.cache->SetNotice(notice);
        for (const std::string &line : opening.notes) note(line);
        for (const std::string &line : opening.notices) notice(line);
        if (!opening.cache->Usable()) return {};
        m_cache = std::move(opening.cache);
        // Patterns written while the server was logged on to: every cached
        // text is tried again.
        if (opening.patternsKey != PatternsKey())
            for (auto &[id, known] : opening.index) known.samePatterns = false;
        return std::move(opening.index);
    }
    m_cache = std::make_unique<CMessageCache>(m_executableName, m_server.CacheKey(m_account.user), note, notice);
    std::unordered_map<std::string, CMessageCache::Known> index;
    if (m_cache->Usable()) index = m_cache->Index(PatternsKey());
    if (!m_cache->Usable()) m_cache.reset();
    return index;
}


std::string CMailboxScan::PatternsKey() {
    const std::vector<std::string> &patterns = m_patterns.Patterns();
    if (m_patternsKeyGeneration != m_patterns.Generation() || m_patternsKey.empty()) {
        std::string all;
        for (const std::string &pattern : patterns) all += pattern + '\n';
        m_patternsKey = CMessageCache::Key(all);
        m_patternsKeyGeneration = m_patterns.Generation();
    }
    return m_patternsKey;
}

bool CMailboxScan::MatchText(const std::string &text, std::string *pattern) {
    // Line by line, in the pieces a reply is read in.
    char line[kLineSize];
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        size_t length = (end == std::string::npos ? text.size() : end + 1) - at;
        if (length > static_cast<size_t>(kLineSize - 1)) length = kLineSize - 1;
        std::memcpy(line, text.data() + at, length);
        line[length] = '\0';
        at += length;
        if (m_patterns.Match(line, pattern)) return true;
    }
    return false;
}

void CMailboxScan::FromCache(Message &message) {
    CachedMessage cached;
    // The cache can fail under a scan (a read error); that says nothing
    // of the server, and the message is left alone for this check.
    if (!m_cache->Find(message.uniqueId, message.size, false, &cached, message.cacheRow)) return;
    message.cells = std::move(static_cast<RowCells &>(cached));
    message.hasMessageId = cached.hasMessageId;
    message.messageId = std::move(cached.messageId);
    message.state = Message::Fetched;
}

void CMailboxScan::Remember(const Message &message, const std::string &text) {
    if (message.uniqueId.empty()) return;
    CachedMessage cached;
    static_cast<RowCells &>(cached) = message.cells;
    cached.size = message.size;
    cached.top = text;
    cached.hasMessageId = message.hasMessageId;
    cached.messageId = message.messageId;
    cached.patternsKey = PatternsKey();
    cached.matched = message.matched;
    cached.pattern = message.pattern;
    m_cache->Store(message.uniqueId, cached);
}

CMailboxScan::SaveResult CMailboxScan::SaveWholeMessage(CMailboxConversation &session,
                                                        const Message &message,
                                                        const std::string &id, std::string *name,
                                                        std::string *why) {
    // The file goes again (by its destructor) unless the whole message is
    // in it and on disk.
    CBackupFile file;
    if (!file.Claim(MakeBackupFileName(id))) {
        *why = Tr("scan", "Die Sicherungsdatei ließ sich im Arbeitsordner nicht anlegen");
        return NotSaved;
    }
    long announced = -1;
    const ResultCode retrieved = session.Retrieve(message, file, &announced);
    if (retrieved != RC_OK || !file.Commit()) {
        *why = retrieved != RC_OK ? session.Reason(retrieved)
                                  : Tr("scan", "Die Sicherung ließ sich nicht vollständig auf die Platte schreiben");
        return NotSaved;
    }
    // What came back must be the message examined, and all of it.
    *why = ProveBackup(file.Name(), message.top, message.size, announced);
    if (!why->empty()) {
        file.Remove();
        *why = Fill(Tr("scan", "Nachricht %1: %2"), {std::to_string(message.number), *why});
        return NotProven;
    }
    if (name != nullptr) *name = file.Name();
    return Saved;
}

void CMailboxScan::BackupAndDelete(CMailboxConversation &session, const Message &message, int row,
                                   int mode) {
    // After a stop no message is retrieved or deleted any more; what was
    // marked before is committed.
    if (Stopping()) return;
    // Where nothing can be removed (no spam folder), no message is fetched
    // whole for a backup that would only pile up; the reason is said once.
    const ResultCode ready = session.CanRemove(true);
    if (ready != RC_OK) {
        m_list.SetRowState(row, RowState::Failed);
        m_rowsFailed = true;
        if (!m_toldNotRemovable || session.LostStep())
            m_window.RowFailed(RowStateText(RowState::Failed), session.Reason(ready));
        m_toldNotRemovable = true;
        return;
    }
    // No message leaves the server without its whole backup on disk.
    std::string backup, why;
    const SaveResult saved = SaveWholeMessage(session, message, message.messageId, &backup, &why);
    if (saved != Saved) {
        RowNotDeleted(row, saved == NotProven ? RowState::NotProven : RowState::Failed, why);
        return;
    }
    CMailboxConversation::Removal how = CMailboxConversation::Removal::AtFinish;
    const ResultCode deleted = session.Remove(message, true, &how);
    if (deleted == RC_OK) {
        // The mark is text of our own (UTF-8), the pattern joins it as such.
        const std::string pattern = DisplayText(message.pattern);
        if (how == CMailboxConversation::Removal::AtFinish)
            m_pending.push_back({row, RowState::Deleted, pattern});
        else
            MarkRemoved(row, mode, how == CMailboxConversation::Removal::Done ? session.RemovedState() : RowState::Flagged,
                        pattern);
        return;
    }
    // Only a clear refusal leaves the message surely on the server; after
    // anything else its backup stays.
    if (deleted == RC_DELE_REFUSED) ::unlink(backup.c_str());
    if (deleted == RC_REMOVAL_UNCERTAIN) {
        // Sent, and not confirmed: the server may have acted.
        m_removalUncertain = true;
        m_list.SetRowState(row, RowState::UncertainRemoval);
        m_window.RowFailed(RowStateText(RowState::UncertainRemoval), session.Reason(deleted));
        return;
    }
    RowNotDeleted(row, RowState::Failed, session.Reason(deleted));
}

void CMailboxScan::ActOnSelected(CMailboxConversation &session, int mode,
                                 std::vector<Message> &messages) {
    const std::vector<int> rows = m_list.SelectedRows();
    if (rows.empty()) return;

    // A row's key acts only when exactly one message of the whole listing
    // has it. Keys by Message-Id and size need every message's header, also
    // of those with a unique id (one may have lost it since the row was made).
    bool byHeader = false;
    for (int row : rows) byHeader = byHeader || m_list.RowKey(row).rfind("M:", 0) == 0;
    if (byHeader) {
        session.PlanPreviews(std::vector<CMailboxConversation::Entry>(messages.begin(), messages.end()), 0);
        for (size_t i = 0; i < messages.size(); ++i) {
            session.AskAhead(i);
            ReadOne(session, messages[i], 0);
            if (session.LostStep()) {
                m_complete = false;
                return;
            }
        }
    }
    std::map<std::string, std::vector<size_t>> holders;
    for (size_t i = 0; i < messages.size(); ++i) {
        const Message &message = messages[i];
        if (!message.uniqueId.empty()) holders[RowKeyFor(message.uniqueId, 0, "")].push_back(i);
        const std::string key = RowKeyFor("", message.size, message.messageId);
        if (message.state == Message::Fetched && !key.empty()) holders[key].push_back(i);
    }

    std::set<size_t> done;
    for (int row : rows) {
        const std::string key = m_list.RowKey(row);
        const auto found = key.empty() ? holders.end() : holders.find(key);
        if (key.empty() || (found != holders.end() && found->second.size() > 1)) {
            m_list.SetRowState(row, RowState::NotUnique);
            continue;
        }
        if (found == holders.end()) {
            m_list.SetRowState(row, RowState::NotFound);
            continue;
        }
        const size_t index = found->second.front();
        if (!done.insert(index).second) continue;  // two rows of one message: once
        const Message &message = messages[index];
        // Deleted or saved alike: first its whole backup, proven to be the
        // message the row names (its header as read, its LIST size).
        std::string why, name;
        const SaveResult saved = SaveWholeMessage(session, message, m_list.CellText(row, ColId), &name, &why);
        if (mode == SaveSelected && saved == Saved) m_window.Saved(name);
        if (mode == DeleteSelected) {
            CMailboxConversation::Removal how = CMailboxConversation::Removal::AtFinish;
            const ResultCode deleted = saved == Saved ? session.Remove(message, false, &how) : RC_OK;
            if (saved != Saved) {
                m_rowsFailed = true;
                if (saved == NotProven) m_list.SetRowState(row, RowState::NotProven);
                Box(Tr("scan", "Fehler beim löschen"), why);
            } else if (deleted == RC_OK && how == CMailboxConversation::Removal::AtFinish) {
                m_pending.push_back({row, RowState::DeletedSelected, {}});
            } else if (deleted == RC_OK) {
                MarkRemoved(row, mode,
                            how == CMailboxConversation::Removal::Done ? RowState::DeletedSelected : RowState::Flagged);
            } else if (deleted == RC_REMOVAL_UNCERTAIN) {
                m_removalUncertain = true;
                m_list.SetRowState(row, RowState::UncertainRemoval);
                Box(Tr("scan", "Fehler beim löschen"), session.Reason(deleted));
            } else {
                Box(Tr("scan", "Fehler beim löschen"), session.Reason(deleted));
            }
        } else if (mode == SaveSelected && saved != Saved) {
            m_rowsFailed = true;
            Box(Tr("scan", "Fehler beim Sichern"), why);
        }
        if (session.LostStep()) {
            m_complete = false;
            return;
        }
    }
    Title(m_executableName + " - " +
          Fill(Tr("scan", "%1 von %2 E-Mails"), {std::to_string(messages.size()), std::to_string(messages.size())}));
    m_window.RepaintList();
}
