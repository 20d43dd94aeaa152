// SPDX-License-Identifier: GPL-3.0-or-later
#include "FailureReason.h"

#include <cerrno>
#include <cstring>

#include "DisplayText.h"
#include "TextHelpers.h"
#include "Translate.h"

namespace {

constexpr const char *kClosedWithoutQuitText =
    TrNoop("mailbox", "; die Verbindung wurde ohne QUIT getrennt, nichts wurde gelöscht");
constexpr const char *kClosedImap =
    TrNoop("mailbox", "; die Verbindung wurde getrennt, kein weiterer Befehl ging an den Server");

std::string Address(const FailureFacts &facts) {
    return facts.host + ":" + std::to_string(facts.port);
}

std::string Quoted(const std::string &text) { return "\"" + OneLine(text) + "\""; }

std::string ServerSaid(const FailureFacts &facts) {
    return facts.record.reply.empty() ? std::string(Tr("mailbox", "(keine Begründung)")) : Quoted(facts.record.reply);
}

// " auf \"RETR 3\"": the command whose reply it was, where one is known.
std::string ToCommand(const FailureFacts &facts) {
    return facts.record.command.empty() ? std::string()
                                        : Fill(Tr("mailbox", " auf %1"), {Quoted(facts.record.command)});
}

// "(zuletzt %1)" and the like: a part that is there only with a reply.
std::string WithReply(const FailureFacts &facts, const char *pattern, const std::string &reply) {
    return facts.record.reply.empty() ? std::string() : Fill(Tr("mailbox", pattern), {reply});
}

std::string TimeOut(const FailureFacts &facts) {
    if (facts.record.limit == SessionLimit::HangUp)
        return Fill(Tr("mailbox", "Der Server hat die Verbindung mitten in der Antwort%1 getrennt"),
                    {ToCommand(facts)});
    if (facts.record.limit == SessionLimit::ReplyTime)
        return Fill(Tr("mailbox",
                       "Zeitüberschreitung: keine vollständige Antwort des Servers%1 (die Antwort kam zu "
                       "langsam, um in der erlaubten Zeit fertig zu werden)"),
                    {ToCommand(facts)});
    return Fill(Tr("mailbox", "Zeitüberschreitung: keine vollständige Antwort des Servers%1 innerhalb von %2 s"),
                {ToCommand(facts), std::to_string(facts.waitSeconds)});
}

std::string LostStep(const FailureFacts &facts) {
    const std::string closed = Tr("mailbox", facts.imap ? kClosedImap : kClosedWithoutQuitText);
    switch (facts.record.code) {
    case RC_SERVER_UNPROVEN:
        return Tr("mailbox",
                  "Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige "
                  "Server-Signatur); womöglich gibt sich ein anderer als der Server aus") +
               closed;
    case RC_ABORTED:
        return (facts.record.command.empty()
                    ? std::string(Tr("mailbox", "abgebrochen"))
                    : Fill(Tr("mailbox", "abgebrochen während %1"), {Quoted(facts.record.command)})) +
               closed;
    case RC_NO_REPLY: return TimeOut(facts) + closed;
    default: break;
    }
    if (facts.stopRequested) return Tr("mailbox", "abgebrochen, der Server antwortete nicht") + closed;
    if (facts.record.limit == SessionLimit::EarlyBytes)
        return Fill(Tr("mailbox",
                       "Vor %1 lagen Bytes an, die keine Antwort auf einen Befehl waren; der Befehl "
                       "wurde nicht gesendet"),
                    {Quoted(facts.record.command)}) +
               closed;
    if (facts.record.limit == SessionLimit::Unasked)
        return Fill(Tr("mailbox", "Der Server schickte%1 Daten, nach denen nicht gefragt war%2"),
                    {ToCommand(facts), WithReply(facts, " (%1)", facts.record.reply)}) +
               closed;
    if (facts.record.limit == SessionLimit::ReplySize)
        return Fill(Tr("mailbox", "Die Antwort des Servers%1 war weit größer, als die Nachrichtenliste (LIST) angab"),
                    {ToCommand(facts)}) +
               closed;
    if (facts.record.limit == SessionLimit::HangUp)
        return Fill(Tr("mailbox", "Der Server hat die Verbindung mitten in der Antwort%1 getrennt"),
                    {ToCommand(facts)}) +
               closed;
    if (facts.record.command == "QUIT")
        return Fill(Tr("mailbox", "Vor dem QUIT lagen Bytes an, die keine Antwort auf einen Befehl waren%1"),
                    {WithReply(facts, " (%1)", Quoted(facts.record.reply))}) +
               closed;
    return Fill(Tr("mailbox", "Die Antwort des Servers%1 war unlesbar, abgeschnitten oder außer der Reihe%2"),
                {ToCommand(facts), WithReply(facts, TrNoop("mailbox", " (zuletzt %1)"), Quoted(facts.record.reply))}) +
           closed;
}

std::string ConnectFailed(const FailureFacts &facts) {
    if (!facts.connected || facts.errnoValue != 0) {
        switch (facts.errnoValue) {
        case ECONNREFUSED:
            return Fill(Tr("mailbox", "%1 hat die Verbindung abgelehnt (kein %2-Dienst an diesem Port)"),
                        {Address(facts), facts.imap ? "IMAP" : "POP3"});
        case ETIMEDOUT:
            if (facts.stopRequested)
                return Fill(Tr("mailbox", "abgebrochen beim Verbindungsaufbau zu %1"), {Address(facts)});
            return Fill(Tr("mailbox", "Zeitüberschreitung: %1 nahm die Verbindung nicht innerhalb von %2 s an"),
                        {Address(facts), std::to_string(facts.waitSeconds)});
        case 0:
            if (!facts.connected) return Fill(Tr("mailbox", "Keine Verbindung zu %1"), {Address(facts)});
            break;
        default:
            return Fill(Tr("mailbox", "Keine Verbindung zu %1: %2"), {Address(facts), std::strerror(facts.errnoValue)});
        }
    }
    // Connected, but the greeting was a refusal.
    return Fill(Tr("mailbox", "Der Server begrüßte nicht mit %1: %2"), {facts.imap ? "OK" : "+OK", ServerSaid(facts)});
}

}  // namespace

FailureFacts FailureFacts::From(ResultCode code, const CUT_MailSession &session, const std::string &lastReply,
                                bool imap, const std::string &host, int waitSeconds) {
    FailureFacts facts;
    facts.code = code;
    facts.imap = imap;
    facts.lostSync = session.LostSync();
    facts.record = session.Failure();
    // Nothing recorded (a failure before any command): the last line read.
    if (facts.record.code == RC_OK) facts.record = {code, "", lastReply};
    facts.stopRequested = session.StopRequested();
    facts.connected = session.DataSocket() != kNoSocket;
    facts.errnoValue = session.FailureErrno();
    facts.detail = session.FailureDetail();
    facts.fingerprint = session.PeerFingerprint();
    facts.pinMismatch = session.PinMismatch();
    facts.host = host;
    facts.port = session.Port();
    facts.waitSeconds = waitSeconds;
    facts.mechanism = session.Mechanism();
    facts.authServerError = session.AuthServerError();
    facts.saslMechanisms = session.SaslMechanisms();
    return facts;
}

// The longest description of a certificate: two names of up to 511
// characters, the dates, a reason and two fingerprints.
constexpr size_t kCertificateText = 1600;

std::string OneLine(const std::string &text, size_t most) {
    std::string line = TerminalSafe(DisplayText(text));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    // Cut at a character boundary.
    size_t characters = 0, at = 0;
    while (at < line.size() && characters < most) {
        ++at;
        while (at < line.size() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) ++at;
        ++characters;
    }
    if (at < line.size()) line = line.substr(0, at) + "...";
    return line;
}

std::string FailureReason(const FailureFacts &facts) {
    if (facts.code == RC_REMOVAL_UNCERTAIN) {
        const bool answered = !facts.lostSync && !facts.record.reply.empty();
        const std::string command =
            facts.record.command.empty() ? std::string(Tr("mailbox", "die Entfernung")) : Quoted(facts.record.command);
        return answered ? Fill(Tr("mailbox",
                                  "Der Server hat %1 mit %2 beendet, aber die Nachricht nicht als entfernt "
                                  "gemeldet (kein EXPUNGE); ob er sie entfernt hat, ist ungewiss; die "
                                  "Sicherung bleibt"),
                               {command, Quoted(facts.record.reply)})
                        : Fill(Tr("mailbox",
                                  "Der Server hat %1 nicht beantwortet; ob er sie entfernt hat, ist "
                                  "ungewiss; die Sicherung bleibt"),
                               {command});
    }
    if (facts.lostSync) return LostStep(facts);
    switch (facts.code) {
    case RC_HOST_NOT_FOUND:
    case RC_HOST_NOT_RESOLVED:
        return Fill(Tr("mailbox", "Der Name %1 ließ sich nicht auflösen (%2)"),
                    {Quoted(facts.host), OneLine(facts.detail)});
    case RC_NO_CONNECTION:
    case RC_CONNECT_FAILED:
    case RC_SOCKET_FAILED:
        return ConnectFailed(facts);
    case RC_TLS_FAILED:
        if (facts.errnoValue == ETIMEDOUT)
            return Fill(Tr("mailbox",
                           "Zeitüberschreitung: %1 hat die TLS-Aushandlung nicht innerhalb von %2 s "
                           "beantwortet"),
                        {Address(facts), std::to_string(facts.waitSeconds)});
        return Fill(Tr("mailbox", "Die TLS-Aushandlung mit %1 ist gescheitert: %2"),
                    {Address(facts), OneLine(facts.detail)});
    case RC_CERTIFICATE_REJECTED:
        // Whole: what a user judges a certificate by ends with its
        // fingerprint (the names in it are bounded where they are read).
        if (facts.pinMismatch)
            return Fill(Tr("mailbox",
                           "Das Zertifikat des Servers ist nicht das, dem dieses Konto vertraut (es hat "
                           "sich geändert): %1"),
                        {OneLine(facts.detail, kCertificateText)});
        // Who knows it to be the server's may trust it for the account.
        if (facts.fingerprint.empty())
            return Fill(Tr("mailbox", "Das Zertifikat des Servers wurde abgelehnt: %1"),
                        {OneLine(facts.detail, kCertificateText)});
        return Fill(Tr("mailbox",
                       "Das Zertifikat des Servers wurde abgelehnt: %1; wer es als das des Servers kennt, "
                       "kann ihm für das Konto vertrauen: pelloru --configure --account NAME "
                       "--trust-fingerprint %2"),
                    {OneLine(facts.detail, kCertificateText), facts.fingerprint});
    case RC_STLS_REFUSED:
        return Tr("mailbox", "Der Server bietet kein STLS an oder lehnte es ab; das Kennwort wurde nicht gesendet");
    case RC_USER_REFUSED: return Fill(Tr("mailbox", "Der Server lehnte den Benutzernamen ab: %1"), {ServerSaid(facts)});
    case RC_PASS_REFUSED: {
        std::string text = Fill(Tr("mailbox", "Der Server lehnte die Anmeldung ab: %1"), {ServerSaid(facts)});
        if (facts.mechanism != "USER" && !facts.mechanism.empty())
            text += Fill(Tr("mailbox", " (Verfahren %1)"), {facts.mechanism});
        // A refused token comes with the server's reason as a JSON text.
        if (!facts.authServerError.empty())
            text += Fill(Tr("mailbox", "; Begründung: %1"), {OneLine(facts.authServerError)});
        return text;
    }
    case RC_NO_MECHANISM: {
        std::string offered;
        for (const std::string &mechanism : facts.saslMechanisms) offered += " " + mechanism;
        return Fill(Tr("mailbox",
                       "Kein Anmeldeverfahren, das beide Seiten kennen und das hier erlaubt ist (ohne TLS "
                       "kein Kennwort im Klartext; der Server bietet:%1)"),
                    {offered.empty() ? std::string(Tr("mailbox", " nichts")) : offered});
    }
    case RC_UNSAFE_CREDENTIAL:
        return Tr("mailbox",
                  "Benutzername, Kennwort oder Zugriffstoken enthält einen Zeilenumbruch; nichts davon "
                  "wurde gesendet");
    case RC_SERVER_UNPROVEN:
        return Tr("mailbox",
                  "Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige "
                  "Server-Signatur)");
    case RC_QUIT_REFUSED:
        return Fill(Tr("mailbox", "Der Server lehnte das QUIT ab, das die Löschungen bestätigt: %1"),
                    {ServerSaid(facts)});
    case RC_QUIT_UNANSWERED:
        return Fill(Tr("mailbox",
                       "Der Server hat das QUIT, das die Löschungen bestätigt, nicht beantwortet%1; ob er "
                       "gelöscht hat, ist ungewiss"),
                    {WithReply(facts, TrNoop("mailbox", " (sondern %1)"), Quoted(facts.record.reply))});
    case RC_NOT_THE_MESSAGE:
        return Tr("mailbox",
                  "Die abgerufene Nachricht ist nicht die geprüfte oder nicht vollständig; sie wurde "
                  "nicht gelöscht");
    case RC_NOT_CONNECTED: return Tr("mailbox", "Der Server hat die Verbindung getrennt");
    case RC_NO_MESSAGE_DATA:
        return Fill(
            Tr("mailbox",
               "Der Server lieferte zu dieser Nachricht keine Daten%1 (womöglich hat ein anderes "
               "Programm sie eben entfernt)"),
            {WithReply(facts, TrNoop("mailbox", ", obwohl er den Abruf mit %1 beendete"), Quoted(facts.record.reply))});
    case RC_NO_REPLY:
    case RC_RECEIVE_TIMEOUT:
        return TimeOut(facts);
    case RC_ABORTED: return Tr("mailbox", "abgebrochen");
    case RC_BAD_REPLY:
        return Fill(Tr("mailbox", "Die Antwort des Servers%1 war unverständlich: %2"),
                    {ToCommand(facts), ServerSaid(facts)});
    case RC_TARGET_OPEN_FAILED:
    case RC_SOURCE_WRITE_FAILED:
        return Tr("mailbox", "Die Sicherungsdatei ließ sich nicht anlegen oder nicht vollständig schreiben");
    case RC_SEND_FAILED: return Tr("mailbox", "Ein Befehl ließ sich nicht an den Server senden");
    case RC_LOST_SYNC: return LostStep(facts);
    case RC_ERROR:
    case RC_RETR_REFUSED:
    case RC_LIST_REFUSED:
    case RC_STAT_REFUSED:
    case RC_TOP_REFUSED:
    case RC_UIDL_REFUSED:
    case RC_DELE_REFUSED:
    case RC_RSET_REFUSED:
        if (facts.record.command.empty()) return Fill(Tr("mailbox", "Der Server lehnte ab: %1"), {ServerSaid(facts)});
        return Fill(Tr("mailbox", "Der Server lehnte %1 ab: %2"), {Quoted(facts.record.command), ServerSaid(facts)});
    default:
        return Fill(Tr("mailbox", "Der Dialog mit dem Server scheiterte%1 (interner Code %2)"),
                    {ToCommand(facts), std::to_string(facts.code)});
    }
}
