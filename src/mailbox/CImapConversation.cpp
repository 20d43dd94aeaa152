// SPDX-License-Identifier: GPL-3.0-or-later
#include "CImapConversation.h"

#include <cstring>

#include "CUT_ImapSession.h"
#include "FailureReason.h"
#include "Translate.h"

namespace {

// The header and the first `lines` lines of the text, as TOP would bring
// them (0 lines: the header alone).
std::string CutPreview(const ImapPreview &preview, int lines) {
    std::string out = preview.header;
    size_t at = 0;
    for (int line = 0; line < lines && at < preview.text.size(); ++line) {
        const size_t end = preview.text.find('\n', at);
        at = end == std::string::npos ? preview.text.size() : end + 1;
    }
    out.append(preview.text, 0, at);
    return out;
}

}  // namespace

CImapConversation::CImapConversation(CServerAddress server, Options options)
    : m_server(std::move(server)), m_options(std::move(options)),
      m_session(std::make_unique<CUT_ImapSession>()) {}

CImapConversation::~CImapConversation() {
    // LOGOUT where the scan ended without finishing (an empty folder).
    if (!m_finished) m_session->CloseMailbox();
}

ResultCode CImapConversation::LogOn(const MailAccount &account) {
    CUT_ImapSession &session = *m_session;
    const ResultCode set = PrepareSession(session, m_server, m_options, account);
    if (set != RC_OK) return set;
    if (m_options.listAfterLogOn != 0) session.SetFolderAfterLogOn("INBOX", m_options.listAfterLogOn == 1);
    const ResultCode opened = session.Open(m_server.host.c_str());
    if (opened != RC_OK) return opened;
    return session.LogOn(account.user, account.password);
}

ResultCode CImapConversation::List(bool mayChange, std::vector<Entry> *entries) {
    entries->clear();
    m_uids.clear();
    // Read-only where nothing will be removed: no flag can change.
    const ResultCode result = m_session->OpenFolderAndList("INBOX", !mayChange);
    if (result != RC_OK) return result;
    const std::string validity = std::to_string(m_session->UidValidity());
    int number = 0;
    for (const ImapMessageEntry &message : m_session->Messages()) {
        m_uids.push_back(message.uid);
        entries->push_back({++number, message.size, validity + "." + std::to_string(message.uid)});
    }
    return RC_OK;
}

ResultCode CImapConversation::Watch() { return m_session->OpenFolder("INBOX", true); }

bool CImapConversation::OffersIdle() const { return m_session->HasCapability("IDLE"); }

ResultCode CImapConversation::WaitForMail(int seconds, bool *arrived) {
    return m_session->Idle(seconds, arrived);
}

uint32_t CImapConversation::UidOf(int number) const {
    return number >= 1 && static_cast<size_t>(number) <= m_uids.size() ? m_uids[static_cast<size_t>(number) - 1] : 0;
}

void CImapConversation::PlanPreviews(std::vector<Entry> plan, int lines) {
    m_plan.clear();
    for (const Entry &entry : plan) m_plan.push_back(UidOf(entry.number));
    m_lines = lines;
    m_asked = 0;
    m_cache.clear();
    // (What is still owed arrives as it was asked.)
    if (m_fetches.empty()) m_continued.clear();
}

void CImapConversation::AskAhead(size_t next) {
    if (m_asked < next) m_asked = next;
    // One fetch in flight and one being read: the next chunk goes out once
    // the cache runs below half a chunk.
    if (m_session->OwedFetches() > 1 || m_asked - next > kChunk / 2 || m_asked >= m_plan.size()) return;
    const size_t chunk = m_options.window <= 1 ? 1 : kChunk;
    std::vector<uint32_t> uids;
    while (m_asked < m_plan.size() && uids.size() < chunk) uids.push_back(m_plan[m_asked++]);
    SendFetch(std::move(uids), m_lines > 0 ? kFirstTextBytes : 0, 0);
}

bool CImapConversation::NeedsMore(uint32_t uid, const ImapPreview &preview) const {
    if (m_lines <= 0 || preview.text.size() != kFirstTextBytes || m_continued.count(uid) != 0) return false;
    size_t ends = 0;
    for (const char c : preview.text)
        if (c == '\n' && ++ends >= static_cast<size_t>(m_lines)) return false;
    return true;
}

ResultCode CImapConversation::SendFetch(std::vector<uint32_t> uids, size_t textBytes, size_t textOffset) {
    const ResultCode sent = m_session->SendPreviewFetch(uids, textBytes, textOffset);
    if (sent != RC_OK) return sent;
    const bool rest = textOffset > 0;
    if (rest) {
        m_continued.insert(uids.begin(), uids.end());
        m_pending.insert(uids.begin(), uids.end());
    }
    m_fetches.push_back({std::move(uids), rest});
    return RC_OK;
}

bool CImapConversation::Stopping() const { return m_options.stop != nullptr && m_options.stop->load(); }

ResultCode CImapConversation::ReadFetch() {
    const ResultCode read = m_session->ReadPreviews(&m_cache);
    if (read == RC_LOST_SYNC) return read;
    if (m_fetches.empty()) return read;
    const Fetch fetch = std::move(m_fetches.front());
    m_fetches.pop_front();
    if (fetch.rest) {
        for (const uint32_t uid : fetch.uids) m_pending.erase(uid);
        return read;
    }
    // The rest of the texts whose lines did not fit: one fetch for all,
    // behind those already on their way (after a stop, nothing more).
    std::vector<uint32_t> more;
    for (const uint32_t uid : fetch.uids)
        if (const auto found = m_cache.find(uid); found != m_cache.end() && NeedsMore(uid, found->second))
            more.push_back(uid);
    if (!more.empty() && !Stopping() &&
        SendFetch(std::move(more), kPreviewTextBytes - kFirstTextBytes, kFirstTextBytes) != RC_OK)
        return RC_LOST_SYNC;
    return read;
}

int CImapConversation::Owed() const { return m_session->OwedFetches(); }

ResultCode CImapConversation::ReadOwed() {
    while (m_session->OwedFetches() > 0)
        if (ReadFetch() == RC_LOST_SYNC) return RC_LOST_SYNC;
    return RC_OK;
}

ResultCode CImapConversation::BeginPreview(const Entry &entry) {
    m_open.clear();
    m_at = 0;
    m_atLineStart = true;
    const uint32_t uid = UidOf(entry.number);
    auto found = m_cache.find(uid);
    ResultCode read = RC_OK;
    for (bool alone = false;; alone = true) {
        // Read what was asked ahead, up to the fetch that holds it (and the
        // one with the rest of its text, where that was asked).
        while ((found == m_cache.end() || m_pending.count(uid) != 0) && m_session->OwedFetches() > 0) {
            if ((read = ReadFetch()) == RC_LOST_SYNC) return RC_LOST_SYNC;
            found = m_cache.find(uid);
        }
        if (found != m_cache.end() || alone) break;
        // Not asked ahead: on its own.
        if (SendFetch({uid}, m_lines > 0 ? kFirstTextBytes : 0, 0) != RC_OK) return RC_LOST_SYNC;
    }
    if (found == m_cache.end() && read != RC_OK) return read;
    if (found == m_cache.end()) return RC_NO_MESSAGE_DATA;  // gone meanwhile?
    // Its 25 lines did not fit and the rest was not asked for (a stop came
    // first): no row, and no decision, on part of them.
    if (NeedsMore(uid, found->second)) return RC_ABORTED;
    m_open = CutPreview(found->second, m_lines);
    m_cache.erase(found);
    m_continued.erase(uid);
    return RC_OK;
}

int CImapConversation::ReadPreviewLine(char *buffer, int size, int *stuffing) {
    *stuffing = 0;
    if (size < 2 || m_at >= m_open.size()) return 0;
    // Looked for only as far as the piece may reach: a long line costs its
    // length once, not once per piece.
    const size_t most = std::min(m_open.size() - m_at, static_cast<size_t>(size - 1));
    const void *end = std::memchr(m_open.data() + m_at, '\n', most);
    const size_t length = end == nullptr ? most : static_cast<size_t>(static_cast<const char *>(end) - (m_open.data() + m_at)) + 1;
    std::memcpy(buffer, m_open.data() + m_at, length);
    buffer[length] = '\0';
    m_at += length;
    return static_cast<int>(length);
}

void CImapConversation::EndPreview() {
    m_open.clear();
    m_at = 0;
}

ResultCode CImapConversation::Retrieve(const Entry &entry, CUT_ByteSource &target, long *announced) {
    *announced = -1;
    if (ReadOwed() != RC_OK) return RC_LOST_SYNC;
    const ResultCode fetched = m_session->FetchWhole(UidOf(entry.number), target, ReplyBoundFor(entry.size));
    *announced = m_session->AnnouncedOctets();
    return fetched;
}

ResultCode CImapConversation::Remove(const Entry &entry, bool asMatch, Removal *how) {
    *how = Removal::Done;
    if (ReadOwed() != RC_OK) return RC_LOST_SYNC;
    bool expunged = false;
    ResultCode result;
    if (asMatch && m_options.moveToSpam) {
        result = CanRemove(true);
        if (result != RC_OK) return result;
        result = m_session->MoveMessage(UidOf(entry.number), m_junk, &expunged);
    } else {
        result = m_session->DeleteMessage(UidOf(entry.number), &expunged);
    }
    if (result == RC_OK && !expunged) *how = Removal::Flagged;
    return result;
}

ResultCode CImapConversation::CanRemove(bool asMatch) {
    if (!asMatch || !m_options.moveToSpam) return RC_OK;
    if (ReadOwed() != RC_OK) return RC_LOST_SYNC;
    // The spam folder is looked for once a conversation, and so is its lack.
    if (m_junk.empty()) m_junk = m_options.spamFolder;
    if (m_junk.empty() && m_junkMissing == RC_OK) {
        m_junkMissing = m_session->FindJunkFolder(&m_junk);
        if (m_junkMissing == RC_OK && m_junk.empty()) m_junkMissing = RC_NO_SUCH_ENTRY;
    }
    return m_junk.empty() ? m_junkMissing : RC_OK;
}

ResultCode CImapConversation::Finish() {
    m_finished = true;
    return m_session->CloseMailbox();
}

bool CImapConversation::LostStep() const { return m_session->LostSync(); }

bool CImapConversation::Connected() { return m_session->IsConnected() != 0; }

std::string CImapConversation::Reason(ResultCode code) {
    if (code == RC_NO_SUCH_ENTRY && m_options.moveToSpam)
        return Tr("mailbox",
                  "Kein Spam-Ordner: der Server kennzeichnet keinen als \\Junk, oder der eingestellte "
                  "Name ist kein gültiges UTF-8; bitte einen in den Einstellungen angeben");
    return FailureReason(
        FailureFacts::From(code, *m_session, m_session->LastReply(), true, m_server.host, m_options.waitSeconds));
}

std::string CImapConversation::LogOnReport() {
    return Fill(Tr("mailbox", "Anmeldung mit %1, %2 (IMAP)"),
                {m_session->Mechanism(),
                 m_session->TlsActive() ? m_session->TlsVersion() : std::string(Tr("mailbox", "ohne TLS"))});
}

RowState CImapConversation::RemovedState() const {
    return m_options.moveToSpam ? RowState::Moved : RowState::Deleted;
}

std::string CImapConversation::UnverifiedCertificate() const {
    return m_session->CertificateUnverified() ? m_session->PeerFingerprint() : std::string();
}
