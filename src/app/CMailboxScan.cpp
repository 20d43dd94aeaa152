#include "CMailboxScan.h"

#include <unistd.h>

#include <set>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "BackupFiles.h"
#include "BatchMode.h"
#include "CBackupFile.h"
#include "CDirectDeletePatterns.h"
#include "CScanList.h"
#include "CScanWindow.h"
#include "CSettingsStore.h"
#include "CUT_HeaderDecoder.h"
#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"
#include "CUT_Pop3Session.h"
#include "DisplayText.h"

namespace {

constexpr int kLineSize = 1023;
constexpr int kValueSize = 1000;
// The raw body lines stand in for a preview only; a server that sends
// endless lines must not make them grow without bound.
constexpr size_t kBodyLinesLimit = 32768;

// The box of a server that will not say what the mailbox holds.
constexpr const char *kMailboxFailedText = "Fehler beim Lesen des Postfachs";
constexpr const char *kDeleteFailedRow = "fehler beim löschen";

std::string Format(const char *format, const std::string &name, long a = 0, long b = 0) {
    char text[512];
    std::snprintf(text, sizeof text, format, name.c_str(), a, b);
    return text;
}

// The value with its encoded words decoded, when there were any and they
// all decoded; otherwise the value as it was.
std::string Decoded(const char *value, std::string *charset) {
    CUT_HeaderDecoder decoder;
    const char *flag = nullptr;
    const char *text = decoder.DecodeHeader(value, &flag);
    if (flag != nullptr && text != nullptr) {
        *charset = flag;
        return text;
    }
    charset->clear();
    return value;
}

}  // namespace

CMailboxScan::CMailboxScan(CScanList &list, CScanWindow &window, const CSettingsStore &settings,
                           std::string executableName)
    : m_list(list), m_window(window), m_settings(settings),
      m_executableName(std::move(executableName)) {}

void CMailboxScan::Title(const std::string &text) { m_window.SetTitle(text); }

void CMailboxScan::Box(const char *text) {
    if (!BatchMode) m_window.ShowMessage(text);
}

std::string CMailboxScan::SplitHostPort(const std::string &host, int *port) {
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == host.size()) return host;
    long value = 0;
    for (size_t i = colon + 1; i < host.size(); ++i) {
        if (host[i] < '0' || host[i] > '9' || value > 65535) return host;
        value = value * 10 + (host[i] - '0');
    }
    if (value < 1 || value > 65535) return host;
    if (port != nullptr) *port = static_cast<int>(value);
    return host.substr(0, colon);
}

CMailboxScan::Server CMailboxScan::ParseServer(const std::string &setting) {
    Server server;
    struct Scheme {
        const char *prefix;
        int mode;
        int port;
    };
    static const Scheme kSchemes[] = {{"pop3s://", CUT_Pop3Session::TLS_IMPLICIT, 995},
                                      {"pop3+stls://", CUT_Pop3Session::TLS_STARTTLS, 110}};
    for (const Scheme &scheme : kSchemes) {
        const size_t length = std::strlen(scheme.prefix);
        if (setting.size() < length || strncasecmp(setting.c_str(), scheme.prefix, length) != 0)
            continue;
        std::string rest = setting.substr(length);
        if (!rest.empty() && rest.back() == '/') rest.pop_back();
        server.tlsMode = scheme.mode;
        server.port = scheme.port;
        server.host = SplitHostPort(rest, &server.port);
        return server;
    }
    server.host = SplitHostPort(setting, &server.port);
    return server;
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
    if (mode == List) m_list.DeleteAllRows();

    CUT_Pop3Session session;
    const Server server = ParseServer(m_settings.Read("HOST"));
    const std::string &host = server.host;
    const std::string user = m_settings.Read("USER");
    const std::string password = CSettingsStore::ComplementPassword(m_settings.Read("PASS"));
    session.SetConnectTimeout(m_waitSeconds);
    session.SetReceiveTimeout(m_waitSeconds);
    session.SetReplyTimeLimit(m_replySeconds);
    if (server.port != 0) session.SetPort(server.port);
    if (server.tlsMode != CUT_Pop3Session::TLS_NONE)
        session.SetTls(server.tlsMode, m_settings.Read("CAFILE"));

    Title(Format("%s - Connect", m_executableName));
    if (session.OpenMailbox(host.c_str(), user.c_str(), password.c_str()) != RC_OK) {
        m_outcome = ConnectionFailed;
        Box("Connection Failed");
        return;
    }
    Title(Format("%s - Connect OK !", m_executableName));

    long count = 0;
    if (session.GetMessageCount(&count) != RC_OK) {
        m_outcome = MailboxFailed;
        Box(kMailboxFailedText);
        session.CloseMailbox();
        return;
    }
    if (count < 1) {
        m_outcome = NoMessages;
        Box("Keine E-Mails vorhanden.");
        return;
    }
    // The listing, not the count of STAT alone, says which messages there
    // are: a server cannot make the scan walk numbers that do not exist.
    if (session.FetchMessageSizes() != RC_OK) {
        m_outcome = session.LostSync() ? Interrupted : MailboxFailed;
        Box(kMailboxFailedText);
        session.CloseMailbox();
        return;
    }
    std::vector<Listed> messages;
    for (const MessageSizeEntry &entry : session.MessageSizes())
        messages.push_back({entry.messageNumber, entry.size, {}});
    if (messages.empty()) {
        m_outcome = NoMessages;
        Box("Keine E-Mails vorhanden.");
        session.CloseMailbox();
        return;
    }
    // Unique ids where the server has them (a refusal is no failure).
    if (session.FetchUniqueIds(0) == RC_OK) {
        for (Listed &message : messages) {
            const char *id = session.FindUniqueId(message.number);
            if (id != nullptr) message.uniqueId = id;
        }
    }
    const long total = static_cast<long>(messages.size());
    Title(Format("%s - %ld E-Mails", m_executableName, total));

    bool complete = !session.LostSync();
    if (complete && mode == List) {
        for (size_t i = 0; i < messages.size(); ++i) {
            const bool goOn = ListMessage(session, messages[i], static_cast<int>(i));
            Title(Format("%s - %ld von %ld E-Mails", m_executableName, static_cast<long>(i) + 1,
                         total));
            m_window.RepaintList();
            if (!goOn) {
                complete = false;
                break;
            }
        }
    } else if (complete) {
        ActOnSelected(session, mode, messages);
        Title(Format("%s - %ld von %ld E-Mails", m_executableName, total, total));
        m_window.RepaintList();
        complete = !session.LostSync();
    }

    // Marked deletions happen with a QUIT that the server answers +OK, and
    // only then do their rows say so.
    const bool committed = session.CloseMailbox() == RC_OK;
    for (const PendingDeletion &deletion : m_pending) {
        if (mode == List) {
            if (committed) {
                m_list.SetCellText(deletion.row, ColAddress, deletion.mark);
                m_list.SetCellText(deletion.row, ColId, deletion.mark);
                m_list.SetCellText(deletion.row, ColName, deletion.mark);
            } else {
                m_list.SetCellText(deletion.row, ColAddress, kDeleteFailedRow);
            }
        } else if (committed) {
            m_list.SetCellText(deletion.row, ColAddress, deletion.mark);
        }
    }
    if (mode == DeleteSelected && !m_pending.empty() && !committed) Box("Fehler beim löschen");
    m_outcome = complete && (committed || m_pending.empty()) ? Scanned : Interrupted;
}

bool CMailboxScan::ListMessage(CUT_Pop3Session &session, const Listed &listed, int row) {
    const int n = listed.number;
    m_list.InsertRow(row, "");
    m_list.SetRowKey(row, RowKeyFor(listed.uniqueId, listed.size, ""));

    session.EndTop();
    if (session.BeginTop(n, kTopLines) != RC_OK) {
        Box("Top Failed to open a message");
        // With the connection gone, or a server that fails message after
        // message, every later one would fail the same way, box and all.
        return !session.LostSync() && session.IsConnected() != 0 &&
               ++m_failuresInARow < kFailuresInARow;
    }
    m_failuresInARow = 0;

    std::string bodyLines;
    std::string matchedPattern;
    bool bodyStarted = false;
    bool matched = false;
    CUT_MemorySource collected(nullptr, kCollectedCapacity, nullptr);
    collected.Open(OpenMode::Write);
    char line[kLineSize];
    int length;
    while ((length = session.ReadMessageLine(line, kLineSize)) > 0) {
        collected.Write(line, length);
        if (bodyStarted && bodyLines.size() < kBodyLinesLimit) bodyLines += line;
        // Only a whole line can be the one that ends the header.
        if (session.PieceStartedLine() && std::strcmp(line, "\r\n") == 0) bodyStarted = true;
        if (!matched) {
            std::string pattern;
            if (FindDirectDeletePattern(line, &pattern)) {
                matched = true;
                matchedPattern = pattern;
            }
        }
    }
    collected.Close();
    // A reply cut short is no ground for any decision on the message.
    if (session.LostSync()) return false;

    CUT_MailMessage message;
    message.LoadFromSource(collected);
    FillRow(message, row, listed.size, bodyLines);

    char value[kValueSize];
    if (message.GetHeaderByName("Message-Id:", value, kValueSize)) {
        m_list.SetCellText(row, ColId, value);
        m_list.SetRowKey(row, RowKeyFor(listed.uniqueId, listed.size, value));
        if (matched) BackupAndDelete(session, listed, row, value, matchedPattern);
    }

    session.EndTop();
    session.EndRetrieve();
    return !session.LostSync() && session.IsConnected() != 0;
}

void CMailboxScan::FillRow(CUT_MailMessage &message, int row, long size,
                           const std::string &bodyLines) {
    char value[kValueSize];
    std::string charset;
    if (message.GetHeaderByName("From:", value, kValueSize)) {
        const std::string from = Decoded(value, &charset);
        std::string name;
        std::string address = from;
        const size_t open = from.find('<');
        if (open != std::string::npos) {
            name = from.substr(0, open);
            const size_t close = from.find('>', open + 1);
            address = from.substr(open + 1, close == std::string::npos ? std::string::npos
                                                                       : close - open - 1);
        }
        m_list.SetCellText(row, ColAddress, address, charset);
        m_list.SetCellText(row, ColName, name, charset);
    }

    m_list.SetCellText(row, ColSize, std::to_string(static_cast<int>(size)));

    if (message.GetHeaderByName("Subject:", value, kValueSize)) {
        const std::string subject = Decoded(value, &charset);
        m_list.SetCellText(row, ColSubject, subject, charset);
    }

    const char *body = message.GetBodyText();
    m_list.SetCellText(row, ColText, std::strlen(body) >= 3 ? std::string(body) : bodyLines);
}

bool CMailboxScan::SaveWholeMessage(CUT_Pop3Session &session, int number, const std::string &id,
                                    std::string *name) {
    // The file goes again (by its destructor) unless the whole message is
    // in it and on disk.
    CBackupFile file;
    if (!file.Claim(MakeBackupFileName(id))) return false;
    if (session.RetrieveToSource(number, file) != RC_OK || !file.Commit()) return false;
    if (name != nullptr) *name = file.Name();
    return true;
}

void CMailboxScan::BackupAndDelete(CUT_Pop3Session &session, const Listed &listed, int row,
                                   const std::string &id, const std::string &pattern) {
    // No message leaves the server without its whole backup on disk.
    std::string backup;
    if (!SaveWholeMessage(session, listed.number, id, &backup)) {
        m_list.SetCellText(row, ColAddress, kDeleteFailedRow);
        return;
    }
    const ResultCode deleted = session.DeleteMessage(listed.number);
    if (deleted == RC_OK) {
        // The mark is text of our own (UTF-8), the pattern joins it as such.
        m_pending.push_back({row, "gelöscht=" + DisplayText(pattern)});
        return;
    }
    // Only a clear refusal leaves the message surely on the server; after
    // anything else its backup stays.
    if (deleted == RC_DELE_REFUSED) ::unlink(backup.c_str());
    m_list.SetCellText(row, ColAddress, kDeleteFailedRow);
}

void CMailboxScan::ActOnSelected(CUT_Pop3Session &session, int mode,
                                 const std::vector<Listed> &messages) {
    const std::vector<int> rows = m_list.SelectedRows();
    if (rows.empty()) return;

    // First the key of every message on the server, then the acts: a row
    // acts only on the one message its key names.
    std::map<std::string, std::vector<int>> numbers;
    for (const Listed &listed : messages) {
        std::string key = RowKeyFor(listed.uniqueId, listed.size, "");
        if (key.empty()) {
            // The header alone gives the Message-Id.
            session.EndTop();
            if (session.BeginTop(listed.number, 0) != RC_OK) {
                if (session.LostSync() || !session.IsConnected()) return;
                continue;
            }
            CUT_MemorySource collected(nullptr, kCollectedCapacity, nullptr);
            collected.Open(OpenMode::Write);
            char line[kLineSize];
            int length;
            while ((length = session.ReadMessageLine(line, kLineSize)) > 0)
                collected.Write(line, length);
            collected.Close();
            session.EndTop();
            if (session.LostSync()) return;
            CUT_MailMessage message;
            message.LoadFromSource(collected);
            char value[kValueSize];
            if (message.GetHeaderByName("Message-Id:", value, kValueSize))
                key = RowKeyFor("", listed.size, value);
        }
        if (!key.empty()) numbers[key].push_back(listed.number);
    }

    std::set<int> done;
    for (int row : rows) {
        const std::string key = m_list.RowKey(row);
        const auto found = key.empty() ? numbers.end() : numbers.find(key);
        if (key.empty() || (found != numbers.end() && found->second.size() > 1)) {
            m_list.SetCellText(row, ColAddress, kNotUnique);
            continue;
        }
        if (found == numbers.end()) {
            m_list.SetCellText(row, ColAddress, kNotFound);
            continue;
        }
        const int number = found->second.front();
        if (!done.insert(number).second) continue;  // two rows of one message: once
        if (mode == DeleteSelected) {
            if (session.DeleteMessage(number) == RC_OK)
                m_pending.push_back({row, "Gelöscht"});
            else
                Box("Fehler beim löschen");
        } else if (mode == SaveSelected) {
            if (!SaveWholeMessage(session, number, m_list.CellText(row, ColId), nullptr))
                Box("Fehler beim Sichern");
        }
        if (session.LostSync()) return;
    }
}
