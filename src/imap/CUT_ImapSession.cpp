// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_ImapSession.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "CUT_ByteSource.h"
#include "CUT_SaslClient.h"
#include "MailboxName.h"
#include "TextHelpers.h"
#include "Translate.h"

namespace {

// Every 4 KiB a response brings grants it one more second.
constexpr long kBytesPerGraceSecond = 4096;
constexpr int kPieceSize = 16 * 1024;

// Untagged responses a reply may bring beyond one per message asked (flag
// changes, new mail, alerts).
constexpr size_t kUntaggedMargin = 256;
// Folders a LIST may name.
constexpr size_t kMostFolders = 100000;
// What a listing's response may take on average (UID and size: some 40 bytes).
constexpr long kListedBytesEach = 1024;

std::string Upper(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

// The first line of what came, at most 200 bytes, for a failure record.
std::string RecordLine(const std::string &text) {
    std::string line = text.substr(0, 200);
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) line.resize(end);
    return line;
}

// A folder name or user name as an IMAP quoted string; false when it
// cannot be one (a literal would be needed).
bool Quote(const std::string &text, std::string *out) {
    *out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) return false;
        if (c == '"' || c == '\\') *out += '\\';
        *out += c;
    }
    *out += '"';
    return true;
}

// "3:7,9,12:13": UIDs (ascending) as a sequence set.
std::string SequenceSet(std::vector<uint32_t> uids) {
    std::sort(uids.begin(), uids.end());
    std::string set;
    for (size_t i = 0; i < uids.size();) {
        size_t j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
        if (!set.empty()) set += ',';
        set += std::to_string(uids[i]);
        if (j > i) set += ":" + std::to_string(uids[j]);
        i = j + 1;
    }
    return set;
}

bool ParseNumber(const ImapValue &value, unsigned long long limit, unsigned long long *out) {
    if (value.kind != ImapValue::Atom || value.text.empty() || value.text.size() > 19) return false;
    unsigned long long number = 0;
    for (char c : value.text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number > limit) return false;
    *out = number;
    return true;
}

// The data of an untagged "* n FETCH (...)": its name/value pairs, with
// the names upper-cased; false when it is not a FETCH response.
bool FetchItems(const ImapResponse &response, std::vector<std::pair<std::string, const ImapValue *>> *out) {
    if (response.kind != ImapResponse::Untagged || response.items.size() != 3) return false;
    if (Upper(response.items[1].text) != "FETCH" || response.items[2].kind != ImapValue::List) return false;
    const std::vector<ImapValue> &items = response.items[2].items;
    for (size_t i = 0; i + 1 < items.size(); i += 2) out->emplace_back(Upper(items[i].text), &items[i + 1]);
    return true;
}

bool IsString(const ImapValue *value) {
    return value->kind == ImapValue::Literal || value->kind == ImapValue::Quoted;
}

}  // namespace

CUT_ImapSession::CUT_ImapSession() : CUT_MailSession(143) {}

CUT_ImapSession::~CUT_ImapSession() = default;

int CUT_ImapSession::OnConnected(SocketHandle, const char *) {
    if (m_tlsMode == TLS_IMPLICIT) return OnError(StartTls());
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::StartTls() { return CUT_WSClient::StartTls(m_host, m_caFile); }

ResultCode CUT_ImapSession::SetAuthentication(const std::string &mechanism, bool allowClear,
                                              const std::string &token) {
    // "USER" (POP3's USER and PASS) is IMAP's LOGIN command.
    const std::string name = MechanismName(mechanism);
    return KeepAuthentication(name == "USER" ? "LOGIN-COMMAND" : name, "LOGIN-COMMAND", allowClear, token);
}

void CUT_ImapSession::Trace(bool sent, const std::string &text) {
    if (!m_trace) return;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_trace((sent ? "> " : "< ") + line);
        at = end + 1;
    }
}

ResultCode CUT_ImapSession::LoseSync(ResultCode code, SessionLimit limit) {
    // Nothing more goes out on this connection, least of all a removal.
    if (!m_lostSync)
        m_failure = {code, m_lastCommand, m_lastLine,
                     limit != SessionLimit::None ? limit : m_limitHit};
    m_lostSync = true;
    m_previews.clear();
    m_folder = {};
    if (DataSocket() != kNoSocket) CloseConnection();
    return OnError(code);
}

ResultCode CUT_ImapSession::Refused(ResultCode code, const ImapResponse &tagged) {
    if (!m_lostSync) m_failure = {code, m_lastCommand, RecordLine(tagged.tag + " " + tagged.status + " " + tagged.text)};
    return OnError(code);
}

bool CUT_ImapSession::SendTagged(const std::string &text, std::string *tag, const std::string &shown,
                                 const std::function<std::string()> &then) {
    m_sent = false;
    if (m_lostSync) return false;
    *tag = "p" + std::to_string(++m_nextTag);
    std::string line = *tag + " " + text + "\r\n";
    const std::string visible = *tag + " " + (shown.empty() ? text : shown);
    m_lastCommand = RecordLine(visible);
    // Bytes that wait before a command were sent before it: taken for its
    // answer they could claim what the server never did. (Only the
    // responses of preview fetches asked ahead may be on their way; LOGOUT
    // commits nothing.)
    if (m_previews.empty() && text != "LOGOUT" && (m_parser.Pending() > 0 || BytesWaiting())) {
        LoseSync(RC_LOST_SYNC, SessionLimit::EarlyBytes);
        return false;
    }
    Trace(true, visible);
    if (then) line += then();
    if (SendAll(line.data(), static_cast<int>(line.size())) == static_cast<int>(line.size())) {
        m_sent = true;
        return true;
    }
    LoseSync(RC_SEND_FAILED);
    return false;
}

bool CUT_ImapSession::ReadResponse(ImapResponse *response) {
    if (m_lostSync) return false;
    char piece[kPieceSize];
    for (;;) {
        *response = ImapResponse();
        if (m_parser.Next(response)) {
            Notice(*response);
            return true;
        }
        // A stop lets a reply end that is about to, not one that goes on:
        // a second after it, the reply is given up.
        if (StopGraceOver()) {
            LoseSync(RC_ABORTED, SessionLimit::Stop);
            return false;
        }
        if (m_parser.Broken()) {
            m_lastLine = m_parser.Problem();
            LoseSync(RC_LOST_SYNC);
            return false;
        }
        const long long allowed = (m_replyLimitSeconds + m_replyBytes / kBytesPerGraceSecond) * 1000LL;
        const auto spent = [this] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                         m_replyStart)
                .count();
        };
        if (spent() >= allowed) {
            LoseSync(RC_NO_REPLY, SessionLimit::ReplyTime);
            return false;
        }
        SetReadDeadline(static_cast<long>(allowed - spent()));
        const int count = ReceiveLine(piece, kPieceSize, m_receiveTimeout);
        SetReadDeadline(0);
        if (count <= 0) {
            m_limitHit = StopRequested()               ? SessionLimit::Stop
                         : spent() >= allowed          ? SessionLimit::ReplyTime
                         : PeekConnection() == kClosed ? SessionLimit::HangUp
                                                       : SessionLimit::Wait;
            LoseSync(StopRequested() ? RC_ABORTED : RC_NO_REPLY);
            return false;
        }
        m_replyBytes += count;
        if (m_replySizeLimit > 0 && m_replyBytes > m_replySizeLimit) {
            LoseSync(RC_LOST_SYNC, SessionLimit::ReplySize);
            return false;
        }
        if (piece[0] != '\0') m_lastLine = RecordLine(std::string(piece, static_cast<size_t>(count)));
        Trace(false, std::string(piece, static_cast<size_t>(count)));
        m_parser.Feed(piece, static_cast<size_t>(count));
    }
}

void CUT_ImapSession::Notice(const ImapResponse &response) {
    auto takeCapabilities = [this](const std::vector<ImapValue> &items, size_t from) {
        m_capabilitiesSeen = true;
        m_capabilities.clear();
        m_saslMechanisms.clear();
        for (size_t i = from; i < items.size(); ++i) {
            if (items[i].kind != ImapValue::Atom) continue;
            m_capabilities.push_back(Upper(items[i].text));
            if (m_capabilities.back().rfind("AUTH=", 0) == 0) m_saslMechanisms.push_back(m_capabilities.back().substr(5));
        }
    };
    if (!response.status.empty() && !response.items.empty() && response.items[0].bracketed) {
        const std::vector<ImapValue> &code = response.items[0].items;
        if (!code.empty() && Upper(code[0].text) == "CAPABILITY") takeCapabilities(code, 1);
        unsigned long long number = 0;
        if (code.size() == 2 && Upper(code[0].text) == "UIDVALIDITY" && ParseNumber(code[1], 0xFFFFFFFFull, &number))
            m_uidValidity = static_cast<uint32_t>(number);
    }
    if (response.kind != ImapResponse::Untagged || response.items.empty()) return;
    if (response.status.empty() && Upper(response.items[0].text) == "CAPABILITY") takeCapabilities(response.items, 1);
    unsigned long long number = 0;
    if (response.items.size() == 2 && ParseNumber(response.items[0], 0xFFFFFFFFull, &number)) {
        const std::string what = Upper(response.items[1].text);
        if (what == "EXISTS") {
            if (static_cast<long>(number) > m_exists) m_existsGrew = true;
            m_exists = static_cast<long>(number);
        } else if (what == "EXPUNGE" && m_exists > 0) {
            --m_exists;
            // Which message left: the evidence a removal waits for.
            if (number >= 1 && number <= m_bySequence.size()) {
                m_expunged.insert(m_bySequence[number - 1]);
                m_bySequence.erase(m_bySequence.begin() + static_cast<long>(number - 1));
            }
        }
    }
}

CUT_ImapSession::Outcome CUT_ImapSession::Finish(const std::string &tag,
                                                 const std::function<void(const ImapResponse &)> &take,
                                                 ImapResponse *tagged, bool badRefuses) {
    ImapResponse response;
    size_t untagged = 0;
    while (ReadResponse(&response)) {
        if (response.kind == ImapResponse::Untagged) {
            if (response.status == "BYE") {
                LoseSync(RC_NOT_CONNECTED);
                return Outcome::Lost;
            }
            // A command that asks for no data gets a few updates with its
            // answer, not an endless stream (readers that take data count
            // what they asked for).
            if (!take && ++untagged > kUntaggedMargin)
                m_unasked = Tr("imap", "mehr Antworten, als ein Befehl ohne Daten bekommt");
            if (take) take(response);
            // More than was asked, or what was not: the reply is not the
            // one to the command, and is not read on.
            if (m_unasked != nullptr) {
                m_lastLine = RecordLine(m_unasked);
                m_unasked = nullptr;
                LoseSync(RC_LOST_SYNC, SessionLimit::Unasked);
                return Outcome::Lost;
            }
            continue;
        }
        // An answer to another command, or a request for more that no
        // command made: this is not the conversation we are having.
        if (response.kind != ImapResponse::Tagged || response.tag != tag) {
            LoseSync(RC_LOST_SYNC);
            return Outcome::Lost;
        }
        if (tagged != nullptr) *tagged = response;
        if (response.status == "OK") return Outcome::Ok;
        if (response.status == "NO" || (badRefuses && response.status == "BAD")) return Outcome::No;
        // BAD: the server did not understand what we sent.
        LoseSync(RC_LOST_SYNC);
        return Outcome::Lost;
    }
    return Outcome::Lost;
}

CUT_ImapSession::Outcome CUT_ImapSession::Run(const std::string &text,
                                              const std::function<void(const ImapResponse &)> &take,
                                              ImapResponse *tagged) {
    std::string tag;
    if (!m_previews.empty()) {
        // Preview fetches are read first; a command meanwhile is a fault of the caller.
        LoseSync(RC_LOST_SYNC);
        return Outcome::Lost;
    }
    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    if (!SendTagged(text, &tag)) return Outcome::Lost;
    return Finish(tag, take, tagged);
}

ResultCode CUT_ImapSession::Capability() {
    ImapResponse tagged;
    const Outcome outcome = Run("CAPABILITY", nullptr, &tagged);
    if (outcome == Outcome::Lost) return RC_LOST_SYNC;
    return outcome == Outcome::Ok ? RC_OK : Refused(RC_BAD_REPLY, tagged);
}

ResultCode CUT_ImapSession::Open(const char *host) {
    CloseMailbox();
    m_lostSync = false;
    m_failure = {};
    m_lastCommand.clear();
    m_lastLine.clear();
    m_capabilities.clear();
    m_saslMechanisms.clear();
    m_messages.clear();
    m_previews.clear();
    m_folder = {};
    m_parser = CUT_ImapParser();
    m_exists = 0;
    m_uidValidity = 0;
    m_host = host != nullptr ? host : "";
    ResultCode result = Connect(m_port, host, m_connectTimeout, 2, 1);
    if (result != RC_OK) return OnError(result);

    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    ImapResponse greeting;
    if (!ReadResponse(&greeting)) return OnError(RC_NO_CONNECTION);
    if (greeting.kind != ImapResponse::Untagged || (greeting.status != "OK" && greeting.status != "PREAUTH")) {
        m_failure = {RC_NO_CONNECTION, "", RecordLine("* " + greeting.status + " " + greeting.text)};
        CloseConnection();
        return OnError(RC_NO_CONNECTION);
    }
    if (m_tlsMode == TLS_STARTTLS) {
        if (greeting.status == "PREAUTH") return OnError(RC_STLS_REFUSED);
        if (m_capabilities.empty() && Capability() != RC_OK) return OnError(m_lostSync ? RC_LOST_SYNC : RC_STLS_REFUSED);
        if (!HasCapability("STARTTLS")) return OnError(RC_STLS_REFUSED);
        ImapResponse tagged;
        const Outcome outcome = Run("STARTTLS", nullptr, &tagged);
        if (outcome != Outcome::Ok) return OnError(m_lostSync ? RC_LOST_SYNC : RC_STLS_REFUSED);
        // Whatever came after the OK in the clear is no protected data.
        if (m_parser.Pending() > 0) return LoseSync();
        result = StartTls();
        if (result != RC_OK) return OnError(result);
        // What the server offers may change with the upgrade: ask again.
        m_capabilities.clear();
    }
    if (m_capabilities.empty() && Capability() != RC_OK && m_lostSync) return OnError(RC_LOST_SYNC);
    if (greeting.status == "PREAUTH") m_mechanism = "PREAUTH";
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::LogOn(const std::string &user, const std::string &password) {
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (m_mechanism == "PREAUTH") return OnError(RC_OK);
    auto safe = [](const std::string &text) {
        return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    };
    if (!safe(user) || !safe(password) || !safe(m_token)) return OnError(RC_UNSAFE_CREDENTIAL);
    const bool clearAllowed = m_allowClear || TlsActive() || std::strncmp(AddressText(), "127.", 4) == 0;
    std::string mechanism = m_chosenMechanism;
    if (mechanism.empty()) {
        mechanism = CUT_SaslClient::Strongest(m_saslMechanisms, !m_token.empty(), clearAllowed);
        // LOGIN (the command) shows the password: only where that is allowed,
        // and not where the server forbids it.
        if (mechanism.empty() && m_token.empty() && clearAllowed && !HasCapability("LOGINDISABLED"))
            mechanism = "LOGIN-COMMAND";
    } else if (!clearAllowed && (mechanism == "LOGIN-COMMAND" || CUT_SaslClient::SendsPasswordInClear(mechanism))) {
        mechanism.clear();
    }
    if (mechanism.empty()) return OnError(RC_NO_MECHANISM);
    // A server may offer a mechanism it cannot complete for this user (a
    // SCRAM secret it does not hold). Where the choice was ours and the
    // connection is TLS with a verified certificate, the next one it offers
    // is tried after a refusal; the reason then names each one tried.
    // (One more try at most: a wrong password costs two refusals, not one
    // per mechanism.)
    ResultCode result = LogOnWith(mechanism, user, password);
    if (result == RC_PASS_REFUSED && !m_lostSync && m_chosenMechanism.empty() && TlsActive() &&
        mechanism != "LOGIN-COMMAND") {
        std::vector<std::string> offered = m_saslMechanisms;
        offered.erase(std::remove(offered.begin(), offered.end(), mechanism), offered.end());
        const std::string next = CUT_SaslClient::Strongest(offered, !m_token.empty(), true);
        if (!next.empty()) {
            const std::string first = m_mechanism;
            result = LogOnWith(next, user, password);
            if (result != RC_OK) m_mechanism = Fill(Tr("imap", "%1, dann %2"), {first, m_mechanism});
        }
    }
    if (result == RC_OK) m_failure = {};
    return OnError(result);
}

ResultCode CUT_ImapSession::LogOnWith(const std::string &mechanism, const std::string &user,
                                      const std::string &password) {
    m_mechanism = mechanism == "LOGIN-COMMAND" ? Tr("imap", "LOGIN (Befehl)") : mechanism;
    m_capabilitiesSeen = false;
    ResultCode result;
    if (mechanism == "LOGIN-COMMAND") {
        std::string quotedUser, quotedPassword;
        if (!Quote(user, &quotedUser) || !Quote(password, &quotedPassword)) return OnError(RC_NO_MECHANISM);
        std::string tag;
        m_replyStart = std::chrono::steady_clock::now();
        m_replyBytes = 0;
        if (!SendTagged("LOGIN " + quotedUser + " " + quotedPassword, &tag, "LOGIN " + quotedUser + " ********",
                        FolderAfterLogOn()))
            return OnError(RC_LOST_SYNC);
        ImapResponse tagged;
        const Outcome outcome = Finish(tag, nullptr, &tagged);
        result = outcome == Outcome::Ok ? RC_OK : outcome == Outcome::No ? Refused(RC_PASS_REFUSED, tagged) : RC_LOST_SYNC;
    } else {
        result = Authenticate(mechanism, user, CUT_SaslClient::IsOAuth(mechanism) ? m_token : password);
    }
    // A folder opened with the log-on: after a refusal its answers are
    // read and dropped; they come before any other.
    if (!m_folder.openTag.empty() && !m_lostSync) {
        if (result != RC_OK) {
            // (A server that leaves after a refusal ends the session; the
            // refusal stays what is told.)
            const auto refusal = m_failure;
            if (DropFolder() != RC_OK) m_failure = refusal;
        } else if (!m_capabilitiesSeen) {
            FolderAsked asked = m_folder;
            asked.result = ReadFolder();
            asked.read = true;
            m_folder = asked;
            if (m_lostSync) return RC_LOST_SYNC;
        }
    }
    // The capabilities after log-on (MOVE, UIDPLUS) may differ from before;
    // most servers tell them with the OK.
    if (result == RC_OK && !m_lostSync && !m_capabilitiesSeen) {
        m_capabilities.clear();
        if (Capability() != RC_OK && m_lostSync) return RC_LOST_SYNC;
    }
    return result;
}

ResultCode CUT_ImapSession::Authenticate(const std::string &mechanism, const std::string &user,
                                         const std::string &secret) {
    std::string tag;
    ImapResponse refusal;
    SaslProtocol protocol;
    protocol.start = [&](std::string *initial) {
        std::string command = "AUTHENTICATE " + mechanism, shown = command;
        std::function<std::string()> then;
        // With SASL-IR the initial response goes with the command. PLAIN
        // is done with it (no challenge follows, not even to say why it
        // failed): the folder to open may follow in the same write.
        if (initial != nullptr && HasCapability("SASL-IR")) {
            command += " " + (initial->empty() ? std::string("=") : *initial);
            shown += " ********";
            initial->clear();
            if (mechanism == "PLAIN") then = FolderAfterLogOn();
        }
        m_replyStart = std::chrono::steady_clock::now();
        m_replyBytes = 0;
        return SendTagged(command, &tag, shown, then);
    };
    protocol.read = [&] {
        SaslReply reply;
        ImapResponse response;
        do {
            if (!ReadResponse(&response)) return reply;
        } while (response.kind == ImapResponse::Untagged);
        if (response.kind == ImapResponse::Continuation) {
            reply.kind = SaslReply::Challenge;
            reply.challenge = response.text;
        } else if (response.tag != tag) {
            reply.code = LoseSync();
        } else {
            reply.kind = response.status == "OK" ? SaslReply::Ok : SaslReply::No;
            refusal = response;
        }
        return reply;
    };
    protocol.send = [&](const std::string &line, const std::string &shown) {
        Trace(true, shown);
        const std::string whole = line + "\r\n";
        if (SendAll(whole.data(), static_cast<int>(whole.size())) != static_cast<int>(whole.size()))
            LoseSync(RC_SEND_FAILED);
    };
    protocol.refused = [&] { return Refused(RC_PASS_REFUSED, refusal); };
    protocol.lose = [&](ResultCode code) { return LoseSync(code); };
    return SaslExchange(mechanism, user, secret, protocol);
}

ResultCode CUT_ImapSession::OpenFolder(const std::string &name, bool readOnly) {
    std::string quoted;
    if (!Quote(name, &quoted)) return OnError(RC_NO_SUCH_ENTRY);
    m_uidValidity = 0;
    m_exists = 0;
    ImapResponse tagged;
    const Outcome outcome = Run(std::string(readOnly ? "EXAMINE " : "SELECT ") + quoted, nullptr, &tagged);
    if (outcome == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (outcome == Outcome::No) return Refused(RC_STAT_REFUSED, tagged);
    m_existsGrew = false;
    // Without UIDVALIDITY a UID names no message for sure.
    if (m_uidValidity == 0) return LoseSync(RC_BAD_REPLY);
    return OnError(RC_OK);
}

size_t CUT_ImapSession::BoundFor(uint32_t uid) const {
    // What a message's parts may take: twice its listed size and 64 KiB
    // (servers count line ends their own way); the default where unlisted.
    const auto found = std::lower_bound(m_messages.begin(), m_messages.end(), uid,
                                        [](const ImapMessageEntry &entry, uint32_t key) { return entry.uid < key; });
    if (found == m_messages.end() || found->uid != uid) return CUT_ImapParser::kDefaultLiteralLimit;
    return std::min(static_cast<size_t>(found->size) * 2 + 64 * 1024, CUT_ImapParser::kDefaultLiteralLimit);
}

void CUT_ImapSession::TakeListed(const ImapResponse &response, std::set<uint32_t> *seen) {
    // The listing holds one response per message the folder said it holds.
    if (++m_listedResponses > static_cast<size_t>(m_exists) + kUntaggedMargin) {
        m_unasked = Tr("imap", "mehr Antworten, als der Ordner Nachrichten hat (EXISTS)");
        return;
    }
    std::vector<std::pair<std::string, const ImapValue *>> items;
    if (!FetchItems(response, &items)) return;
    ImapMessageEntry entry;
    unsigned long long number = 0;
    bool haveSize = false;
    for (const auto &[name, value] : items) {
        if (name == "UID" && ParseNumber(*value, 0xFFFFFFFFull, &number)) entry.uid = static_cast<uint32_t>(number);
        if (name == "RFC822.SIZE" && ParseNumber(*value, 0x7FFFFFFFull, &number)) {
            entry.size = static_cast<long>(number);
            haveSize = true;
        }
    }
    // A response without both (a flag change) lists no message.
    if (entry.uid == 0 || !haveSize || m_messages.size() >= kMaxListing) return;
    if (!seen->insert(entry.uid).second) return;
    m_messages.push_back(entry);
    // Where it stands: an EXPUNGE names a message by its place.
    if (ParseNumber(response.items[0], kMaxListing, &number) && number >= 1) {
        if (m_bySequence.size() < number) m_bySequence.resize(number, 0);
        m_bySequence[number - 1] = entry.uid;
    }
}

std::string CUT_ImapSession::FolderCommands(const std::string &quoted, bool readOnly) {
    m_folder.openTag = "p" + std::to_string(++m_nextTag);
    m_folder.listTag = "p" + std::to_string(++m_nextTag);
    m_folder.open = std::string(readOnly ? "EXAMINE " : "SELECT ") + quoted;
    m_folder.list = "UID FETCH 1:* (UID RFC822.SIZE)";
    Trace(true, m_folder.openTag + " " + m_folder.open);
    Trace(true, m_folder.listTag + " " + m_folder.list);
    return m_folder.openTag + " " + m_folder.open + "\r\n" + m_folder.listTag + " " + m_folder.list + "\r\n";
}

void CUT_ImapSession::SetFolderAfterLogOn(const std::string &name, bool readOnly) {
    m_afterLogOn = name;
    m_afterLogOnReadOnly = readOnly;
}

std::function<std::string()> CUT_ImapSession::FolderAfterLogOn() {
    std::string quoted;
    if (m_afterLogOn.empty() || !m_folder.openTag.empty() || !Quote(m_afterLogOn, &quoted)) return {};
    return [this, quoted] { return FolderCommands(quoted, m_afterLogOnReadOnly); };
}

ResultCode CUT_ImapSession::OpenFolderAndList(const std::string &name, bool readOnly) {
    std::string quoted;
    if (!Quote(name, &quoted)) return OnError(RC_NO_SUCH_ENTRY);
    if (!m_folder.openTag.empty()) {
        // Sent with the log-on already: its answers are read now.
        if (m_folder.open == std::string(readOnly ? "EXAMINE " : "SELECT ") + quoted) return ReadFolder();
        if (DropFolder() != RC_OK) return OnError(RC_LOST_SYNC);
    }
    if (m_lostSync || !m_previews.empty()) return LoseSync();
    const std::string lines = FolderCommands(quoted, readOnly);
    m_lastCommand = m_folder.openTag + " " + m_folder.open;
    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    if (SendAll(lines.data(), static_cast<int>(lines.size())) != static_cast<int>(lines.size()))
        return LoseSync(RC_SEND_FAILED);
    return ReadFolder();
}

ResultCode CUT_ImapSession::DropFolder() {
    // Both answers read and let go (after a refused log-on: "log on first").
    const FolderAsked asked = m_folder;
    m_folder = {};
    if (asked.openTag.empty() || asked.read) return OnError(RC_OK);
    for (const std::string &tag : {asked.openTag, asked.listTag})
        if (Finish(tag, nullptr, nullptr, true) == Outcome::Lost) return OnError(RC_LOST_SYNC);
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::ReadFolder() {
    if (m_folder.read) {
        // Read before the capabilities were asked after the log-on.
        const ResultCode result = m_folder.result;
        m_folder = {};
        return OnError(result);
    }
    const FolderAsked asked = m_folder;
    m_folder = {};
    m_uidValidity = 0;
    m_exists = 0;
    m_messages.clear();
    m_bySequence.clear();
    m_lastCommand = asked.openTag + " " + asked.open;
    ImapResponse tagged;
    const Outcome opened = Finish(asked.openTag, nullptr, &tagged);
    if (opened == Outcome::Lost) return OnError(RC_LOST_SYNC);
    // The listing was sent for a folder that did not open: its answer is
    // read and dropped.
    const ResultCode openResult = opened == Outcome::No ? Refused(RC_STAT_REFUSED, tagged) : RC_OK;
    m_existsGrew = false;
    m_lastCommand = asked.listTag + " " + asked.list;
    m_listedResponses = 0;
    // The listing is as long as the folder said it holds messages.
    m_replySizeLimit = m_replyBytes + (m_exists + static_cast<long>(kUntaggedMargin)) * kListedBytesEach;
    std::set<uint32_t> seen;
    // An empty folder may have its "1:*" refused, even as BAD.
    const Outcome listed =
        Finish(asked.listTag, [&](const ImapResponse &r) { TakeListed(r, &seen); }, &tagged, true);
    m_replySizeLimit = 0;
    if (listed == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (openResult != RC_OK) return openResult;
    if (m_uidValidity == 0) return LoseSync(RC_BAD_REPLY);
    if (listed == Outcome::No) {
        if (m_exists == 0) return OnError(RC_OK);
        return Refused(RC_LIST_REFUSED, tagged);
    }
    std::sort(m_messages.begin(), m_messages.end(),
              [](const ImapMessageEntry &a, const ImapMessageEntry &b) { return a.uid < b.uid; });
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::SendPreviewFetch(const std::vector<uint32_t> &uids, size_t textBytes,
                                             size_t textOffset) {
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (uids.empty()) return OnError(RC_OK);
    std::string tag;
    if (m_previews.empty()) {
        m_replyStart = std::chrono::steady_clock::now();
        m_replyBytes = 0;
    }
    const std::string text = textBytes == 0 ? std::string()
                                            : " BODY.PEEK[TEXT]<" + std::to_string(textOffset) + "." +
                                                  std::to_string(textBytes) + ">";
    if (!SendTagged("UID FETCH " + SequenceSet(uids) +
                        (textOffset == 0 ? " (UID RFC822.SIZE BODY.PEEK[HEADER]" : " (UID") + text + ")",
                    &tag))
        return OnError(RC_LOST_SYNC);
    // No literal of it may be larger than the largest message asked.
    size_t bound = textBytes;
    for (uint32_t uid : uids) bound = std::max(bound, BoundFor(uid));
    m_previews.push_back({tag, std::set<uint32_t>(uids.begin(), uids.end()), bound, textBytes, textOffset});
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::ReadPreviews(std::map<uint32_t, ImapPreview> *out) {
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (m_previews.empty()) return OnError(RC_ERROR);
    const AskedPreviews asked = std::move(m_previews.front());
    m_previews.erase(m_previews.begin());
    m_parser.SetLiteralLimit(asked.bound);
    std::set<uint32_t> taken;
    size_t responses = 0;
    auto take = [&](const ImapResponse &response) {
        if (++responses > asked.uids.size() + kUntaggedMargin) {
            m_unasked = Tr("imap", "mehr Antworten als Nachrichten abgefragt");
            return;
        }
        std::vector<std::pair<std::string, const ImapValue *>> items;
        if (!FetchItems(response, &items)) return;
        unsigned long long uid = 0;
        const ImapValue *header = nullptr, *text = nullptr;
        for (const auto &[name, value] : items) {
            if (name == "UID") ParseNumber(*value, 0xFFFFFFFFull, &uid);
            if (name == "BODY[HEADER]" && IsString(value)) header = value;
            if (name.rfind("BODY[TEXT]", 0) == 0 && IsString(value)) text = value;
        }
        const bool more = asked.textOffset > 0;
        if (uid == 0 || (header == nullptr && !more)) return;
        // Only what was asked, and each once.
        if (asked.uids.count(static_cast<uint32_t>(uid)) == 0 || !taken.insert(static_cast<uint32_t>(uid)).second) {
            m_unasked = Tr("imap", "Daten zu einer UID, die nicht (oder schon) abgefragt war");
            return;
        }
        if (more) {
            // The rest of a text whose first part came before.
            const auto first = out->find(static_cast<uint32_t>(uid));
            if (text != nullptr && text->text.size() > asked.textBytes) {
                m_unasked = Tr("imap", "mehr Text, als abgefragt war");
                return;
            }
            if (first != out->end() && first->second.text.size() == asked.textOffset && text != nullptr)
                first->second.text += text->text;
            return;
        }
        // A header is part of its message: not larger than the listing said.
        if (header->text.size() > BoundFor(static_cast<uint32_t>(uid))) {
            m_unasked = Tr("imap", "ein Kopf, größer als die Nachricht laut RFC822.SIZE");
            return;
        }
        if (text != nullptr && text->text.size() > asked.textBytes) {
            m_unasked = Tr("imap", "mehr Text, als abgefragt war");
            return;
        }
        ImapPreview &preview = (*out)[static_cast<uint32_t>(uid)];
        preview.header = header->text;
        preview.text = text != nullptr ? text->text : std::string();
    };
    // Responses of a fetch sent later are not read before this one's end.
    const Outcome outcome = Finish(asked.tag, take);
    m_parser.SetLiteralLimit(CUT_ImapParser::kDefaultLiteralLimit);
    if (outcome == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (!m_previews.empty()) {
        m_replyStart = std::chrono::steady_clock::now();
        m_replyBytes = 0;
    }
    return OnError(outcome == Outcome::Ok ? RC_OK : RC_TOP_REFUSED);
}

ResultCode CUT_ImapSession::FetchWhole(uint32_t uid, CUT_ByteSource &target, long sizeLimit) {
    m_announcedOctets = -1;
    if (sizeLimit > 0) {
        m_parser.SetLiteralLimit(static_cast<size_t>(sizeLimit));
        m_replySizeLimit = sizeLimit + 64 * 1024;
    }
    if (target.Open(OpenMode::Write) != RC_OK) return OnError(RC_TARGET_OPEN_FAILED);
    // A large message goes into the target as it arrives (the parser holds
    // none of it); a small one comes with its response.
    bool written = true;
    // Gathered into pieces of 64 KiB: the literal comes line by line.
    std::string gathered;
    const auto flush = [&] {
        written = written && target.Write(gathered.data(), static_cast<int>(gathered.size())) ==
                                 static_cast<int>(gathered.size());
        gathered.clear();
    };
    m_parser.SetLiteralSink([&](const char *data, size_t size) {
        gathered.append(data, size);
        if (gathered.size() >= 64 * 1024) flush();
    });
    bool found = false, twice = false;
    size_t responses = 0;
    auto take = [&](const ImapResponse &response) {
        if (++responses > kUntaggedMargin) {
            m_unasked = Tr("imap", "mehr Antworten, als ein einzelner Abruf bekommt");
            return;
        }
        std::vector<std::pair<std::string, const ImapValue *>> items;
        if (!FetchItems(response, &items)) return;
        unsigned long long number = 0;
        const ImapValue *whole = nullptr;
        for (const auto &[name, value] : items) {
            if (name == "UID") ParseNumber(*value, 0xFFFFFFFFull, &number);
            if (name == "BODY[]" && IsString(value)) whole = value;
        }
        // What went to the target belongs to this message and no other.
        const int streams = m_parser.Streams();
        if (streams > 0 && (number != uid || whole == nullptr || streams > 1 || found)) {
            m_unasked = Tr("imap", "eine Nachricht, nach der nicht gefragt war");
            return;
        }
        if (number != uid || whole == nullptr) return;
        if (found) twice = true;
        found = true;
        if (streams > 0) {
            m_announcedOctets = static_cast<long>(m_parser.Streamed());
        } else {
            written = written && target.Write(whole->text.data(), static_cast<int>(whole->text.size())) ==
                                     static_cast<int>(whole->text.size());
            m_announcedOctets = static_cast<long>(whole->text.size());
        }
    };
    ImapResponse tagged;
    const Outcome outcome = Run("UID FETCH " + std::to_string(uid) + " (UID BODY.PEEK[])", take, &tagged);
    m_parser.SetLiteralSink(nullptr);
    if (!gathered.empty()) flush();
    m_parser.SetLiteralLimit(CUT_ImapParser::kDefaultLiteralLimit);
    m_replySizeLimit = 0;
    target.Close();
    if (outcome == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (outcome == Outcome::No) return Refused(RC_RETR_REFUSED, tagged);
    // Gone meanwhile, or two different answers: nothing to save for sure.
    if (!found || twice) {
        m_failure = {RC_RETR_REFUSED, m_lastCommand,
                     Fill(Tr("imap", "keine oder mehrdeutige Daten für UID %1"), {std::to_string(uid)})};
        return OnError(RC_RETR_REFUSED);
    }
    return OnError(written ? RC_OK : RC_SOURCE_WRITE_FAILED);
}

ResultCode CUT_ImapSession::FindJunkFolder(std::string *name) {
    name->clear();
    size_t responses = 0;
    auto take = [&](const ImapResponse &response) {
        if (++responses > kMostFolders) m_unasked = Tr("imap", "mehr Ordner, als ein Postfach hat");
        // * LIST (\HasNoChildren \Junk) "/" Junk
        if (!name->empty() || response.items.size() != 4 || Upper(response.items[0].text) != "LIST") return;
        const ImapValue &folder = response.items[3];
        if (response.items[1].kind != ImapValue::List || (!IsString(&folder) && folder.kind != ImapValue::Atom))
            return;
        for (const ImapValue &flag : response.items[1].items)
            if (Upper(flag.text) == "\\JUNK") *name = response.items[3].text;
    };
    ImapResponse tagged;
    const Outcome outcome = Run(HasCapability("SPECIAL-USE") ? "LIST (SPECIAL-USE) \"\" \"*\"" : "LIST \"\" \"*\"",
                                take, &tagged);
    if (outcome == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (outcome == Outcome::No) return Refused(RC_LIST_REFUSED, tagged);
    return OnError(name->empty() ? RC_NO_SUCH_ENTRY : RC_OK);
}

ResultCode CUT_ImapSession::MoveMessage(uint32_t uid, const std::string &folder, bool *expunged) {
    *expunged = false;
    // A name typed with umlauts goes in IMAP's own form.
    std::string wire, quoted;
    if (!EncodeMailboxName(folder, &wire) || !Quote(wire, &quoted)) return OnError(RC_NO_SUCH_ENTRY);
    const std::string id = std::to_string(uid);
    ImapResponse tagged;
    if (HasCapability("MOVE")) {
        m_expunged.clear();
        const Outcome outcome = Run("UID MOVE " + id + " " + quoted, nullptr, &tagged);
        if (outcome == Outcome::Lost) return OnError(m_sent ? RC_REMOVAL_UNCERTAIN : RC_LOST_SYNC);
        if (outcome == Outcome::No) return Refused(RC_DELE_REFUSED, tagged);
        return Expunged(uid, tagged, expunged);
    }
    const Outcome copied = Run("UID COPY " + id + " " + quoted, nullptr, &tagged);
    if (copied == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (copied == Outcome::No) return Refused(RC_DELE_REFUSED, tagged);
    return DeleteMessage(uid, expunged);
}

ResultCode CUT_ImapSession::DeleteMessage(uint32_t uid, bool *expunged) {
    *expunged = false;
    const std::string id = std::to_string(uid);
    ImapResponse tagged;
    const Outcome flagged = Run("UID STORE " + id + " +FLAGS.SILENT (\\Deleted)", nullptr, &tagged);
    if (flagged == Outcome::Lost) return OnError(RC_LOST_SYNC);
    if (flagged == Outcome::No) return Refused(RC_DELE_REFUSED, tagged);
    // Only UID EXPUNGE removes this message and no other; without it the
    // flag stays for the user's mail program to act on.
    if (!HasCapability("UIDPLUS")) return OnError(RC_OK);
    m_expunged.clear();
    const Outcome gone = Run("UID EXPUNGE " + id, nullptr, &tagged);
    if (gone == Outcome::Lost) return OnError(m_sent ? RC_REMOVAL_UNCERTAIN : RC_LOST_SYNC);
    // Refused now, the message stays flagged: some other client's expunge
    // may still remove it, so this is no refusal that left it untouched.
    if (gone == Outcome::No) return Refused(RC_ERROR, tagged);
    return Expunged(uid, tagged, expunged);
}

ResultCode CUT_ImapSession::Expunged(uint32_t uid, const ImapResponse &tagged, bool *expunged) {
    // A tagged OK alone is no evidence: the server says which message left
    // with an EXPUNGE (RFC 6851, RFC 4315).
    if (m_expunged.count(uid) == 0) {
        m_failure = {RC_REMOVAL_UNCERTAIN, m_lastCommand,
                     RecordLine(tagged.tag + " " + tagged.status + " " + tagged.text)};
        return OnError(RC_REMOVAL_UNCERTAIN);
    }
    *expunged = true;
    return OnError(RC_OK);
}

ResultCode CUT_ImapSession::Idle(int seconds, bool *arrived) {
    *arrived = false;
    if (m_lostSync) return OnError(RC_LOST_SYNC);
    if (!HasCapability("IDLE")) return OnError(RC_ERROR);
    std::string tag;
    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    if (!SendTagged("IDLE", &tag)) return OnError(RC_LOST_SYNC);
    ImapResponse response;
    do {
        if (!ReadResponse(&response)) return OnError(RC_LOST_SYNC);
    } while (response.kind == ImapResponse::Untagged);
    if (response.kind != ImapResponse::Continuation) {
        if (response.kind == ImapResponse::Tagged && response.tag == tag && response.status == "NO")
            return Refused(RC_ERROR, response);
        return LoseSync();
    }
    m_existsGrew = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // Waits in slices, so that a stop request ends the wait.
    while (!m_existsGrew && !StopRequested() && std::chrono::steady_clock::now() < end) {
        if (m_parser.Pending() == 0 && BufferedBytes() == 0 && WaitForReceive(1, 0) != RC_OK) {
            if (PeekConnection() == kClosed) return LoseSync(RC_NOT_CONNECTED, SessionLimit::HangUp);
            continue;
        }
        m_replyStart = std::chrono::steady_clock::now();
        m_replyBytes = 0;
        if (!ReadResponse(&response)) return OnError(RC_LOST_SYNC);
        if (response.kind != ImapResponse::Untagged) return LoseSync();
        if (response.status == "BYE") return LoseSync(RC_NOT_CONNECTED);
        const std::string what = response.items.size() == 2 ? Upper(response.items[1].text) : std::string();
        if (what == "RECENT") m_existsGrew = m_existsGrew || response.items[0].text != "0";
    }
    *arrived = m_existsGrew;
    m_replyStart = std::chrono::steady_clock::now();
    m_replyBytes = 0;
    Trace(true, "DONE");
    if (SendAll("DONE\r\n", 6) != 6) return LoseSync(RC_SEND_FAILED);
    m_lastCommand = "DONE";
    const Outcome outcome = Finish(tag, nullptr, &response);
    if (outcome == Outcome::Lost) return OnError(RC_LOST_SYNC);
    return OnError(outcome == Outcome::Ok ? RC_OK : Refused(RC_ERROR, response));
}

ResultCode CUT_ImapSession::CloseMailbox() {
    if (DataSocket() == kNoSocket) return OnError(RC_OK);
    if (m_lostSync) {
        CloseConnection();
        return OnError(RC_LOST_SYNC);
    }
    std::string tag;
    // Whatever the server still owes is of no use any more; what was moved
    // or deleted was done with its tagged OK.
    m_previews.clear();
    const bool sent = SendTagged("LOGOUT", &tag);
    if (DataSocket() != kNoSocket) CloseConnection();
    return OnError(sent ? RC_OK : RC_LOST_SYNC);
}
