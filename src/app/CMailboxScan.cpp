#include "CMailboxScan.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "BackupFiles.h"
#include "BatchMode.h"
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

void CMailboxScan::ScanMailbox(int mode) {
    if (mode == List) m_list.DeleteAllRows();

    CUT_Pop3Session session;
    const Server server = ParseServer(m_settings.Read("HOST"));
    const std::string &host = server.host;
    const std::string user = m_settings.Read("USER");
    const std::string password = CSettingsStore::ComplementPassword(m_settings.Read("PASS"));
    session.SetConnectTimeout(kTimeoutSeconds);
    session.SetReceiveTimeout(kTimeoutSeconds);
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

    // A refused or garbled STAT counts as an empty mailbox.
    long count = 0;
    if (session.GetMessageCount(&count) != RC_OK) count = 0;
    if (count < 1) {
        m_outcome = NoMessages;
        Box("Keine E-Mails vorhanden.");
        return;
    }
    Title(Format("%s - %ld E-Mails", m_executableName, count));

    for (long n = 1; n <= count; ++n) {
        bool goOn = ScanMessage(session, mode, static_cast<int>(n));
        Title(Format("%s - %ld von %ld E-Mails", m_executableName, n, count));
        m_window.RepaintList();
        if (!goOn) break;
    }
    session.CloseMailbox();
    m_outcome = Scanned;
}

bool CMailboxScan::ScanMessage(CUT_Pop3Session &session, int mode, int n) {
    std::string bodyLines;
    std::string matchedPattern;
    bool bodyStarted = false;
    bool matched = false;

    session.EndTop();
    if (session.BeginTop(n, kTopLines) != RC_OK) {
        Box("Top Failed to open a message");
        // Every message owns row n - 1, so a message without text still
        // gets its (empty) row.
        if (mode == List) m_list.InsertRow(n - 1, "");
        // With the connection gone every later message would fail the same
        // way, box and all.
        return session.IsConnected() != 0;
    }

    CUT_MemorySource collected(nullptr, kCollectedCapacity, nullptr);
    collected.Open(OpenMode::Write);
    char line[kLineSize];
    int length;
    while ((length = session.ReadMessageLine(line, kLineSize)) > 0) {
        collected.Write(line, length);
        if (bodyStarted && bodyLines.size() < kBodyLinesLimit) bodyLines += line;
        if (std::strcmp(line, "\r\n") == 0) bodyStarted = true;
        if (!matched) {
            std::string pattern;
            if (FindDirectDeletePattern(line, &pattern)) {
                matched = true;
                matchedPattern = pattern;
            }
        }
    }
    collected.Close();

    CUT_MailMessage message;
    message.LoadFromSource(collected);
    if (mode == List) FillRow(session, message, n - 1, bodyLines);

    char value[kValueSize];
    if (message.GetHeaderByName("Message-Id:", value, kValueSize))
        ActOnMessage(session, mode, n, value, collected, matched, matchedPattern);

    session.EndTop();
    session.EndRetrieve();
    return true;
}

void CMailboxScan::FillRow(CUT_Pop3Session &session, CUT_MailMessage &message, int row,
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
        m_list.InsertRow(row, address, charset);
        m_list.SetCellText(row, 1, name, charset);
    } else {
        m_list.InsertRow(row, "");  // keeps later messages on their own rows
    }

    long size = 0;
    session.GetMessageSize(row + 1, &size);
    m_list.SetCellText(row, 2, std::to_string(static_cast<int>(size)));

    if (message.GetHeaderByName("Subject:", value, kValueSize)) {
        const std::string subject = Decoded(value, &charset);
        m_list.SetCellText(row, 3, subject, charset);
    }

    const char *body = message.GetBodyText();
    m_list.SetCellText(row, 4, std::strlen(body) >= 3 ? std::string(body) : bodyLines);
}

void CMailboxScan::ActOnMessage(CUT_Pop3Session &session, int mode, int n, const std::string &id,
                                CUT_MemorySource &collected, bool matched,
                                const std::string &pattern) {
    if (mode == List) {
        const int row = n - 1;
        m_list.SetCellText(row, 5, id);
        if (!matched) return;
        // No message leaves the server without its backup on disk.
        const std::string backup = WriteBackupFile(collected, MakeBackupFileName(id));
        if (backup.empty()) {
            m_list.SetCellText(row, 0, "fehler beim löschen");
            return;
        }
        if (session.DeleteMessage(n) != RC_OK) {
            ::unlink(backup.c_str());
            m_list.SetCellText(row, 0, "fehler beim löschen");
            return;
        }
        // The mark is text of our own (UTF-8), the pattern joins it as such.
        const std::string mark = "gelöscht=" + DisplayText(pattern);
        m_list.SetCellText(row, 0, mark);
        m_list.SetCellText(row, 5, mark);
        m_list.SetCellText(row, 1, mark);
        return;
    }

    for (int row : m_list.SelectedRows()) {
        if (m_list.CellText(row, 5) != id) continue;  // byte for byte
        if (mode == SaveSelected) {
            WriteBackupFile(collected, MakeBackupFileName(id));
        } else if (mode == DeleteSelected) {
            if (session.DeleteMessage(n) == RC_OK)
                m_list.SetCellText(row, 0, "Gelöscht");
            else
                Box("Fehler beim löschen");
        }
    }
}
