// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_Pop3Session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CUT_FileSource.h"
#include "CUT_SaslClient.h"
#include "TextHelpers.h"

namespace {

// A status line is at most 512 bytes (RFC 1939); a longer one is read to
// its end up to this many bytes, so that its rest cannot pass for the next
// reply, and beyond that the conversation is not POP3.
constexpr long kStatusLineLimit = 64 * 1024;
// Every 4 KiB a reply brings grants it one more second.
constexpr long kBytesPerGraceSecond = 4096;
// Listings (CAPA, UIDL, LIST) are read through this buffer.
constexpr int kListingLineSize = CUT_Pop3Session::kReplySize;

bool HasPrefix(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The limits a reply can run into, as a failure record names them.

// A line as a failure record keeps it: without its line end, at most 200 bytes.
// Only the first line counts: a burst of commands is named by its first.
std::string RecordLine(const char *data, size_t length) {
    std::string line(data, length < 200 ? length : 200);
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) line.resize(end);
    return line;
}

}  // namespace

CUT_Pop3Session::CUT_Pop3Session() : CUT_MailSession(110) {}

CUT_Pop3Session::~CUT_Pop3Session() = default;

int CUT_Pop3Session::OnConnected(SocketHandle, const char *) {
    if (m_tlsMode == TLS_IMPLICIT) return OnError(StartTls());
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::StartTls() {
    // The certificate must name the host as the caller gave it.
    return CUT_WSClient::StartTls(m_host, m_caFile);
}

int CUT_Pop3Session::OnRetrieveProgress(long) { return !IsAborted(); }

ResultCode CUT_Pop3Session::LoseSync(ResultCode code, SessionLimit limit) {
    // No QUIT: whatever was marked for deletion stays on the server.
    if (!m_lostSync) {
        m_lostSyncCode = code;
        m_failure = {code, m_lastCommand, m_lastPiece,
                     limit != SessionLimit::None ? limit : m_limitHit};
    }
    m_lostSync = true;
    m_replySizeLimit = 0;
    m_queued.clear();
    m_outgoing.clear();
    m_queuedBytes = 0;
    if (DataSocket() != kNoSocket) CloseConnection();
    return OnError(code);
}

ResultCode CUT_Pop3Session::Refused(ResultCode code) {
    if (!m_lostSync) m_failure = {code, m_lastCommand, m_lastPiece};
    return OnError(code);
}

bool CUT_Pop3Session::SafeOnCommandLine(const std::string &text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void CUT_Pop3Session::Trace(bool sent, const char *data, size_t length) {
    if (!m_trace) return;
    size_t at = 0;
    while (at < length) {
        size_t end = at;
        while (end < length && data[end] != '\n') ++end;
        std::string line(data + at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // What authenticates stays out of any log.
        if (sent && line.size() >= 5 && EqualsNoCase(line.substr(0, 5).c_str(), "PASS ")) line = "PASS ********";
        m_trace((sent ? "> " : "< ") + line);
        at = end + 1;
    }
}

bool CUT_Pop3Session::SendCommand(const char *command) {
    const int length = static_cast<int>(std::strlen(command));
    Trace(true, command, static_cast<size_t>(length));
    m_lastCommand = RecordLine(command, static_cast<size_t>(length));
    if (EqualsNoCase(m_lastCommand.substr(0, 5).c_str(), "PASS ")) m_lastCommand = "PASS ********";
    if (SendAll(command, length) == length) return true;
    LoseSync();
    return false;
}

int CUT_Pop3Session::ReadReplyPiece(char *buffer, int size, int timeout) {
    m_limitHit = SessionLimit::None;
    const long long allowed =
        (m_replyLimitSeconds + m_replyBytes / kBytesPerGraceSecond) * 1000LL;
    const auto spentMs = [this] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_replyStart)
            .count();
    };
    if (spentMs() >= allowed) {
        m_limitHit = SessionLimit::ReplyTime;
        return 0;
    }
    // However fast it comes, a reply far beyond what LIST announced for
    // its message is no reply to this command.
    if (m_replySizeLimit > 0 && m_replyBytes > m_replySizeLimit) {
        m_limitHit = SessionLimit::ReplySize;
        return 0;
    }
    SetReadDeadline(static_cast<long>(allowed - spentMs()));
    int count = ReceiveLine(buffer, size, timeout);
    SetReadDeadline(0);
    // A piece that neither ends its line nor fills the buffer was cut short
    // by a wait that ran out, the reply's time bound or a hang-up: what
    // would follow it is late, and nothing of it may be taken.
    if (count > 0 && buffer[count - 1] != '\n' && count < size - 1) count = 0;
    if (count > 0) {
        m_replyBytes += count;
        m_lastPiece = RecordLine(buffer, static_cast<size_t>(count));
        Trace(false, buffer, static_cast<size_t>(count));
    } else {
        m_limitHit = StopRequested()                   ? SessionLimit::Stop
                     : spentMs() >= allowed            ? SessionLimit::ReplyTime
                     : PeekConnection() == kClosed     ? SessionLimit::HangUp
                                                       : SessionLimit::Wait;
    }
    return count;
}

CUT_Pop3Session::Status CUT_Pop3Session::ReadStatus(int timeout, bool continuation) {
    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    m_atLineStart = true;
    m_lastPiece.clear();
    const int count = ReadReplyPiece(m_reply, kReplySize, timeout);
    if (count <= 0) return Status::Silent;
    if (m_reply[count - 1] != '\n') {
        // The rest of an overlong status line belongs to this reply.
        char rest[kReplySize];
        long total = count;
        for (;;) {
            const int more = ReadReplyPiece(rest, sizeof rest, timeout);
            if (more <= 0) return Status::Silent;
            total += more;
            if (total > kStatusLineLimit) return Status::Garbled;
            if (rest[more - 1] == '\n') break;
        }
    }
    if (HasPrefix(m_reply, "+OK")) return Status::Positive;
    if (HasPrefix(m_reply, "-ERR")) return Status::Negative;
    // A SASL challenge: "+", a space and base64, during AUTH only.
    if (continuation && m_reply[0] == '+' &&
        (m_reply[1] == ' ' || m_reply[1] == '\r' || m_reply[1] == '\n'))
        return Status::Continue;
    return Status::Garbled;
}

bool CUT_Pop3Session::ReadPositiveReply(int timeout) {
    const Status status = ReadStatus(timeout);
    if (status == Status::Silent) LoseSync(RC_NO_REPLY);
    if (status == Status::Garbled) LoseSync();
    return status == Status::Positive;
}

int CUT_Pop3Session::ReadBodyPiece(char *buffer, int size) {
    const int count = ReadReplyPiece(buffer, size, m_receiveTimeout);
    if (count <= 0) {
        LoseSync(m_limitHit == SessionLimit::Wait || m_limitHit == SessionLimit::ReplyTime ? RC_NO_REPLY
                                                                           : RC_LOST_SYNC);
        return -1;
    }
    // The terminating line and dot-stuffing exist only at a line's start,
    // never in a piece that continues a longer line.
    m_pieceStartedLine = m_atLineStart;
    const bool complete = buffer[count - 1] == '\n';
    m_atLineStart = complete;
    // Only a lone dot ends a reply: ".\r\n", or ".\n" from a server that
    // sends bare LFs. A line that starts ".." is always data.
    if (m_pieceStartedLine && buffer[0] == '.' &&
        (count == 2 || (count == 3 && buffer[1] == '\r'))) {
        m_replySizeLimit = 0;
        return 0;
    }
    return count;
}

template <typename Take>
ResultCode CUT_Pop3Session::ReadListing(Take take) {
    ResultCode result = RC_OK;
    char line[kListingLineSize];
    for (;;) {
        if (IsAborted()) return LoseSync(RC_ABORTED);
        const int count = ReadBodyPiece(line, sizeof line);
        if (count < 0) return m_lostSyncCode;
        if (count == 0) return OnError(result);
        // A line too long for the buffer is no listing line.
        if (!m_pieceStartedLine || !m_atLineStart || !take(line)) result = RC_BAD_REPLY;
    }
}

ResultCode CUT_Pop3Session::OpenMailbox(const char *host, const char *user, const char *password) {
    CloseMailbox();
    m_lostSync = false;
    m_lostSyncCode = RC_OK;
    m_deletionsMarked = 0;
    m_capabilities.clear();

    m_failure = {};
    m_lastCommand.clear();
    m_lastPiece.clear();
    m_host = host != nullptr ? host : "";
    // A line break in a name or secret would end its command line early
    // and send the rest as a command of its own.
    if (!SafeOnCommandLine(user != nullptr ? user : "") ||
        !SafeOnCommandLine(password != nullptr ? password : "") || !SafeOnCommandLine(m_token))
        return Refused(RC_UNSAFE_CREDENTIAL);
    ResultCode result = Connect(m_port, host, m_connectTimeout, 2, 1);
    if (result != RC_OK) return OnError(result);

    if (!ReadPositiveReply(m_receiveTimeout)) return OnError(RC_NO_CONNECTION);

    if (m_tlsMode == TLS_STARTTLS) {
        // No password goes out unless the upgrade succeeded.
        if (!OffersStls()) return OnError(m_lostSync ? RC_LOST_SYNC : RC_STLS_REFUSED);
        if (!SendCommand("STLS\r\n") || !ReadPositiveReply(m_receiveTimeout))
            return OnError(m_lostSync ? RC_LOST_SYNC : RC_STLS_REFUSED);
        result = StartTls();
        if (result != RC_OK) return OnError(result);
        // What the server offers may change with the upgrade: ask again.
        m_capabilities.clear();
        OffersStls();
        if (m_lostSync) return OnError(RC_LOST_SYNC);
    }

    // What the server offers decides how to log on (known already after
    // STLS). A server without CAPA gets USER and PASS, as always.
    if (m_capabilities.empty()) FetchCapabilities();
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    EnableUtf8();
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    m_mechanism = ChooseMechanism();
    if (m_mechanism.empty()) return OnError(RC_NO_MECHANISM);
    if (m_mechanism == "USER")
        result = LogOnWithUserAndPass(user, password);
    else
        result = Authenticate(m_mechanism, user != nullptr ? user : "",
                              CUT_SaslClient::IsOAuth(m_mechanism) ? m_token
                                                                   : (password != nullptr ? password : ""));
    // Servers may offer more once logged on; the listing is asked again
    // unless it showed PIPELINING already.
    if (result == RC_OK && !HasCapability("PIPELINING")) m_capabilities.clear();
    return OnError(result);
}

std::string CUT_Pop3Session::ChooseMechanism() const {
    // A mechanism that shows the password (or token) to whoever reads the
    // line goes only over TLS, to this machine, or where the user chose
    // an address without a scheme.
    const bool clearAllowed = m_allowClear || TlsActive() || std::strncmp(AddressText(), "127.", 4) == 0;
    return PickMechanism(m_saslMechanisms, m_chosenMechanism, !m_token.empty(), clearAllowed);
}

std::string CUT_Pop3Session::PickMechanism(const std::vector<std::string> &offered,
                                           const std::string &named, bool haveToken,
                                           bool clearAllowed) {
    auto usable = [&](const std::string &mechanism) {
        return clearAllowed || !CUT_SaslClient::SendsPasswordInClear(mechanism);
    };
    if (!named.empty()) return usable(named) ? named : std::string();
    const std::string strongest = CUT_SaslClient::Strongest(offered, haveToken, clearAllowed);
    if (!strongest.empty()) return strongest;
    return !haveToken && usable("USER") ? "USER" : std::string();
}

ResultCode CUT_Pop3Session::SetAuthentication(const std::string &mechanism, bool allowClear,
                                              const std::string &token) {
    return KeepAuthentication(MechanismName(mechanism), "USER", allowClear, token);
}

void CUT_Pop3Session::SendSecret(const std::string &line, const std::string &shown) {
    Trace(true, shown.data(), shown.size());
    m_lastCommand = shown;
    const std::string whole = line + "\r\n";
    if (SendAll(whole.data(), static_cast<int>(whole.size())) != static_cast<int>(whole.size()))
        LoseSync();
}

ResultCode CUT_Pop3Session::Authenticate(const std::string &mechanism, const std::string &user,
                                         const std::string &secret) {
    SaslProtocol protocol;
    protocol.start = [&](std::string *initial) {
        const std::string command = "AUTH " + mechanism;
        // An initial response goes with the command when the line stays
        // within 255 octets; else after the server's first "+".
        if (initial != nullptr && command.size() + 1 + (initial->empty() ? 1 : initial->size()) + 2 <= 255) {
            SendSecret(command + " " + (initial->empty() ? std::string("=") : *initial), command + " ********");
            initial->clear();
        } else {
            SendSecret(command, command);
        }
        return !m_lostSync;
    };
    protocol.read = [&] {
        SaslReply reply;
        switch (ReadStatus(m_receiveTimeout, true)) {
        case Status::Positive: reply.kind = SaslReply::Ok; break;
        case Status::Negative: reply.kind = SaslReply::No; break;
        case Status::Continue: {
            reply.kind = SaslReply::Challenge;
            std::string challenge = m_reply + 1;
            StripLineEnd(&challenge[0]);
            reply.challenge = challenge.c_str();
            while (!reply.challenge.empty() && reply.challenge.front() == ' ') reply.challenge.erase(0, 1);
            break;
        }
        case Status::Silent: reply.code = LoseSync(RC_NO_REPLY); break;
        default: reply.code = LoseSync(RC_LOST_SYNC); break;
        }
        return reply;
    };
    protocol.send = [&](const std::string &line, const std::string &shown) { SendSecret(line, shown); };
    protocol.refused = [&] { return Refused(RC_PASS_REFUSED); };
    protocol.lose = [&](ResultCode code) { return LoseSync(code); };
    return SaslExchange(mechanism, user, secret, protocol);
}

ResultCode CUT_Pop3Session::LogOnWithUserAndPass(const char *user, const char *password) {
    if (HasCapability("PIPELINING")) {
        // Known to pipeline: both lines in one write, one
        // round trip; a refused USER still has its PASS answered.
        const std::string lines = std::string("USER ") + (user != nullptr ? user : "") +
                                  "\r\nPASS " + (password != nullptr ? password : "") + "\r\n";
        if (!SendCommand(lines.c_str())) return OnError(RC_USER_REFUSED);
        const bool userTaken = ReadPositiveReply(m_receiveTimeout);
        if (m_lostSync) return OnError(RC_USER_REFUSED);
        if (!userTaken) Refused(RC_USER_REFUSED);
        m_lastCommand = "PASS ********";
        const bool passTaken = ReadPositiveReply(m_receiveTimeout);
        if (!userTaken) return OnError(RC_USER_REFUSED);
        return passTaken ? OnError(RC_OK) : Refused(RC_PASS_REFUSED);
    }

    const std::string userLine = std::string("USER ") + (user != nullptr ? user : "");
    Trace(true, userLine.data(), userLine.size());
    m_lastCommand = userLine;
    Send("USER ", -1);
    Send(user != nullptr ? user : "", -1);
    Send("\r\n", -1);
    if (!ReadPositiveReply(m_receiveTimeout)) return Refused(RC_USER_REFUSED);

    if (IsAborted()) return OnError(RC_ABORTED);

    Trace(true, "PASS \r\n", 7);
    m_lastCommand = "PASS ********";
    Send("PASS ", -1);
    Send(password != nullptr ? password : "", -1);
    Send("\r\n", -1);
    if (!ReadPositiveReply(m_receiveTimeout)) return Refused(RC_PASS_REFUSED);
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::FetchCapabilities() {
    m_capabilities.clear();
    m_saslMechanisms.clear();
    const ResultCode ready = ReadyForCommand();
    if (ready != RC_OK) return ready;
    if (!SendCommand("CAPA\r\n")) return RC_LOST_SYNC;
    const Status status = ReadStatus(m_receiveTimeout);
    if (status == Status::Negative) return OnError(RC_ERROR);
    if (status != Status::Positive) return LoseSync(status == Status::Silent ? RC_NO_REPLY
                                                                                : RC_LOST_SYNC);
    return ReadListing([this](const char *line) {
        char word[64];
        // A handful is what servers list; more is no POP3 server talking.
        if (m_capabilities.size() >= 256) return false;
        if (ExtractToken(line, " \r\n", 0, word, sizeof word) == 0) m_capabilities.push_back(word);
        if (EqualsNoCase(word, "SASL")) {
            for (int i = 1; i < 32 && ExtractToken(line, " \r\n", i, word, sizeof word) == 0; ++i)
                m_saslMechanisms.push_back(word);
        }
        return true;
    });
}

void CUT_Pop3Session::EnableUtf8() {
    if (!HasCapability("UTF8") || ReadyForCommand() != RC_OK || !SendCommand("UTF8\r\n")) return;
    // A refusal keeps the session as it was.
    const Status status = ReadStatus(m_receiveTimeout);
    if (status == Status::Silent) LoseSync(RC_NO_REPLY);
    if (status == Status::Garbled || status == Status::Continue) LoseSync();
}

bool CUT_Pop3Session::OffersStls() {
    return FetchCapabilities() == RC_OK && HasCapability("STLS");
}

ResultCode CUT_Pop3Session::CloseMailbox() {
    // Replies still owed to queued commands would answer QUIT.
    if (!m_queued.empty()) LoseSync();
    if (m_lostSync) {
        CloseConnection();
        return OnError(RC_LOST_SYNC);
    }
    if (DataSocket() == kNoSocket) return CloseConnection();
    // Without marked deletions the answer changes nothing; with them it
    // tells whether the server committed them.
    const bool commits = m_deletionsMarked > 0;
    switch (PeekConnection()) {
    case kDataWaiting:
        // Bytes that no command asked for would be taken as the answer.
        m_lastCommand = "QUIT";
        return LoseSync();
    case kClosed:
        CloseConnection();
        return commits ? Refused(RC_NOT_CONNECTED) : OnError(RC_OK);
    case kIdle: break;
    }
    Trace(true, "Quit", 4);
    m_lastCommand = "QUIT";
    const int sent = Send("Quit\r\n", -1);
    ResultCode result = RC_OK;
    if (commits) {
        const Status status = sent > 0 ? ReadStatus(m_receiveTimeout) : Status::Silent;
        if (sent <= 0)
            result = RC_NOT_CONNECTED;  // QUIT never left: nothing was committed
        else if (status == Status::Negative)
            result = RC_QUIT_REFUSED;
        else if (status != Status::Positive)
            // QUIT reached the server, and what it did cannot be known.
            result = RC_QUIT_UNANSWERED;
        if (result != RC_OK)
            m_failure = {result, m_lastCommand, m_lastPiece,
                         status == Status::Silent ? m_limitHit : SessionLimit::None};
    }
    m_deletionsMarked = 0;
    // Once QUIT is answered the server has acted; how the connection then
    // closes (a TLS peer that leaves without close_notify) changes nothing.
    CloseConnection();
    return OnError(result);
}

ResultCode CUT_Pop3Session::ReadyForCommand() {
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (!m_queued.empty()) return OnError(RC_ERROR);
    switch (PeekConnection()) {
    case kClosed: return OnError(RC_NOT_CONNECTED);
    case kDataWaiting: return LoseSync();
    case kIdle: break;
    }
    return RC_OK;
}

ResultCode CUT_Pop3Session::SimpleCommand(const char *command, ResultCode refusal) {
    if (!m_queued.empty() && !m_lostSync) {
        // Replies come in the order of the commands: this one must be the
        // oldest queued, or its reply would be taken for another's.
        const std::string expected = m_queued.front().Text();
        if (expected != command) return LoseSync(RC_ERROR);
        if (!m_outgoing.empty()) {
            std::string out;
            out.swap(m_outgoing);
            if (!SendCommand(out.c_str())) return RC_LOST_SYNC;
        }
        m_queuedBytes -= static_cast<int>(expected.size());
        m_lastCommand = RecordLine(expected.data(), expected.size());
        m_queued.pop_front();
    } else {
        const ResultCode ready = ReadyForCommand();
        if (ready != RC_OK) return ready;
        if (!SendCommand(command)) return RC_LOST_SYNC;
    }
    switch (ReadStatus(m_receiveTimeout)) {
    case Status::Positive: return RC_OK;
    case Status::Negative: return Refused(refusal);
    case Status::Silent: return LoseSync(RC_NO_REPLY);
    case Status::Garbled:
    case Status::Continue: break;
    }
    return LoseSync();
}

ResultCode CUT_Pop3Session::NumberFromReply(const char *separators, int index, long *out) {
    StripLineEnd(m_reply);
    char token[261];
    if (ExtractToken(m_reply, separators, index, token, sizeof token) != 0)
        return OnError(RC_BAD_REPLY);
    if (out != nullptr) *out = ParseDecimal(token);
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::GetMessageCount(long *count) {
    ResultCode result = SimpleCommand("STAT\r\n", RC_STAT_REFUSED);
    if (result != RC_OK) return result;
    return NumberFromReply(" ", 1, count);
}

ResultCode CUT_Pop3Session::GetMessageSize(int messageNumber, long *size) {
    char command[32];
    std::snprintf(command, sizeof command, "LIST %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_LIST_REFUSED);
    if (result != RC_OK) return result;
    return NumberFromReply(" ()", 2, size);
}

ResultCode CUT_Pop3Session::FetchMessageSizes() {
    m_sizes.clear();
    ResultCode result = SimpleCommand("LIST\r\n", RC_LIST_REFUSED);
    if (result != RC_OK) return result;
    return ReadListing([this](const char *line) {
        long number = 0, size = 0;
        if (ExtractTokenNumber(line, " \r\n", 0, &number) != 0 ||
            ExtractTokenNumber(line, " \r\n", 1, &size) != 0 || number < 1 || number > INT32_MAX ||
            size < 0 || m_sizes.size() >= kMaxListing)
            return false;
        m_sizes.push_back({static_cast<int>(number), size});
        return true;
    });
}

ResultCode CUT_Pop3Session::RetrieveToSource(int messageNumber, CUT_ByteSource &source) {
    const ResultCode ready = ReadyForCommand();
    if (ready != RC_OK) return ready;
    // The target is opened before anything is sent.
    if (source.Open(OpenMode::Write) == -1) return OnError(RC_TARGET_OPEN_FAILED);
    std::snprintf(m_reply, sizeof m_reply, "RETR %d\r\n", messageNumber);
    if (!SendCommand(m_reply)) {
        source.Close();
        return RC_LOST_SYNC;
    }
    m_announcedOctets = -1;
    const Status status = ReadStatus(m_receiveTimeout);
    if (status != Status::Positive) {
        source.Close();
        if (status == Status::Negative) return Refused(RC_RETR_REFUSED);
        return LoseSync(status == Status::Silent ? RC_NO_REPLY : RC_LOST_SYNC);
    }
    // "+OK 1234 octets": the size the server gives the message it sends.
    char octets[32];
    if (ExtractToken(m_reply, " \r\n", 1, octets, sizeof octets) == 0 && octets[0] >= '0' &&
        octets[0] <= '9' && std::strspn(octets, "0123456789") == std::strlen(octets) &&
        std::strlen(octets) < 16)
        m_announcedOctets = ParseDecimal(octets);

    ResultCode result = RC_OK;
    if (IsAborted()) {
        // The message is still on the connection.
        result = LoseSync(RC_ABORTED);
    } else {
        long total = 0;
        for (;;) {
            const int count = ReadBodyPiece(m_reply, kRetrieveLineSize);
            if (count < 0) {
                result = RC_RECEIVE_TIMEOUT;
                break;
            }
            total += count == 0 ? 3 : count;
            if (count == 0) break;  // the terminating line
            // A stop ends a retrieval at once, however long the message:
            // the rest is still on the connection, so the step is lost.
            if (StopRequested()) {
                result = LoseSync(RC_ABORTED, SessionLimit::Stop);
                break;
            }
            if (OnRetrieveProgress(total) != 1) {
                result = LoseSync(RC_ABORTED);
                break;
            }
            // Dot-stuffing undone, only where a line begins.
            const bool stuffed = PieceStartedLine() && m_reply[0] == '.';
            const int length = stuffed ? count - 1 : count;
            // After a failed write the rest is still read, to keep the step.
            if (result == RC_OK && source.Write(m_reply + (stuffed ? 1 : 0), length) != length)
                result = RC_SOURCE_WRITE_FAILED;
            if (IsAborted()) {
                result = LoseSync(RC_ABORTED);
                break;
            }
        }
    }
    source.Close();
    return OnError(result);
}

ResultCode CUT_Pop3Session::RetrieveToFile(int messageNumber, const char *fileName) {
    if (fileName == nullptr || *fileName == '\0') return OnError(RC_TARGET_OPEN_FAILED);
    CUT_FileSource file(fileName, 4096);
    return RetrieveToSource(messageNumber, file);
}

ResultCode CUT_Pop3Session::BeginRetrieve(int messageNumber) {
    char command[32];
    std::snprintf(command, sizeof command, "RETR %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_RETR_REFUSED);
    if (result != RC_OK) return result;
    m_retrieveOpen = 1;
    m_retrieveEnded = 0;
    return OnError(RC_OK);
}

int CUT_Pop3Session::ReadOpenReplyLine(int &open, int &ended, char *buffer, int size) {
    if (!open) return -1;
    if (m_lostSync || ended) return 0;
    const int count = ReadBodyPiece(buffer, size);
    if (count == 0) ended = 1;
    return count < 0 ? 0 : count;
}

ResultCode CUT_Pop3Session::DrainOpenReply(int &open, int &ended) {
    if (!open) return OnError(RC_OK);
    if (m_lostSync) {
        open = 0;
        ended = 0;
        return OnError(RC_LOST_SYNC);
    }
    if (!IsConnected() && !ended) return OnError(RC_NOT_CONNECTED);
    ResultCode result = RC_OK;
    if (!ended) {
        for (;;) {
            if (IsAborted()) {
                // The rest of the reply is still on the connection.
                result = LoseSync(RC_ABORTED);
                break;
            }
            const int count = ReadBodyPiece(m_reply, kReplySize);
            if (count < 0) {
                result = RC_LOST_SYNC;
                break;
            }
            if (count == 0) break;
        }
    }
    open = 0;
    ended = 0;
    return OnError(result);
}

int CUT_Pop3Session::ReadRetrieveLine(char *buffer, int size) {
    return ReadOpenReplyLine(m_retrieveOpen, m_retrieveEnded, buffer, size);
}

ResultCode CUT_Pop3Session::EndRetrieve() { return DrainOpenReply(m_retrieveOpen, m_retrieveEnded); }

ResultCode CUT_Pop3Session::FetchUniqueIds(int messageNumber) {
    m_uniqueIds.clear();
    if (messageNumber >= 1)
        std::snprintf(m_reply, sizeof m_reply, "UIDL %d\r\n", messageNumber);
    else
        std::snprintf(m_reply, sizeof m_reply, "UIDL\r\n");
    ResultCode result = SimpleCommand(m_reply, RC_UIDL_REFUSED);
    if (result != RC_OK) return result;

    // An id has at most 70 characters.
    char text[kUniqueIdSize];
    if (messageNumber >= 1) {
        if (ExtractToken(m_reply, " \r\n", 2, text, sizeof text) != 0) return OnError(RC_BAD_REPLY);
        m_uniqueIds.push_back({messageNumber, text});
        return OnError(RC_OK);
    }
    // After a line that does not parse, the entries before it stay and the
    // rest of the listing is read but not kept.
    bool failed = false;
    return ReadListing([&](const char *line) {
        long number = 0;
        if (failed || m_uniqueIds.size() >= kMaxListing ||
            ExtractTokenNumber(line, " \r\n", 0, &number) != 0 ||
            ExtractToken(line, " \r\n", 1, text, sizeof text) != 0) {
            failed = true;
            return false;
        }
        m_uniqueIds.push_back({static_cast<int>(number), text});
        return true;
    });
}

const char *CUT_Pop3Session::FindUniqueId(int messageNumber) {
    for (const UniqueIdEntry &entry : m_uniqueIds)
        if (entry.messageNumber == messageNumber) return entry.uniqueId.c_str();
    return nullptr;
}

std::string Pop3Request::Text() const {
    char command[48];
    switch (kind) {
    case Stat: return "STAT\r\n";
    case List: return "LIST\r\n";
    case Uidl: return "UIDL\r\n";
    case Top: std::snprintf(command, sizeof command, "TOP %d %d\r\n", messageNumber, lineCount); break;
    }
    return command;
}

ResultCode CUT_Pop3Session::QueueCommand(const Pop3Request &request) {
    if (m_queued.empty()) {
        const ResultCode ready = ReadyForCommand();
        if (ready != RC_OK) return ready;
    } else if (m_lostSync) {
        return OnError(RC_LOST_SYNC);
    }
    // A burst of commands goes out whole, not held back for an ACK.
    if (m_queued.empty()) SetNoDelay(true);
    const std::string command = request.Text();
    const int length = static_cast<int>(command.size());
    if (!m_queued.empty() && m_queuedBytes + length > PipelineByteLimit())
        return OnError(RC_BUFFER_TOO_SMALL);
    m_outgoing += command;
    m_queued.push_back(request);
    m_queuedBytes += length;
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::SendQueued() {
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (m_outgoing.empty()) return OnError(RC_OK);
    std::string out;
    out.swap(m_outgoing);
    return SendCommand(out.c_str()) ? OnError(RC_OK) : RC_LOST_SYNC;
}

int CUT_Pop3Session::PipelineByteLimit() {
    // Linux reports twice the buffer it grants; half of the figure is safe
    // everywhere, and a few commands always fit.
    const int half = SendBufferBytes() / 2;
    return half > 256 ? half : 256;
}

ResultCode CUT_Pop3Session::BeginTop(int messageNumber, int lineCount) {
    char command[48];
    std::snprintf(command, sizeof command, "TOP %d %d\r\n", messageNumber, lineCount);
    ResultCode result = SimpleCommand(command, RC_TOP_REFUSED);
    if (result != RC_OK) return result;
    m_topOpen = 1;
    m_topEnded = 0;
    return OnError(RC_OK);
}

int CUT_Pop3Session::ReadMessageLine(char *buffer, int size) {
    return ReadOpenReplyLine(m_topOpen, m_topEnded, buffer, size);
}

ResultCode CUT_Pop3Session::EndTop() { return DrainOpenReply(m_topOpen, m_topEnded); }

ResultCode CUT_Pop3Session::DeleteMessage(int messageNumber) {
    char command[32];
    std::snprintf(command, sizeof command, "DELE %d\r\n", messageNumber);
    ResultCode result = SimpleCommand(command, RC_DELE_REFUSED);
    if (result != RC_OK) return result;
    ++m_deletionsMarked;
    return OnError(RC_OK);
}

ResultCode CUT_Pop3Session::ResetDeletions() {
    ResultCode result = SimpleCommand("RSET\r\n", RC_RSET_REFUSED);
    if (result != RC_OK) return result;
    m_deletionsMarked = 0;
    return OnError(RC_OK);
}
