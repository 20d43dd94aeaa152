// SPDX-License-Identifier: GPL-3.0-or-later
// Client side of an IMAP4rev1 conversation (RFC 3501; RFC 9051's servers
// in mind), as far as a mailbox checker needs it: log-on (AUTHENTICATE
// with the same SASL client as POP3, or LOGIN), one mailbox opened
// read-only (EXAMINE) or for changes (SELECT), the list of messages by
// UID and size, previews (the header and the first bytes of the text) for
// many messages with one command, whole messages, and removal by UID
// only: UID MOVE, or UID COPY, flag \Deleted and UID EXPUNGE (RFC 4315).
// A plain EXPUNGE, which would also remove what another client flagged,
// never goes out. Nothing fetched is marked \Seen (BODY.PEEK).
//
// One command at a time, each with its own tag; bytes waiting before a
// command (other than the responses of previews asked ahead) lose the
// step, as over POP3; a tagged response with
// another tag, a continuation request nobody asked for, or anything the
// parser cannot place loses the step: the connection is closed and every
// later command gives RC_LOST_SYNC, so nothing more that could remove
// mail goes out. Each response is bounded in time as a whole.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CUT_ImapParser.h"
#include "CUT_MailSession.h"

class CUT_ByteSource;

// What went wrong, recorded where it happened (the record every mail
// session keeps).
using ImapFailure = SessionFailure;

struct ImapMessageEntry {
    uint32_t uid = 0;
    long size = 0;
};

// A message's header and the first bytes of its text, as fetched.
struct ImapPreview {
    std::string header;
    std::string text;
};

class CUT_ImapSession : public CUT_MailSession {
public:
    // Messages a listing keeps at most; the rest is dropped.
    static constexpr size_t kMaxListing = 1000000;

    CUT_ImapSession();
    ~CUT_ImapSession() override;

    int OnConnected(SocketHandle socket, const char *host) override;

    // Connects, reads the greeting, starts TLS as set and learns the
    // capabilities.
    virtual ResultCode Open(const char *host);
    // AUTHENTICATE with the mechanism named (empty: the strongest both
    // sides speak; with a token, XOAUTH2 or OAUTHBEARER), or LOGIN where
    // no SASL mechanism fits and the password may be seen on the line.
    virtual ResultCode LogOn(const std::string &user, const std::string &password);
    // EXAMINE (readOnly) or SELECT; learns UIDVALIDITY and EXISTS.
    virtual ResultCode OpenFolder(const std::string &name, bool readOnly);
    // Opens the folder as OpenFolder does and lists every message in it
    // (UID FETCH 1:* (UID RFC822.SIZE)), both commands in one write.
    virtual ResultCode OpenFolderAndList(const std::string &name, bool readOnly);
    // Where the log-on is one step (SASL-IR), the opening and listing of
    // this folder go out in the same write, and OpenFolderAndList of it
    // then reads their answers: no round trip between. After a refusal
    // they are read and dropped. Empty name: not.
    void SetFolderAfterLogOn(const std::string &name, bool readOnly);
    // UID FETCH of the header and the first textBytes of the text of these
    // messages, sent now; their data come with ReadPreviews.
    // textOffset > 0: only more of the text, from there on (no header),
    // appended by ReadPreviews to what the first fetch brought.
    virtual ResultCode SendPreviewFetch(const std::vector<uint32_t> &uids, size_t textBytes,
                                        size_t textOffset = 0);
    // Reads the responses of the preview fetch sent first and not read
    // yet, to its tagged end, into out (by UID).
    virtual ResultCode ReadPreviews(std::map<uint32_t, ImapPreview> *out);
    // The whole message (BODY.PEEK[]) into target; sizeLimit bounds it.
    virtual ResultCode FetchWhole(uint32_t uid, CUT_ByteSource &target, long sizeLimit);
    // The folder with the \Junk attribute (RFC 6154); RC_NO_SUCH_ENTRY
    // when there is none.
    virtual ResultCode FindJunkFolder(std::string *name);
    // UID MOVE where offered, else UID COPY, \Deleted and UID EXPUNGE; RC_OK
    // only when the message has left the folder, on the server's evidence
    // (its EXPUNGE for that UID); RC_REMOVAL_UNCERTAIN when the command
    // went out and that evidence, or any answer, did not come. Without UIDPLUS the copy
    // is flagged \Deleted and stays (*expunged false).
    virtual ResultCode MoveMessage(uint32_t uid, const std::string &folder, bool *expunged);
    // \Deleted and UID EXPUNGE; without UIDPLUS only the flag (*expunged
    // false). RC_DELE_REFUSED only where the message was left untouched.
    virtual ResultCode DeleteMessage(uint32_t uid, bool *expunged);
    // IDLE until the server reports new messages or seconds pass; then
    // DONE. *arrived: new messages were reported.
    virtual ResultCode Idle(int seconds, bool *arrived);
    // LOGOUT, not waited for: no commit hangs on it in IMAP, and the
    // connection closes at once.
    virtual ResultCode CloseMailbox();

    // As for POP3: mechanism empty for the strongest; allowClear false
    // forbids what shows the password without TLS away from this machine.
    ResultCode SetAuthentication(const std::string &mechanism, bool allowClear,
                                 const std::string &token);

    uint32_t UidValidity() const { return m_uidValidity; }
    const std::vector<ImapMessageEntry> &Messages() const { return m_messages; }
    // The size a FETCH of a whole message announced (its literal); -1 when none.
    long AnnouncedOctets() const { return m_announcedOctets; }
    // Preview fetches sent whose responses are not read yet.
    int OwedFetches() const { return static_cast<int>(m_previews.size()); }
    const std::string &LastReply() const { return m_lastLine; }

private:
    enum class Outcome { Ok, No, Lost };
    // Sends "tag text"; the trace shows `shown` where a secret is in it.
    // then: more lines for the same write, made once the tag is given.
    bool SendTagged(const std::string &text, std::string *tag, const std::string &shown = {},
                    const std::function<std::string()> &then = {});
    // Reads the next whole response within the time bound; false when the
    // step is lost.
    bool ReadResponse(ImapResponse *response);
    // Reads to the tagged response of tag, handing every untagged one to
    // take. A response with another tag or an unasked continuation loses
    // the step.
    // badRefuses: a BAD is a refusal (NO), not a lost step.
    Outcome Finish(const std::string &tag, const std::function<void(const ImapResponse &)> &take,
                   ImapResponse *tagged = nullptr, bool badRefuses = false);
    // The most a literal of this message may hold (by the listing).
    size_t BoundFor(uint32_t uid) const;
    // Takes the listing's FETCH responses into m_messages.
    void TakeListed(const ImapResponse &response, std::set<uint32_t> *seen);
    // A whole command: sent, read to its end.
    Outcome Run(const std::string &text,
                const std::function<void(const ImapResponse &)> &take = nullptr,
                ImapResponse *tagged = nullptr);
    // Notes what every response may carry (CAPABILITY, EXISTS, UIDVALIDITY).
    void Notice(const ImapResponse &response);
    ResultCode LoseSync(ResultCode code = RC_LOST_SYNC, SessionLimit limit = SessionLimit::None);
    ResultCode Refused(ResultCode code, const ImapResponse &tagged);
    // The end of a removal the server answered OK: RC_OK where an EXPUNGE
    // named the message, else RC_REMOVAL_UNCERTAIN.
    ResultCode Expunged(uint32_t uid, const ImapResponse &tagged, bool *expunged);
    ResultCode Capability();
    ResultCode StartTls();
    ResultCode Authenticate(const std::string &mechanism, const std::string &user,
                            const std::string &secret);
    // One log-on attempt with this mechanism ("LOGIN-COMMAND": LOGIN).
    ResultCode LogOnWith(const std::string &mechanism, const std::string &user, const std::string &password);
    void Trace(bool sent, const std::string &text);

    CUT_ImapParser m_parser;
    uint32_t m_uidValidity = 0;
    long m_exists = 0;
    bool m_existsGrew = false;
    bool m_capabilitiesSeen = false;  // since the log-on began
    std::vector<ImapMessageEntry> m_messages;
    std::vector<uint32_t> m_bySequence;  // the UID at each place of the folder
    std::set<uint32_t> m_expunged;       // UIDs an EXPUNGE named since the last removal began
    bool m_sent = false;                 // the last command went out whole
    // The preview fetches sent whose responses are not read yet, in order.
    struct AskedPreviews {
        std::string tag;
        std::set<uint32_t> uids;
        size_t bound = 0;      // the largest literal it may bring
        size_t textBytes = 0;  // of each message's text
        size_t textOffset = 0; // where in the text they begin
    };
    std::vector<AskedPreviews> m_previews;
    // The opening and listing of a folder, sent and not read yet (or read
    // early, with their result).
    struct FolderAsked {
        std::string openTag, listTag, open, list;
        bool read = false;
        ResultCode result = RC_OK;
    };
    FolderAsked m_folder;
    std::string m_afterLogOn;
    bool m_afterLogOnReadOnly = true;
    std::string FolderCommands(const std::string &quoted, bool readOnly);
    ResultCode ReadFolder();
    ResultCode DropFolder();
    // The lines of the folder to open with the log-on, if one is set.
    std::function<std::string()> FolderAfterLogOn();
    size_t m_listedResponses = 0;
    // Set by a reader that met data nobody asked for (what it was): the
    // reply is not read on.
    const char *m_unasked = nullptr;
    long m_announcedOctets = -1;
    unsigned m_nextTag = 0;
    std::string m_lastLine;
};
