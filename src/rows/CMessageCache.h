// SPDX-License-Identifier: GPL-3.0-or-later
// What an account's earlier scans learnt of its messages, so that a check
// fetches only what is new: per message (by its unique id: POP3's UIDL,
// IMAP's UIDVALIDITY and UID) the size, the text the TOP brought (header
// and first 25 body lines), the cells of its row, and what the patterns
// said of it and which patterns those were.
//
// Every row and every text carries a checksum (CRC-32) over what it says;
// one that does not match on reading counts as unknown, and its message
// is fetched from the server. A file that SQLite finds damaged is made
// anew.
//
// One SQLite file per account (WAL, so a window and a run from cron can
// share it) in the user's cache folder, file 0600 and folder 0700. The
// cache only saves transfer: nothing is removed on its word (the scan
// fetches a matched message live before it acts). Whatever goes wrong with
// it (missing, locked, corrupt, written by another version, a full disk)
// costs a full scan, never an error: the cache says why through its note
// and is rebuilt, or left alone for this run where another process holds it.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "CScanList.h"
#include "Translate.h"

struct sqlite3;
struct sqlite3_stmt;

struct CachedMessage : RowCells {
    long size = 0;
    std::string top;  // filled by Find only when asked for
    bool hasMessageId = false;
    std::string messageId;
    // The patterns last tried on it (their key) and what they said: for
    // Store (Index tells them; Find leaves them out).
    std::string patternsKey;
    bool matched = false;
    std::string pattern;
};

class CMessageCache {
public:
    // The layout of the file; a file of any other is rebuilt.
    static constexpr int kVersion = 5;
    // Writes committed together (short transactions: another process
    // waits at most for one of them).
    static constexpr int kBatch = 200;
    // How long to wait for another process's transaction.
    static constexpr int kBusyMilliseconds = 3000;

    // The cache of one account (accountKey names server and user), for the
    // program of that name. note gets one line for each thing that went
    // wrong (for --debug).
    CMessageCache(const std::string &programName, const std::string &accountKey,
                  std::function<void(const std::string &)> note = {},
                  std::function<void(const std::string &)> notice = {});
    ~CMessageCache();
    CMessageCache(const CMessageCache &) = delete;
    CMessageCache &operator=(const CMessageCache &) = delete;

    // Where the notes go from now on (the cache may be opened elsewhere).
    void SetNote(std::function<void(const std::string &)> note) { m_note = std::move(note); }
    // Where the lines go that the user must see, each at most once: the
    // file was damaged and is rebuilt, or cannot be written.
    void SetNotice(std::function<void(const std::string &)> notice) { m_notice = std::move(notice); }
    // false when this run goes without the cache.
    bool Usable() const { return m_db != nullptr; }
    // What every cached message's size is, and whether the patterns of
    // patternsKey said it matched.
    struct Known {
        long size = 0;
        bool samePatterns = false;  // tried last by the patterns of that key
        bool matched = false;       // what they said
        long long row = 0;          // where the entry lies in the file, for Find
    };
    std::unordered_map<std::string, Known> Index(const std::string &patternsKey);
    // The entry of id when its size is still size; withTop: with the text.
    // With the row Index gave: entries asked for in the order they were
    // stored are read in one pass through the file.
    bool Find(const std::string &id, long size, bool withTop, CachedMessage *out, long long row = 0);
    void Store(const std::string &id, const CachedMessage &message);
    // Notes what other patterns said of a cached message.
    void Remember(const std::string &id, const std::string &patternsKey, bool matched,
                  const std::string &pattern);
    // The message left the server.
    void Forget(const std::string &id);
    // A rule line (pattern or allow-list) matched a message now.
    void NoteRuleHit(const std::string &line);
    // Lines in use: one not seen before counts from now, so that it is
    // called unused only 30 days after it came without a hit.
    void NoteRulesSeen(const std::vector<std::string> &lines);
    // When each rule line last matched (seconds since the epoch).
    std::unordered_map<std::string, long long> RuleHits();
    // The text cached for id (header and first lines); empty when none,
    // or when it did not prove to be what was stored.
    std::string Text(const std::string &id);
    // Commits what is written.
    void Flush();

    // $XDG_CACHE_HOME/pelloru (~/.cache/pelloru when unset).
    static std::string Folder();
    // The file of an account: the program's name and a hash of the key.
    static std::string FileFor(const std::string &programName, const std::string &accountKey);
    // A short, stable key of a text (64-bit FNV-1a in hex), e.g. of the patterns.
    static std::string Key(const std::string &text);

private:
    bool Open(const std::string &path, bool retry);
    void Close();
    bool Exec(const char *sql);
    // Gives up the cache for this run after a failed read or write; a
    // damaged file is made anew (once).
    static constexpr const char *kReadFailed = TrNoop("rows", "Lesen gescheitert");
    static constexpr const char *kWriteFailed = TrNoop("rows", "Schreiben gescheitert");
    void Fail(const char *what);
    // A note for --debug that the user sees as well.
    void Tell(const std::string &line);
    // A row or text that did not match its checksum.
    void Damage(const std::string &id);
    // The text of id, and whether it proved to be what was stored.
    bool ReadText(const std::string &id, std::string *text);
    void Begin();
    // In a transaction for writing; false when the cache is gone.
    bool Writable();
    // Runs a bound statement and makes it ready for the next binding.
    static bool Step(sqlite3_stmt *statement);
    // Counts a write that went through, or gives up the cache for the run.
    void Written(bool done);

    sqlite3 *m_db = nullptr;
    // The entry at a row; the statement stays open on it, for the next.
    bool ReadOn(const std::string &id, long long row);
    // Fills out from the columns of a found entry.
    static void Fill(sqlite3_stmt *statement, CachedMessage *out);

    sqlite3_stmt *m_find = nullptr;
    sqlite3_stmt *m_walk = nullptr;  // entries from a row on, in the file's order
    long long m_walkAt = -1;         // the row m_walk stands on (-1: none)
    sqlite3_stmt *m_findTop = nullptr;
    sqlite3_stmt *m_store = nullptr;
    sqlite3_stmt *m_remember = nullptr;
    sqlite3_stmt *m_forget = nullptr;
    sqlite3_stmt *m_forgetText = nullptr;
    sqlite3_stmt *m_storeText = nullptr;
    sqlite3_stmt *m_hit = nullptr;
    // One transaction for reads and writes alike (a lock taken per
    // statement would cost system calls by the thousand), committed every
    // kBatch writes and at the end.
    bool m_inTransaction = false;
    int m_pending = 0;  // writes in the open transaction
    std::string m_path;
    std::function<void(const std::string &)> m_note;
    std::function<void(const std::string &)> m_notice;
    bool m_rebuilt = false;         // the damaged file was made anew once
    bool m_toldUnwritable = false;
    bool m_toldDamage = false;
};
