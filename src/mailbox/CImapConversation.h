// SPDX-License-Identifier: GPL-3.0-or-later
// The scan's conversation over IMAP: one CUT_ImapSession on the INBOX,
// opened read-only unless something may be removed. Previews come for many
// messages with one UID FETCH (the header and the first bytes of the text,
// cut here at the lines a POP3 TOP would bring), and a removal is a move to
// the spam folder or a deletion by UID, done when the server's tagged OK
// says so. A message's key is the folder's UIDVALIDITY with its UID.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "CMailboxConversation.h"
#include "CServerAddress.h"

class CUT_ImapSession;
struct ImapPreview;

class CImapConversation : public CMailboxConversation {
public:
    // Messages a preview fetch asks for at once.
    static constexpr size_t kChunk = 500;
    // Bytes of the text a preview fetch asks for; the lines are cut after.
    // First the part that holds 25 lines of most messages; the rest only
    // for those whose lines did not fit, asked for at once in one fetch.
    static constexpr size_t kPreviewTextBytes = 16 * 1024;
    static constexpr size_t kFirstTextBytes = 4 * 1024;

    CImapConversation(CServerAddress server, Options options);
    ~CImapConversation() override;

    ResultCode LogOn(const MailAccount &account) override;
    ResultCode List(bool mayChange, std::vector<Entry> *entries) override;
    void PlanPreviews(std::vector<Entry> plan, int lines) override;
    void AskAhead(size_t next) override;
    int Owed() const override;
    ResultCode BeginPreview(const Entry &entry) override;
    int ReadPreviewLine(char *buffer, int size, int *stuffing) override;
    void EndPreview() override;
    ResultCode Retrieve(const Entry &entry, CUT_ByteSource &target, long *announced) override;
    ResultCode Remove(const Entry &entry, bool asMatch, Removal *how) override;
    ResultCode Finish() override;
    bool LostStep() const override;
    bool Connected() override;
    std::string Reason(ResultCode code) override;
    std::string LogOnReport() override;
    RowState RemovedState() const override;
    std::string UnverifiedCertificate() const override;
    ResultCode CanRemove(bool asMatch) override;

    // For push: opens the inbox read-only, then waits (IDLE) up to seconds
    // for new mail; *arrived says whether the server reported some.
    ResultCode Watch();
    bool OffersIdle() const;
    ResultCode WaitForMail(int seconds, bool *arrived);

    // The UID of a listed message; 0 when the number is not listed.
    uint32_t UidOf(int number) const;

private:
    // Reads the preview fetches still owed into the cache.
    ResultCode ReadOwed();
    // Sends a preview fetch (textOffset > 0: the rest of the texts).
    ResultCode SendFetch(std::vector<uint32_t> uids, size_t textBytes, size_t textOffset);
    // Reads the oldest fetch owed, then asks for the rest of each text
    // whose lines did not fit in its first part.
    ResultCode ReadFetch();
    // Whether a preview's first part holds fewer lines than wanted and
    // there is more of its text to ask for.
    bool NeedsMore(uint32_t uid, const ImapPreview &preview) const;
    bool Stopping() const;
    std::set<uint32_t> m_continued;  // asked for the rest of their text
    std::set<uint32_t> m_pending;    // of those, not read yet
    // The fetches owed, oldest first: the messages each asks for, and
    // whether for the rest of their texts.
    struct Fetch {
        std::vector<uint32_t> uids;
        bool rest = false;
    };
    std::deque<Fetch> m_fetches;
    int m_lines = 0;
    CServerAddress m_server;
    Options m_options;
    std::unique_ptr<CUT_ImapSession> m_session;
    std::vector<uint32_t> m_uids;        // by message number - 1
    std::vector<uint32_t> m_plan;        // UIDs, in the order of reading
    size_t m_asked = 0;
    std::map<uint32_t, ImapPreview> m_cache;
    std::string m_open;                  // the preview being read
    size_t m_at = 0;
    bool m_atLineStart = true;
    std::string m_junk;                  // the spam folder, once found
    ResultCode m_junkMissing = RC_OK;    // why there is none, once asked
    bool m_finished = false;
};
