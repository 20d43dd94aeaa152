#include "FailureReason.h"

#include <cerrno>
#include <cstring>

#include "CUT_Pop3Session.h"
#include "DisplayText.h"

namespace {

std::string Address(const std::string &host, int port) {
    return host + ":" + std::to_string(port);
}

std::string ServerSaid(const CUT_Pop3Session &session) {
    const std::string reply = OneLine(session.LastReply());
    return reply.empty() ? std::string("(keine Begründung)") : "\"" + reply + "\"";
}

std::string LostStep(const CUT_Pop3Session &session, int waitSeconds) {
    const std::string closed = "; die Verbindung wurde ohne QUIT getrennt, nichts wurde gelöscht";
    if (session.StopRequested()) return "abgebrochen, der Server antwortete nicht" + closed;
    if (session.LostSyncCode() == RC_NO_REPLY)
        return "Zeitüberschreitung: keine vollständige Antwort des Servers innerhalb von " +
               std::to_string(waitSeconds) + " s" + closed;
    return "Die Antwort des Servers war unlesbar, abgeschnitten oder außer der Reihe" + closed;
}

}  // namespace

std::string OneLine(const std::string &text) {
    std::string line = DisplayText(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    // Cut at a character boundary.
    size_t characters = 0, at = 0;
    while (at < line.size() && characters < 300) {
        ++at;
        while (at < line.size() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) ++at;
        ++characters;
    }
    if (at < line.size()) line = line.substr(0, at) + "...";
    return line;
}

std::string FailureReason(ResultCode code, const CUT_Pop3Session &session, const std::string &host,
                          int port, int waitSeconds) {
    if (session.LostSync()) return LostStep(session, waitSeconds);
    switch (code) {
    case RC_HOST_NOT_FOUND:
    case RC_HOST_NOT_RESOLVED:
        return "Der Name \"" + OneLine(host) + "\" ließ sich nicht auflösen (" +
               OneLine(session.FailureDetail()) + ")";
    case RC_NO_CONNECTION:
    case RC_CONNECT_FAILED:
        if (session.DataSocket() == kNoSocket || session.FailureErrno() != 0) {
            switch (session.FailureErrno()) {
            case ECONNREFUSED:
                return Address(host, port) + " hat die Verbindung abgelehnt (kein POP3-Dienst an diesem Port)";
            case ETIMEDOUT:
                if (session.StopRequested()) return "abgebrochen beim Verbindungsaufbau zu " + Address(host, port);
                return "Zeitüberschreitung: " + Address(host, port) + " nahm die Verbindung nicht innerhalb von " +
                       std::to_string(waitSeconds) + " s an";
            case 0: break;
            default:
                return "Keine Verbindung zu " + Address(host, port) + ": " +
                       std::strerror(session.FailureErrno());
            }
        }
        // Connected, but the greeting was a refusal.
        return "Der Server begrüßte nicht mit +OK: " + ServerSaid(session);
    case RC_TLS_FAILED:
        return "Die TLS-Aushandlung mit " + Address(host, port) + " ist gescheitert: " +
               OneLine(session.FailureDetail());
    case RC_CERTIFICATE_REJECTED:
        return "Das Zertifikat des Servers wurde abgelehnt: " + OneLine(session.FailureDetail());
    case RC_STLS_REFUSED:
        return "Der Server bietet kein STLS an oder lehnte es ab; das Kennwort wurde nicht gesendet";
    case RC_USER_REFUSED: return "Der Server lehnte den Benutzernamen ab: " + ServerSaid(session);
    case RC_PASS_REFUSED: {
        std::string text = "Der Server lehnte die Anmeldung ab: " + ServerSaid(session);
        if (session.Mechanism() != "USER" && !session.Mechanism().empty())
            text += " (Verfahren " + session.Mechanism() + ")";
        // A refused token comes with the server's reason as a JSON text.
        if (!session.AuthServerError().empty()) text += "; Begründung: " + OneLine(session.AuthServerError());
        return text;
    }
    case RC_NO_MECHANISM: {
        std::string offered;
        for (const std::string &mechanism : session.SaslMechanisms()) offered += " " + mechanism;
        return "Kein Anmeldeverfahren, das beide Seiten kennen und das hier erlaubt ist (ohne TLS "
               "kein Kennwort im Klartext; der Server bietet:" +
               (offered.empty() ? std::string(" nichts") : offered) + ")";
    }
    case RC_QUIT_REFUSED:
        return "Der Server lehnte das QUIT ab, das die Löschungen bestätigt: " + ServerSaid(session);
    case RC_NOT_CONNECTED: return "Der Server hat die Verbindung getrennt";
    case RC_ERROR: return "Der Server lehnte ab: " + ServerSaid(session);
    default:
        if (code >= RC_RETR_REFUSED && code <= RC_RSET_REFUSED)
            return "Der Server lehnte ab: " + ServerSaid(session);
        return "Fehler " + std::to_string(code);
    }
}
