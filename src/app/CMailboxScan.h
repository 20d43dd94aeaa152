// One complete POP3 conversation: log on, count, fetch the header and first
// 25 body lines of every message, and list, delete or save them by mode.
#pragma once

#include <string>

#include "ScanMode.h"

class CScanList;
class CScanWindow;
class CSettingsStore;
class CUT_Pop3Session;
class CUT_MemorySource;
class CUT_MailMessage;

class CMailboxScan {
public:
    static constexpr int kTopLines = 25;
    static constexpr int kTimeoutSeconds = 20;
    static constexpr int kCollectedCapacity = 32000;

    // How the last scan ended, for the exit status of unattended runs.
    enum Outcome { NotRun, ConnectionFailed, NoMessages, Scanned };

    CMailboxScan(CScanList &list, CScanWindow &window, const CSettingsStore &settings,
                 std::string executableName);

    void ScanMailbox(int mode);
    Outcome LastOutcome() const { return m_outcome; }

    // "host:port" with a port from 1 to 65535 names another port than 110;
    // any other host text is left whole. Returns the host part.
    static std::string SplitHostPort(const std::string &host, int *port);

    // The "HOST" setting: "pop3s://host[:port]" (TLS from the first byte,
    // port 995 by default), "pop3+stls://host[:port]" (upgraded with STLS,
    // port 110 by default), or a host text as before, with an optional
    // ":port". tlsMode is one of CUT_Pop3Session::TlsMode; port 0 keeps the
    // session's default.
    struct Server {
        std::string host;
        int port = 0;
        int tlsMode = 0;
    };
    static Server ParseServer(const std::string &setting);

private:
    // False when the conversation is lost and the scan cannot go on.
    bool ScanMessage(CUT_Pop3Session &session, int mode, int n);
    void FillRow(CUT_Pop3Session &session, CUT_MailMessage &message, int row,
                 const std::string &bodyLines);
    void ActOnMessage(CUT_Pop3Session &session, int mode, int n, const std::string &id,
                      CUT_MemorySource &collected, bool matched, const std::string &pattern);
    void Title(const std::string &text);
    void Box(const char *text);

    CScanList &m_list;
    CScanWindow &m_window;
    const CSettingsStore &m_settings;
    std::string m_executableName;
    Outcome m_outcome = NotRun;
};
