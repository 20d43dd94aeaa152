// One complete POP3 conversation: log on, count, fetch the header and first
// 25 body lines of every message, and list, delete or save them by mode.
//
// Mail safety lives here. A message that a pattern matches is retrieved
// whole into its backup file, which is flushed to disk before DELE is
// sent; a deletion counts (and its row says "gelöscht") only once the
// server has answered the QUIT that commits it. The commands on selected
// rows act on exactly the messages those rows identify: by unique id where
// the server lists them, else by Message-Id together with the size, and
// never on a message that these do not single out.
#pragma once

#include <map>
#include <string>
#include <vector>

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
    static constexpr int kReplySeconds = 60;
    static constexpr int kCollectedCapacity = 32000;
    // Failed TOPs in a row after which the scan gives up on the server.
    static constexpr int kFailuresInARow = 3;

    // How the last scan ended, for the exit status of unattended runs.
    enum Outcome {
        NotRun,
        ConnectionFailed,  // no connection, or the log-on was refused
        NoMessages,
        Scanned,
        MailboxFailed,     // the server would not say what the mailbox holds (STAT, LIST)
        Interrupted,       // the conversation broke off; marked deletions did not happen
    };

    CMailboxScan(CScanList &list, CScanWindow &window, const CSettingsStore &settings,
                 std::string executableName);

    void ScanMailbox(int mode);
    // Seconds to wait for the server, and the most a whole reply may take.
    void SetTimeouts(int waitSeconds, int replySeconds) {
        m_waitSeconds = waitSeconds;
        m_replySeconds = replySeconds;
    }
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

    // What a row's key says of its message: "U:" and the unique id, or
    // "M:", the size, ":" and the Message-Id value; empty when neither is
    // known.
    static std::string RowKeyFor(const std::string &uniqueId, long size,
                                 const std::string &messageId);

    // Column 0 of a selected row that names no message, or one that no
    // longer singles out one message; such a row is not acted on.
    static constexpr const char *kNotUnique = "nicht eindeutig";
    static constexpr const char *kNotFound = "nicht gefunden";

private:
    struct Listed {
        int number = 0;
        long size = 0;
        std::string uniqueId;
    };
    struct PendingDeletion {
        int row = 0;
        std::string mark;
    };

    // False when the scan cannot go on with this server.
    bool ListMessage(CUT_Pop3Session &session, const Listed &message, int row);
    void FillRow(CUT_MailMessage &message, int row, long size, const std::string &bodyLines);
    void BackupAndDelete(CUT_Pop3Session &session, const Listed &message, int row,
                         const std::string &id, const std::string &pattern);
    void ActOnSelected(CUT_Pop3Session &session, int mode, const std::vector<Listed> &messages);
    // Saves the whole message into a flushed file; false when it is not whole on disk.
    bool SaveWholeMessage(CUT_Pop3Session &session, int number, const std::string &id,
                          std::string *name);
    void Title(const std::string &text);
    void Box(const char *text);

    CScanList &m_list;
    CScanWindow &m_window;
    const CSettingsStore &m_settings;
    std::string m_executableName;
    Outcome m_outcome = NotRun;
    std::vector<PendingDeletion> m_pending;
    int m_failuresInARow = 0;
    int m_waitSeconds = kTimeoutSeconds;
    int m_replySeconds = kReplySeconds;
};
