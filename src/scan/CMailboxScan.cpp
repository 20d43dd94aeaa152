#include "CMailboxScan.h"

#include <unistd.h>

#include <map>
#include <set>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "BackupFiles.h"
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
#include "CUT_Pop3Session.h"
#include "DisplayText.h"
#include "FailureReason.h"
#include "MessageProof.h"

namespace {

constexpr int kLineSize = 1023;
constexpr int kValueSize = 1000;

// The box of a server that will not say what the mailbox holds.
constexpr const char *kMailboxFailedText = "Fehler beim Lesen des Postfachs";
constexpr const char *kDeleteFailedRow = "fehler beim löschen";

std::string Format(const char *format, const std::string &name, long a = 0, long b = 0) {
    char text[512];
    std::snprintf(text, sizeof text, format, name.c_str(), a, b);
    return text;
}


}  // namespace

// What the scan learns of one message before it acts on it.
struct CMailboxScan::Message {
    enum State { NotAsked, Refused, Cut, Fetched };
    int number = 0;
    long size = 0;
    std::string uniqueId;
    State state = NotAsked;
    ResultCode failure = RC_OK;  // why it is Refused
    bool hasFrom = false;
    std::string address, name, fromCharset;
    bool hasSubject = false;
    std::string subject, subjectCharset;
    std::string preview;
    // The whole TOP reply, dot-stuffing undone: what the backup must begin
    // with. Kept only while the message may still be acted on.
    std::string top;
    bool hasMessageId = false;
    std::string messageId;
    bool matched = false;
    std::string pattern;
};

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, CServerAddress server,
                           MailAccount account, CDirectDeletePatterns &patterns,
                           std::string executableName)
    : m_list(list), m_window(window), m_server(std::move(server)), m_account(std::move(account)),
      m_patterns(patterns), m_executableName(std::move(executableName)) {}

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, const AccountConfig &account,
                           std::string executableName)
    : m_list(list), m_window(window), m_server(account.Server()), m_account(account.Credentials()),
      m_ownPatterns(std::make_unique<CDirectDeletePatterns>(account.Patterns())),
      m_patterns(*m_ownPatterns), m_executableName(std::move(executableName)) {
    if (account.timeoutSeconds > 0) m_waitSeconds = account.timeoutSeconds;
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

std::string CMailboxScan::Reason(CUT_Pop3Session &session, ResultCode code) {
    return FailureReason(FailureFacts::From(code, session, m_server.host, session.Port(), m_waitSeconds));
}

void CMailboxScan::RowNotDeleted(int row, const char *mark, const std::string &why) {
    m_list.SetCellText(row, ColAddress, mark);
    m_rowsFailed = true;
    m_window.RowFailed(kDeleteFailedRow, why);
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
    m_lastReason.clear();
    if (mode == List) m_list.DeleteAllRows();

    CUT_Pop3Session session;
    Title(Format("%s - Connect", m_executableName));
    std::string problem;
    if (!LogOn(session, &problem)) {
        m_outcome = Stopping() ? Cancelled : ConnectionFailed;
        Box("Connection Failed", problem);
        return;
    }
    Title(Format("%s - Connect OK !", m_executableName));

    std::vector<Message> messages;
    if (!ListMailbox(session, messages)) return;
    if (mode == List)
        ListAll(session, messages);
    else
        ActOnSelected(session, mode, messages);
    if (session.LostSync()) m_complete = false;

    // Marked deletions happen with a QUIT that the server answers +OK, and
    // only then do their rows say so.
    const ResultCode closed = session.CloseMailbox();
    const bool committed = closed == RC_OK;
    // QUIT went out and its answer did not come: the server may have acted.
    const bool uncertain = closed == RC_QUIT_UNANSWERED && !m_pending.empty();
    const std::string closeReason = committed ? std::string() : Reason(session, closed);
    for (const PendingDeletion &deletion : m_pending) {
        if (committed) {
            m_list.SetCellText(deletion.row, ColAddress, deletion.mark);
            if (mode == List) {
                m_list.SetCellText(deletion.row, ColId, deletion.mark);
                m_list.SetCellText(deletion.row, ColName, deletion.mark);
            }
        } else {
            m_list.SetCellText(deletion.row, ColAddress, uncertain ? kUncertainMark : kDeleteFailedRow);
            if (mode == List) m_window.RowFailed(uncertain ? kUncertainMark : kDeleteFailedRow, closeReason);
        }
    }
    if (mode == DeleteSelected && !m_pending.empty() && !committed)
        Box("Fehler beim löschen", closeReason);
    if (uncertain)
        m_outcome = Uncertain;
    else if (!m_complete || (!committed && !m_pending.empty()))
        m_outcome = Interrupted;
    else if (Stopping())
        m_outcome = Cancelled;
    else
        m_outcome = m_rowsFailed ? MessagesFailed : Scanned;
}

bool CMailboxScan::LogOn(CUT_Pop3Session &session, std::string *problem) {
    session.SetConnectTimeout(m_waitSeconds);
    session.SetReceiveTimeout(m_waitSeconds);
    session.SetReplyTimeLimit(m_replySeconds);
    if (m_trace) session.SetTrace(m_trace);
    session.SetStopRequest(m_stop);
    if (m_server.port != 0) session.SetPort(m_server.port);
    if (m_server.tlsMode != CUT_Pop3Session::TLS_NONE) session.SetTls(m_server.tlsMode, m_server.caFile);
    // The password or token as the settings say where it comes from,
    // anew for every log-on (a token expires).
    MailAccount account = m_account;
    if (!CCredentials::Resolve(account, problem, m_stop)) return false;
    if (session.SetAuthentication(account.mechanism, m_server.allowClear, account.token) != RC_OK) {
        *problem = "Das Anmeldeverfahren \"" + account.mechanism +
                   "\" (AUTH) ist unbekannt oder braucht ein Zugriffstoken (TOKENCMD)";
        return false;
    }
    const ResultCode opened = session.OpenMailbox(m_server.host.c_str(), account.user.c_str(),
                                                  account.password.c_str());
    if (opened != RC_OK) *problem = Reason(session, opened);
    return opened == RC_OK;
}

bool CMailboxScan::TestConnection(std::string *report) {
    CUT_Pop3Session session;
    if (!LogOn(session, report)) {
        session.CloseMailbox();
        return false;
    }
    long count = 0;
    const ResultCode counted = session.GetMessageCount(&count);
    *report = "Anmeldung mit " + session.Mechanism() + ", " +
              (session.TlsActive() ? session.TlsVersion() : std::string("ohne TLS")) +
              (counted == RC_OK ? "; " + std::to_string(count) + " E-Mails im Postfach" : std::string());
    session.CloseMailbox();
    return true;
}

bool CMailboxScan::ListMailbox(CUT_Pop3Session &session, std::vector<Message> &messages) {
    // Whether the server takes commands ahead of their replies (after STLS
    // this is known already); one without CAPA or PIPELINING gets one
    // command at a time.
    m_batch = m_pipelineWindow;
    if (m_batch > 1 && session.Capabilities().empty()) session.FetchCapabilities();
    if (!session.HasCapability("PIPELINING")) m_batch = 1;
    if (m_batch > 1) {
        for (const char *command : {"STAT\r\n", "LIST\r\n", "UIDL\r\n"})
            session.QueueCommand(command);
    }

    long count = 0;
    const ResultCode counted = session.GetMessageCount(&count);
    if (counted != RC_OK) {
        m_outcome = session.LostSync() ? Interrupted : MailboxFailed;
        Box(kMailboxFailedText, Reason(session, counted));
        session.CloseMailbox();
        return false;
    }
    if (count < 1) {
        m_outcome = NoMessages;
        Box("Keine E-Mails vorhanden.");
        return false;
    }
    // The listing, not the count of STAT alone, says which messages there
    // are: a server cannot make the scan walk numbers that do not exist.
    const ResultCode listed = session.FetchMessageSizes();
    if (listed != RC_OK) {
        m_outcome = session.LostSync() ? Interrupted : MailboxFailed;
        Box(kMailboxFailedText, Reason(session, listed));
        session.CloseMailbox();
        return false;
    }
    std::set<int> numbers;
    for (const MessageSizeEntry &entry : session.MessageSizes()) {
        // A number listed twice is one message: acting on it twice would
        // count a deletion that already happened as a failure.
        if (!numbers.insert(entry.messageNumber).second) continue;
        Message message;
        message.number = entry.messageNumber;
        message.size = entry.size;
        messages.push_back(std::move(message));
    }
    // Unique ids where the server has them (a refusal is no failure).
    if (session.FetchUniqueIds(0) == RC_OK) {
        std::map<int, const std::string *> ids;
        for (const UniqueIdEntry &entry : session.UniqueIds())
            ids.emplace(entry.messageNumber, &entry.uniqueId);  // the first one counts
        for (Message &message : messages) {
            const auto found = ids.find(message.number);
            if (found != ids.end()) message.uniqueId = *found->second;
        }
    }
    if (session.LostSync()) {
        m_outcome = Interrupted;
        Box(kMailboxFailedText, Reason(session, RC_LOST_SYNC));
        return false;
    }
    if (messages.empty()) {
        m_outcome = NoMessages;
        Box("Keine E-Mails vorhanden.");
        session.CloseMailbox();
        return false;
    }
    Title(Format("%s - %ld E-Mails", m_executableName, static_cast<long>(messages.size())));
    return true;
}

void CMailboxScan::FillWindow(CUT_Pop3Session &session, const std::vector<Message> &messages,
                              size_t next, size_t *asked, int lines) {
    if (m_batch <= 1) return;
    if (*asked < next) *asked = next;
    // Refilled in bursts, once half the window is free: one write, and
    // one packet, for many commands.
    if (*asked - next > static_cast<size_t>(m_batch / 2)) return;
    while (*asked < messages.size() && *asked - next < static_cast<size_t>(m_batch) &&
           session.QueueTop(messages[*asked].number, lines) == RC_OK)
        ++*asked;
}

void CMailboxScan::ReadOne(CUT_Pop3Session &session, Message &message, int lines) {
    session.EndTop();
    session.SetReplySizeLimit(ReplyBoundFor(message.size));
    const ResultCode begun = session.BeginTop(message.number, lines);
    if (begun != RC_OK) {
        message.state = Message::Refused;
        message.failure = begun;
        return;
    }
    FetchOne(session, message, lines);
    session.EndTop();
}

void CMailboxScan::FetchOne(CUT_Pop3Session &session, Message &message, int lines) {
    // The pattern file is looked at once per message.
    if (lines > 0) m_patterns.Refresh();
    // The lines as the message has them: dot-stuffing undone where a line
    // begins. Patterns see the lines as they came.
    std::string text;
    char line[kLineSize];
    int length;
    while ((length = session.ReadMessageLine(line, kLineSize)) > 0) {
        const bool stuffed = session.PieceStartedLine() && line[0] == '.';
        text.append(line + (stuffed ? 1 : 0), static_cast<size_t>(length - (stuffed ? 1 : 0)));
        if (lines > 0 && !message.matched) message.matched = m_patterns.Match(line, &message.pattern);
    }
    // A reply cut short is no ground for any decision on the message.
    if (session.LostSync()) {
        message.state = Message::Cut;
        message.matched = false;
        return;
    }
    // The whole reply (bounded by the message's LIST size) is what a
    // backup must begin with, kept where the message may be acted on; the
    // parse looks at its first part.
    if (lines == 0 || message.matched) message.top = text;
    if (text.size() > static_cast<size_t>(kCollectedCapacity)) text.resize(kCollectedCapacity);

    CUT_MemorySource collected(nullptr, kCollectedCapacity, nullptr);
    collected.Open(OpenMode::Write);
    collected.Write(text.data(), static_cast<int>(text.size()));
    collected.Close();
    CUT_MailMessage parsed;
    parsed.LoadFromSource(collected);
    char value[kValueSize];
    if (parsed.GetHeaderByName("From:", value, kValueSize)) {
        message.hasFrom = true;
        const std::string from = CUT_DisplayHeader::Decode(value);
        message.fromCharset = "UTF-8";
        message.address = from;
        const size_t open = from.find('<');
        if (open != std::string::npos) {
            message.name = from.substr(0, open);
            const size_t close = from.find('>', open + 1);
            message.address = from.substr(
                open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        }
    }
    if (parsed.GetHeaderByName("Subject:", value, kValueSize)) {
        message.hasSubject = true;
        message.subject = CUT_DisplayHeader::Decode(value);
        message.subjectCharset = "UTF-8";
    }
    message.preview = CUT_MessagePreview::Build(text);
    if (parsed.GetHeaderByName("Message-Id:", value, kValueSize)) {
        message.hasMessageId = true;
        message.messageId = value;
    }
    message.state = Message::Fetched;
}

void CMailboxScan::ShowRow(const Message &message, int row) {
    m_list.InsertRow(row, "");
    m_list.SetRowKey(row, RowKeyFor(message.uniqueId, message.size, message.messageId));
    if (message.state != Message::Fetched) return;
    if (message.hasFrom) {
        m_list.SetCellText(row, ColAddress, message.address, message.fromCharset);
        m_list.SetCellText(row, ColName, message.name, message.fromCharset);
    }
    m_list.SetCellText(row, ColSize, std::to_string(static_cast<int>(message.size)));
    if (message.hasSubject) m_list.SetCellText(row, ColSubject, message.subject, message.subjectCharset);
    m_list.SetCellText(row, ColText, message.preview, "UTF-8");
    if (message.hasMessageId) m_list.SetCellText(row, ColId, message.messageId);
}

void CMailboxScan::ListAll(CUT_Pop3Session &session, std::vector<Message> &messages) {
    const long total = static_cast<long>(messages.size());
    size_t asked = 0;
    // Matched messages wait for their backup and DELE until no TOP reply is
    // owed any more; meanwhile no more TOPs go out.
    std::vector<size_t> waiting;
    for (size_t i = 0; i < messages.size(); ++i) {
        // A stop asks for nothing more; the replies already owed are read.
        if (Stopping() && i >= asked) break;
        if (waiting.empty() && !Stopping()) FillWindow(session, messages, i, &asked, kTopLines);
        Message &message = messages[i];
        ReadOne(session, message, kTopLines);
        const int row = static_cast<int>(i);
        ShowRow(message, row);
        // The row holds the texts now; the value keeps what acting needs.
        if (m_dryRun) std::string().swap(message.top);
        std::string().swap(message.preview);
        std::string().swap(message.subject);
        std::string().swap(message.address);
        std::string().swap(message.name);
        bool goOn = true;
        if (message.state == Message::Fetched) {
            m_failuresInARow = 0;
            if (message.matched && message.hasMessageId) {
                if (m_dryRun)
                    m_list.SetCellText(row, ColAddress,
                                       kWouldDelete + DisplayText(message.pattern));
                else
                    waiting.push_back(i);
            }
        } else {
            Box("Top Failed to open a message",
                Reason(session, message.state == Message::Refused ? message.failure : RC_LOST_SYNC));
            // With the connection gone, or a server that fails message
            // after message, every later one would fail the same way.
            goOn = !session.LostSync() && session.IsConnected() != 0 &&
                   ++m_failuresInARow < kFailuresInARow;
        }
        if (!waiting.empty() && session.QueuedCommands() == 0) {
            for (size_t index : waiting) {
                BackupAndDelete(session, messages[index], static_cast<int>(index));
                std::string().swap(messages[index].top);
            }
            waiting.clear();
        }
        Title(Format("%s - %ld von %ld E-Mails", m_executableName, static_cast<long>(i) + 1, total));
        m_window.Progress(static_cast<long>(i) + 1, total);
        m_window.RepaintList();
        if (!goOn || session.LostSync()) {
            m_complete = false;
            break;
        }
    }
    // Stopped early with replies still owed: these cannot be acted on, and
    // their rows say so.
    for (size_t index : waiting) BackupAndDelete(session, messages[index], static_cast<int>(index));
}

CMailboxScan::SaveResult CMailboxScan::SaveWholeMessage(CUT_Pop3Session &session,
                                                        const Message &message,
                                                        const std::string &id, std::string *name,
                                                        std::string *why) {
    // The file goes again (by its destructor) unless the whole message is
    // in it and on disk.
    CBackupFile file;
    if (!file.Claim(MakeBackupFileName(id))) {
        *why = "Die Sicherungsdatei ließ sich im Arbeitsordner nicht anlegen";
        return NotSaved;
    }
    session.SetReplySizeLimit(ReplyBoundFor(message.size));
    const ResultCode retrieved = session.RetrieveToSource(message.number, file);
    if (retrieved != RC_OK || !file.Commit()) {
        *why = retrieved != RC_OK ? Reason(session, retrieved)
                                  : "Die Sicherung ließ sich nicht vollständig auf die Platte schreiben";
        return NotSaved;
    }
    // What came back must be the message examined, and all of it.
    *why = ProveBackup(file.Name(), message.top, message.size, session.AnnouncedOctets());
    if (!why->empty()) {
        file.Remove();
        *why = "Nachricht " + std::to_string(message.number) + ": " + *why;
        return NotProven;
    }
    if (name != nullptr) *name = file.Name();
    return Saved;
}

void CMailboxScan::BackupAndDelete(CUT_Pop3Session &session, const Message &message, int row) {
    // After a stop no message is retrieved or deleted any more; what was
    // marked before is committed.
    if (Stopping()) return;
    // No message leaves the server without its whole backup on disk.
    std::string backup, why;
    const SaveResult saved = SaveWholeMessage(session, message, message.messageId, &backup, &why);
    if (saved != Saved) {
        RowNotDeleted(row, saved == NotProven ? kNotProvenMark : kDeleteFailedRow, why);
        return;
    }
    const ResultCode deleted = session.DeleteMessage(message.number);
    if (deleted == RC_OK) {
        // The mark is text of our own (UTF-8), the pattern joins it as such.
        m_pending.push_back({row, kDeletedMark + DisplayText(message.pattern)});
        return;
    }
    // Only a clear refusal leaves the message surely on the server; after
    // anything else its backup stays.
    if (deleted == RC_DELE_REFUSED) ::unlink(backup.c_str());
    RowNotDeleted(row, kDeleteFailedRow, Reason(session, deleted));
}

void CMailboxScan::ActOnSelected(CUT_Pop3Session &session, int mode,
                                 std::vector<Message> &messages) {
    const std::vector<int> rows = m_list.SelectedRows();
    if (rows.empty()) return;

    // A row's key acts only when exactly one message of the whole listing
    // has it. Keys by Message-Id and size need every message's header, also
    // of those with a unique id (one may have lost it since the row was made).
    bool byHeader = false;
    for (int row : rows) byHeader = byHeader || m_list.RowKey(row).rfind("M:", 0) == 0;
    if (byHeader) {
        size_t asked = 0;
        for (size_t i = 0; i < messages.size(); ++i) {
            FillWindow(session, messages, i, &asked, 0);
            ReadOne(session, messages[i], 0);
            if (session.LostSync()) {
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
            m_list.SetCellText(row, ColAddress, kNotUnique);
            continue;
        }
        if (found == holders.end()) {
            m_list.SetCellText(row, ColAddress, kNotFound);
            continue;
        }
        const size_t index = found->second.front();
        if (!done.insert(index).second) continue;  // two rows of one message: once
        const Message &message = messages[index];
        // Deleted or saved alike: first its whole backup, proven to be the
        // message the row names (its header as read, its LIST size).
        std::string why;
        const SaveResult saved = SaveWholeMessage(session, message, m_list.CellText(row, ColId), nullptr, &why);
        if (mode == DeleteSelected) {
            const ResultCode deleted = saved == Saved ? session.DeleteMessage(message.number) : RC_OK;
            if (saved != Saved) {
                m_rowsFailed = true;
                if (saved == NotProven) m_list.SetCellText(row, ColAddress, kNotProvenMark);
                Box("Fehler beim löschen", why);
            } else if (deleted == RC_OK) {
                m_pending.push_back({row, "Gelöscht"});
            } else {
                Box("Fehler beim löschen", Reason(session, deleted));
            }
        } else if (mode == SaveSelected && saved != Saved) {
            m_rowsFailed = true;
            Box("Fehler beim Sichern", why);
        }
        if (session.LostSync()) {
            m_complete = false;
            return;
        }
    }
    Title(Format("%s - %ld von %ld E-Mails", m_executableName, static_cast<long>(messages.size()),
                 static_cast<long>(messages.size())));
    m_window.RepaintList();
}
