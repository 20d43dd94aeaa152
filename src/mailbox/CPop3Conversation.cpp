// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPop3Conversation.h"

#include <algorithm>
#include <set>

#include "CUT_Pop3Session.h"
#include "FailureReason.h"
#include "Translate.h"

CPop3Conversation::CPop3Conversation(CServerAddress server, Options options)
    : m_server(std::move(server)), m_options(std::move(options)),
      m_session(std::make_unique<CUT_Pop3Session>()) {}

CPop3Conversation::~CPop3Conversation() = default;

ResultCode CPop3Conversation::LogOn(const MailAccount &account) {
    CUT_Pop3Session &session = *m_session;
    const ResultCode set = PrepareSession(session, m_server, m_options, account);
    if (set != RC_OK) return set;
    return session.OpenMailbox(m_server.host.c_str(), account.user.c_str(), account.password.c_str());
}

ResultCode CPop3Conversation::List(bool, std::vector<Entry> *entries) {
    CUT_Pop3Session &session = *m_session;
    entries->clear();
    // Whether the server takes commands ahead of their replies (after STLS
    // this is known already); one without CAPA or PIPELINING gets one
    // command at a time.
    m_batch = m_options.window < 1 ? 1 : m_options.window;
    if (m_batch > 1 && session.Capabilities().empty()) session.FetchCapabilities();
    if (!session.HasCapability("PIPELINING")) m_batch = 1;
    if (m_batch > 1) {
        for (Pop3Request::Kind kind : {Pop3Request::Stat, Pop3Request::List, Pop3Request::Uidl})
            session.QueueCommand({kind, 0, 0});
    }
    long count = 0;
    const ResultCode counted = session.GetMessageCount(&count);
    if (counted != RC_OK) {
        session.CloseMailbox();
        return counted;
    }
    if (count < 1) return RC_OK;
    // The listing, not the count of STAT alone, says which messages there
    // are: a server cannot make the scan walk numbers that do not exist.
    const ResultCode listed = session.FetchMessageSizes();
    if (listed != RC_OK) {
        session.CloseMailbox();
        return listed;
    }
    // A number listed twice is one message: acting on it twice would count
    // a deletion that already happened as a failure. (Servers list in
    // rising order; only a listing that does not is looked at closer.)
    const std::vector<MessageSizeEntry> &sizes = session.MessageSizes();
    entries->reserve(sizes.size());
    std::set<int> numbers;
    int last = 0;
    for (const MessageSizeEntry &listedEntry : sizes) {
        if (listedEntry.messageNumber <= last || !numbers.empty()) {
            if (numbers.empty())
                for (const Entry &entry : *entries) numbers.insert(entry.number);
            if (!numbers.insert(listedEntry.messageNumber).second) continue;
        }
        last = std::max(last, listedEntry.messageNumber);
        entries->push_back({listedEntry.messageNumber, listedEntry.size, {}});
    }
    // Unique ids where the server has them (a refusal is no failure); the
    // first one listed for a number counts.
    if (session.FetchUniqueIds(0) == RC_OK) {
        std::vector<std::pair<int, const std::string *>> ids;
        ids.reserve(session.UniqueIds().size());
        for (const UniqueIdEntry &id : session.UniqueIds()) ids.emplace_back(id.messageNumber, &id.uniqueId);
        std::stable_sort(ids.begin(), ids.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (Entry &entry : *entries) {
            const auto found = std::lower_bound(ids.begin(), ids.end(), entry.number,
                                                [](const auto &id, int number) { return id.first < number; });
            if (found != ids.end() && found->first == entry.number) entry.uniqueId = *found->second;
        }
    }
    if (session.LostSync()) return RC_LOST_SYNC;
    if (entries->empty()) session.CloseMailbox();
    return RC_OK;
}

void CPop3Conversation::PlanPreviews(std::vector<Entry> plan, int lines) {
    m_plan.clear();
    for (const Entry &entry : plan) m_plan.push_back(entry.number);
    m_lines = lines;
    m_asked = 0;
}

void CPop3Conversation::AskAhead(size_t next) {
    if (m_batch <= 1) return;
    if (m_asked < next) m_asked = next;
    // Refilled in bursts, once half the window is free: one write, and
    // one packet, for many commands.
    if (m_asked - next > static_cast<size_t>(m_batch / 2)) return;
    const size_t before = m_asked;
    while (m_asked < m_plan.size() && m_asked - next < static_cast<size_t>(m_batch) &&
           m_session->QueueTop(m_plan[m_asked], m_lines) == RC_OK)
        ++m_asked;
    // Out at once: asked ahead of the rows that need no server, the replies
    // are ready when their turn comes. (A failed send loses the step, which
    // the next read reports.)
    if (m_asked > before) m_session->SendQueued();
}

int CPop3Conversation::Owed() const { return m_session->QueuedCommands(); }

ResultCode CPop3Conversation::BeginPreview(const Entry &entry) {
    m_session->EndTop();
    m_session->SetReplySizeLimit(ReplyBoundFor(entry.size));
    return m_session->BeginTop(entry.number, m_lines);
}

int CPop3Conversation::ReadPreviewLine(char *buffer, int size, int *stuffing) {
    const int length = m_session->ReadMessageLine(buffer, size);
    // A line that begins with a dot came with one more in front.
    *stuffing = length > 0 && m_session->PieceStartedLine() && buffer[0] == '.' ? 1 : 0;
    if (length == 0 && m_session->LostSync()) return -1;
    return length;
}

void CPop3Conversation::EndPreview() { m_session->EndTop(); }

ResultCode CPop3Conversation::Retrieve(const Entry &entry, CUT_ByteSource &target, long *announced) {
    m_session->SetReplySizeLimit(ReplyBoundFor(entry.size));
    const ResultCode retrieved = m_session->RetrieveToSource(entry.number, target);
    *announced = m_session->AnnouncedOctets();
    return retrieved;
}

ResultCode CPop3Conversation::Remove(const Entry &entry, bool, Removal *how) {
    *how = Removal::AtFinish;
    return m_session->DeleteMessage(entry.number);
}

ResultCode CPop3Conversation::Finish() { return m_session->CloseMailbox(); }

bool CPop3Conversation::LostStep() const { return m_session->LostSync(); }

bool CPop3Conversation::Connected() { return m_session->IsConnected() != 0; }

std::string CPop3Conversation::Reason(ResultCode code) {
    return FailureReason(
        FailureFacts::From(code, *m_session, m_session->LastReply(), false, m_server.host, m_options.waitSeconds));
}

std::string CPop3Conversation::LogOnReport() {
    return Fill(Tr("mailbox", "Anmeldung mit %1, %2"),
                {m_session->Mechanism(),
                 m_session->TlsActive() ? m_session->TlsVersion() : std::string(Tr("mailbox", "ohne TLS"))});
}

std::string CPop3Conversation::UnverifiedCertificate() const {
    return m_session->CertificateUnverified() ? m_session->PeerFingerprint() : std::string();
}
