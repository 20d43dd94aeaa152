// SPDX-License-Identifier: GPL-3.0-or-later
#include "FailureReason.h"

#include <cerrno>
#include <cstring>

#include "DisplayText.h"
#include "TextHelpers.h"

namespace {

constexpr const char *kClosedWithoutQuitText =
    "; die Verbindung wurde ohne QUIT getrennt, nichts wurde gelöscht";
constexpr const char *kClosedImap = "; die Verbindung wurde getrennt, kein weiterer Befehl ging an den Server";

std::string Address(const FailureFacts &facts) {
    return facts.host + ":" + std::to_string(facts.port);
}

std::string Quoted(const std::string &text) { return "\"" + OneLine(text) + "\""; }

std::string ServerSaid(const FailureFacts &facts) {
    return facts.record.reply.empty() ? std::string("(keine Begründung)") : Quoted(facts.record.reply);
}

// " auf \"RETR 3\"": the command whose reply it was, where one is known.
std::string ToCommand(const FailureFacts &facts) {
    return facts.record.command.empty() ? std::string() : " auf " + Quoted(facts.record.command);
}

std::string TimeOut(const FailureFacts &facts) {
    std::string text = "Zeitüberschreitung: keine vollständige Antwort des Servers" + ToCommand(facts);
    if (facts.record.limit == SessionLimit::ReplyTime)
        text += " (die Antwort kam zu langsam, um in der erlaubten Zeit fertig zu werden)";
    else if (facts.record.limit == SessionLimit::HangUp)
        return "Der Server hat die Verbindung mitten in der Antwort" + ToCommand(facts) + " getrennt";
    else
        text += " innerhalb von " + std::to_string(facts.waitSeconds) + " s";
    return text;
}

std::string LostStep(const FailureFacts &facts) {
    const char *kClosedWithoutQuit = facts.imap ? kClosedImap : kClosedWithoutQuitText;
    switch (facts.record.code) {
    case RC_SERVER_UNPROVEN:
        return "Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige "
               "Server-Signatur); womöglich gibt sich ein anderer als der Server aus" +
               std::string(kClosedWithoutQuit);
    case RC_ABORTED:
        return "abgebrochen" + (facts.record.command.empty() ? std::string() : " während " + Quoted(facts.record.command)) +
               kClosedWithoutQuit;
    case RC_NO_REPLY: return TimeOut(facts) + kClosedWithoutQuit;
    default: break;
    }
    if (facts.stopRequested) return "abgebrochen, der Server antwortete nicht" + std::string(kClosedWithoutQuit);
    if (facts.record.limit == SessionLimit::EarlyBytes)
        return "Vor " + Quoted(facts.record.command) +
               " lagen Bytes an, die keine Antwort auf einen Befehl waren; der Befehl wurde nicht gesendet" +
               kClosedWithoutQuit;
    if (facts.record.limit == SessionLimit::Unasked)
        return "Der Server schickte" + ToCommand(facts) + " Daten, nach denen nicht gefragt war" +
               (facts.record.reply.empty() ? std::string() : " (" + facts.record.reply + ")") + kClosedWithoutQuit;
    if (facts.record.limit == SessionLimit::ReplySize)
        return "Die Antwort des Servers" + ToCommand(facts) +
               " war weit größer, als die Nachrichtenliste (LIST) angab" + kClosedWithoutQuit;
    if (facts.record.limit == SessionLimit::HangUp)
        return "Der Server hat die Verbindung mitten in der Antwort" + ToCommand(facts) + " getrennt" +
               kClosedWithoutQuit;
    if (facts.record.command == "QUIT")
        return "Vor dem QUIT lagen Bytes an, die keine Antwort auf einen Befehl waren" +
               (facts.record.reply.empty() ? std::string() : " (" + Quoted(facts.record.reply) + ")") +
               kClosedWithoutQuit;
    return "Die Antwort des Servers" + ToCommand(facts) +
           " war unlesbar, abgeschnitten oder außer der Reihe" +
           (facts.record.reply.empty() ? std::string() : " (zuletzt " + Quoted(facts.record.reply) + ")") +
           kClosedWithoutQuit;
}

std::string ConnectFailed(const FailureFacts &facts) {
    if (!facts.connected || facts.errnoValue != 0) {
        switch (facts.errnoValue) {
        case ECONNREFUSED:
            return Address(facts) + " hat die Verbindung abgelehnt (kein " + std::string(facts.imap ? "IMAP" : "POP3") + "-Dienst an diesem Port)";
        case ETIMEDOUT:
            if (facts.stopRequested) return "abgebrochen beim Verbindungsaufbau zu " + Address(facts);
            return "Zeitüberschreitung: " + Address(facts) + " nahm die Verbindung nicht innerhalb von " +
                   std::to_string(facts.waitSeconds) + " s an";
        case 0:
            if (!facts.connected) return "Keine Verbindung zu " + Address(facts);
            break;
        default: return "Keine Verbindung zu " + Address(facts) + ": " + std::strerror(facts.errnoValue);
        }
    }
    // Connected, but the greeting was a refusal.
    return std::string(facts.imap ? "Der Server begrüßte nicht mit OK: " : "Der Server begrüßte nicht mit +OK: ") + ServerSaid(facts);
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
        return "Der Server hat " + (facts.record.command.empty() ? std::string("die Entfernung") : Quoted(facts.record.command)) +
               (answered ? " mit " + Quoted(facts.record.reply) + " beendet, aber die Nachricht nicht als entfernt gemeldet (kein EXPUNGE)"
                         : " nicht beantwortet") +
               "; ob er sie entfernt hat, ist ungewiss; die Sicherung bleibt";
    }
    if (facts.lostSync) return LostStep(facts);
    switch (facts.code) {
    case RC_HOST_NOT_FOUND:
    case RC_HOST_NOT_RESOLVED:
        return "Der Name " + Quoted(facts.host) + " ließ sich nicht auflösen (" + OneLine(facts.detail) + ")";
    case RC_NO_CONNECTION:
    case RC_CONNECT_FAILED:
    case RC_SOCKET_FAILED:
        return ConnectFailed(facts);
    case RC_TLS_FAILED:
        if (facts.errnoValue == ETIMEDOUT)
            return "Zeitüberschreitung: " + Address(facts) + " hat die TLS-Aushandlung nicht innerhalb von " +
                   std::to_string(facts.waitSeconds) + " s beantwortet";
        return "Die TLS-Aushandlung mit " + Address(facts) + " ist gescheitert: " + OneLine(facts.detail);
    case RC_CERTIFICATE_REJECTED:
        // Whole: what a user judges a certificate by ends with its
        // fingerprint (the names in it are bounded where they are read).
        if (facts.pinMismatch)
            return "Das Zertifikat des Servers ist nicht das, dem dieses Konto vertraut (es hat sich geändert): " +
                   OneLine(facts.detail, kCertificateText);
        // Who knows it to be the server's may trust it for the account.
        return "Das Zertifikat des Servers wurde abgelehnt: " + OneLine(facts.detail, kCertificateText) +
               (facts.fingerprint.empty() ? std::string()
                                          : "; wer es als das des Servers kennt, kann ihm für das Konto vertrauen: "
                                            "pelloru --configure --account NAME --trust-fingerprint " +
                                                facts.fingerprint);
    case RC_STLS_REFUSED:
        return "Der Server bietet kein STLS an oder lehnte es ab; das Kennwort wurde nicht gesendet";
    case RC_USER_REFUSED: return "Der Server lehnte den Benutzernamen ab: " + ServerSaid(facts);
    case RC_PASS_REFUSED: {
        std::string text = "Der Server lehnte die Anmeldung ab: " + ServerSaid(facts);
        if (facts.mechanism != "USER" && !facts.mechanism.empty())
            text += " (Verfahren " + facts.mechanism + ")";
        // A refused token comes with the server's reason as a JSON text.
        if (!facts.authServerError.empty()) text += "; Begründung: " + OneLine(facts.authServerError);
        return text;
    }
    case RC_NO_MECHANISM: {
        std::string offered;
        for (const std::string &mechanism : facts.saslMechanisms) offered += " " + mechanism;
        return "Kein Anmeldeverfahren, das beide Seiten kennen und das hier erlaubt ist (ohne TLS "
               "kein Kennwort im Klartext; der Server bietet:" +
               (offered.empty() ? std::string(" nichts") : offered) + ")";
    }
    case RC_UNSAFE_CREDENTIAL:
        return "Benutzername, Kennwort oder Zugriffstoken enthält einen Zeilenumbruch; nichts davon "
               "wurde gesendet";
    case RC_SERVER_UNPROVEN:
        return "Der Server hat nicht bewiesen, dass er das Kennwort kennt (SCRAM ohne gültige "
               "Server-Signatur)";
    case RC_QUIT_REFUSED:
        return "Der Server lehnte das QUIT ab, das die Löschungen bestätigt: " + ServerSaid(facts);
    case RC_QUIT_UNANSWERED:
        return "Der Server hat das QUIT, das die Löschungen bestätigt, nicht beantwortet" +
               (facts.record.reply.empty() ? std::string() : " (sondern " + Quoted(facts.record.reply) + ")") +
               "; ob er gelöscht hat, ist ungewiss";
    case RC_NOT_THE_MESSAGE:
        return "Die abgerufene Nachricht ist nicht die geprüfte oder nicht vollständig; sie wurde "
               "nicht gelöscht";
    case RC_NOT_CONNECTED: return "Der Server hat die Verbindung getrennt";
    case RC_NO_MESSAGE_DATA:
        return "Der Server lieferte zu dieser Nachricht keine Daten" +
               (facts.record.reply.empty() ? std::string() : ", obwohl er den Abruf mit " + Quoted(facts.record.reply) + " beendete") +
               " (womöglich hat ein anderes Programm sie eben entfernt)";
    case RC_NO_REPLY:
    case RC_RECEIVE_TIMEOUT:
        return TimeOut(facts);
    case RC_ABORTED: return "abgebrochen";
    case RC_BAD_REPLY:
        return "Die Antwort des Servers" + ToCommand(facts) + " war unverständlich: " + ServerSaid(facts);
    case RC_TARGET_OPEN_FAILED:
    case RC_SOURCE_WRITE_FAILED:
        return "Die Sicherungsdatei ließ sich nicht anlegen oder nicht vollständig schreiben";
    case RC_SEND_FAILED: return "Ein Befehl ließ sich nicht an den Server senden";
    case RC_LOST_SYNC: return LostStep(facts);
    case RC_ERROR:
    case RC_RETR_REFUSED:
    case RC_LIST_REFUSED:
    case RC_STAT_REFUSED:
    case RC_TOP_REFUSED:
    case RC_UIDL_REFUSED:
    case RC_DELE_REFUSED:
    case RC_RSET_REFUSED:
        return "Der Server lehnte" + (facts.record.command.empty() ? std::string(" ab") : " " + Quoted(facts.record.command) + " ab") +
               ": " + ServerSaid(facts);
    default:
        return "Der Dialog mit dem Server scheiterte" + ToCommand(facts) + " (interner Code " +
               std::to_string(facts.code) + ")";
    }
}
