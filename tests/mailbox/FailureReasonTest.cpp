// SPDX-License-Identifier: GPL-3.0-or-later
// Every way a scan can end says its cause in words, from the facts
// recorded where the failure happened.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "FailureReason.h"
#include "TextHelpers.h"

TEST(FailureReason, EveryCodeThatCanEndAScanNamesItsCause) {
    struct Case {
        ResultCode code;
        bool lostSync;
        SessionFailure record;
        int errnoValue;
        const char *says;
    };
    const std::vector<Case> cases = {
        {RC_HOST_NOT_FOUND, false, {}, 0, "ließ sich nicht auflösen"},
        {RC_CONNECT_FAILED, false, {}, ECONNREFUSED, "hat die Verbindung abgelehnt"},
        {RC_CONNECT_FAILED, false, {}, ETIMEDOUT, "nahm die Verbindung nicht innerhalb von 20 s an"},
        {RC_NO_CONNECTION, false, {RC_NO_CONNECTION, "", "-ERR busy"}, 0, "begrüßte nicht mit +OK: \"-ERR busy\""},
        {RC_TLS_FAILED, false, {}, 0, "TLS-Aushandlung"},
        {RC_TLS_FAILED, false, {}, ETIMEDOUT, "hat die TLS-Aushandlung nicht innerhalb von 20 s beantwortet"},
        {RC_CERTIFICATE_REJECTED, false, {}, 0, "Zertifikat"},
        {RC_STLS_REFUSED, false, {}, 0, "STLS"},
        {RC_USER_REFUSED, false, {RC_USER_REFUSED, "USER u", "-ERR who?"}, 0, "Benutzernamen ab: \"-ERR who?\""},
        {RC_PASS_REFUSED, false, {RC_PASS_REFUSED, "PASS ********", "-ERR no"}, 0, "Anmeldung ab"},
        {RC_NO_MECHANISM, false, {}, 0, "Kein Anmeldeverfahren"},
        {RC_UNSAFE_CREDENTIAL, false, {}, 0, "Zeilenumbruch"},
        {RC_SERVER_UNPROVEN, true, {RC_SERVER_UNPROVEN, "AUTH SCRAM-SHA-256 ********", "+OK"}, 0,
         "nicht bewiesen, dass er das Kennwort kennt"},
        {RC_STAT_REFUSED, false, {RC_STAT_REFUSED, "STAT", "-ERR locked"}, 0, "lehnte \"STAT\" ab: \"-ERR locked\""},
        {RC_BAD_REPLY, false, {RC_BAD_REPLY, "STAT", "+OK"}, 0, "unverständlich"},
        {RC_DELE_REFUSED, false, {RC_DELE_REFUSED, "DELE 4", "-ERR"}, 0, "\"DELE 4\""},
        {RC_NO_REPLY, true, {RC_NO_REPLY, "TOP 3 25", "", SessionLimit::Wait}, 0, "auf \"TOP 3 25\" innerhalb von 20 s"},
        {RC_LOST_SYNC, true, {RC_NO_REPLY, "RETR 2", "", SessionLimit::ReplyTime}, 0, "zu langsam"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "RETR 2", "x", SessionLimit::ReplySize}, 0, "weit größer, als die Nachrichtenliste"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "QUIT", "+OK"}, 0, "Vor dem QUIT lagen Bytes an"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "LIST", "hello"}, 0, "unlesbar, abgeschnitten oder außer der Reihe"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "TOP 1 25", "", SessionLimit::HangUp}, 0, "mitten in der Antwort"},
        {RC_RECEIVE_TIMEOUT, true, {RC_ABORTED, "RETR 7", "", SessionLimit::Stop}, 0, "abgebrochen während \"RETR 7\""},
        {RC_QUIT_REFUSED, false, {RC_QUIT_REFUSED, "QUIT", "-ERR not now"}, 0, "QUIT ab"},
        {RC_QUIT_UNANSWERED, false, {RC_QUIT_UNANSWERED, "QUIT", "", SessionLimit::Wait}, 0, "ungewiss"},
        {RC_NOT_CONNECTED, false, {}, 0, "Verbindung getrennt"},
        {RC_NOT_THE_MESSAGE, false, {}, 0, "nicht die geprüfte"},
        {RC_TARGET_OPEN_FAILED, false, {}, 0, "Sicherungsdatei"},
        {RC_SOURCE_WRITE_FAILED, false, {}, 0, "Sicherungsdatei"},
        {RC_ABORTED, false, {}, 0, "abgebrochen"},
        {RC_BUFFER_TOO_SMALL, false, {RC_BUFFER_TOO_SMALL, "TOP 9 25", ""}, 0, "scheiterte auf \"TOP 9 25\""},
        // IMAP: what may have happened, and what came unasked.
        {RC_REMOVAL_UNCERTAIN, true, {RC_NOT_CONNECTED, "p6 UID MOVE 5 \"Junk\"", "* BYE"}, 0, "nicht beantwortet; ob er sie entfernt hat, ist ungewiss"},
        {RC_REMOVAL_UNCERTAIN, false, {RC_REMOVAL_UNCERTAIN, "p6 UID MOVE 5 \"Junk\"", "p6 OK verschoben"}, 0, "kein EXPUNGE"},
        {RC_NO_MESSAGE_DATA, false, {}, 0, "keine Daten"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "p6 UID MOVE 5 \"Junk\"", "", SessionLimit::EarlyBytes}, 0, "lagen Bytes an"},
        {RC_LOST_SYNC, true, {RC_LOST_SYNC, "p4 UID FETCH 5:6", "Daten zu einer UID", SessionLimit::Unasked}, 0, "nicht gefragt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        FailureFacts facts;
        facts.code = c.code;
        facts.lostSync = c.lostSync;
        facts.record = c.record;
        facts.errnoValue = c.errnoValue;
        facts.connected = c.code == RC_NO_CONNECTION;
        facts.host = "pop.example.org";
        facts.port = 110;
        facts.waitSeconds = 20;
        const std::string reason = FailureReason(facts);
        EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
        EXPECT_NE(reason.rfind("Fehler ", 0), 0u) << reason;
    }
    // A server's words reach the terminal without any control in them.
    FailureFacts hostile;
    hostile.code = RC_PASS_REFUSED;
    hostile.record = {RC_PASS_REFUSED, "PASS ********", "-ERR \x1b]0;owned\x07 \xc2\x9b" "31m"};
    const std::string reason = FailureReason(hostile);
    EXPECT_EQ(reason.find('\x1b'), std::string::npos) << reason;
    EXPECT_EQ(reason.find("\xc2\x9b"), std::string::npos) << reason;
}

TEST(FailureReason, TerminalSafeTextEscapesEveryControl) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain Grüße", "plain Grüße"},
        {"a\tb\r\n", "a\\tb\\r\\n"},
        {"\x1b[2J\x07", "\\x1b[2J\\x07"},
        {"\xc2\x9b" "1m \xc2\x85", "\\u009b1m \\u0085"},
        {"\x9b lone", "\\x9b lone"},
        {"\x7f", "\\x7f"},
        {"\xc3", "\\xc3"},
    };
    for (const auto &[text, shown] : cases) EXPECT_EQ(TerminalSafe(text), shown) << text;
}
