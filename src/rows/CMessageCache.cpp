// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMessageCache.h"
#include "Translate.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>

namespace {

// Small columns first, the preview last: a look at what the patterns said
// reads no text at all. The fetched text, needed only when the patterns
// change or match, lives in a table of its own, so that a row's cells are
// read without it.
constexpr const char *kSchema =
    "CREATE TABLE IF NOT EXISTS message ("
    " id BLOB PRIMARY KEY, size INTEGER NOT NULL, patterns_key BLOB, matched INTEGER, pattern BLOB,"
    " has_from INTEGER, address BLOB, name BLOB, has_subject INTEGER, subject BLOB,"
    " has_message_id INTEGER, message_id BLOB, preview BLOB, sum INTEGER);"
    "CREATE TABLE IF NOT EXISTS text (id BLOB PRIMARY KEY, top BLOB, sum INTEGER);"
    // What Index reads, without touching the rows themselves.
    "CREATE INDEX IF NOT EXISTS known ON message (id, size, patterns_key, matched)";

constexpr const char *kColumns =
    "size, has_from, address, name, has_subject, subject, preview, has_message_id, message_id,"
    " patterns_key, matched, pattern, sum";
// Where the walk finds what follows the columns.
constexpr int kSumColumn = 12;
constexpr int kRowidColumn = 13;
constexpr int kIdColumn = 14;

void Bind(sqlite3_stmt *statement, int index, const std::string &bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

std::string Column(sqlite3_stmt *statement, int index) {
    const void *data = sqlite3_column_blob(statement, index);
    const int size = sqlite3_column_bytes(statement, index);
    return data == nullptr ? std::string() : std::string(static_cast<const char *>(data), static_cast<size_t>(size));
}

// Another process holds the file: wait for it another time, never rebuild.
bool Busy(int code) { return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED; }

// The file itself is damaged: rebuild it.
bool Damaged(int code) { return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB; }

// A checksum of texts, each with its length, so that no two sets of
// texts share a sequence of bytes.
class Sum {
public:
    Sum &Add(std::string_view bytes) {
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        const unsigned char length[4] = {static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
                                         static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
        m_crc = crc32_z(m_crc, length, sizeof length);
        m_crc = crc32_z(m_crc, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
        return *this;
    }
    Sum &Add(long long number) { return Add(std::to_string(number)); }
    long long Value() const { return static_cast<long long>(m_crc); }

private:
    uLong m_crc = crc32_z(0L, Z_NULL, 0);
};

// What a row says of its message, summed: its id, size and cells.
long long RowSum(std::string_view id, const CachedMessage &row) {
    return Sum()
        .Add(id)
        .Add(row.size)
        .Add(row.hasFrom ? 1 : 0)
        .Add(row.address)
        .Add(row.name)
        .Add(row.hasSubject ? 1 : 0)
        .Add(row.subject)
        .Add(row.preview)
        .Add(row.hasMessageId ? 1 : 0)
        .Add(row.messageId)
        .Value();
}

long long TextSum(std::string_view id, std::string_view top) { return Sum().Add(id).Add(top).Value(); }

}  // namespace

std::string CMessageCache::Folder() {
    const char *cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/pelloru";
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/tmp") + "/.cache/pelloru";
}

std::string CMessageCache::Key(const std::string &text) {
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", hash);
    return out;
}

std::string CMessageCache::FileFor(const std::string &programName, const std::string &accountKey) {
    std::string name;
    for (char c : programName) name += (c == '/' || c == '\0') ? '_' : c;
    return Folder() + "/" + name + "-" + Key(accountKey) + ".sqlite";
}

CMessageCache::CMessageCache(const std::string &programName, const std::string &accountKey,
                             std::function<void(const std::string &)> note,
                             std::function<void(const std::string &)> notice)
    : m_note(std::move(note)), m_notice(std::move(notice)) {
    std::error_code ec;
    const std::string folder = Folder();
    std::filesystem::create_directories(folder, ec);
    ::chmod(folder.c_str(), 0700);
    m_path = FileFor(programName, accountKey);
    Open(m_path, true);
}

CMessageCache::~CMessageCache() {
    Flush();
    Close();
}

void CMessageCache::Close() {
    for (sqlite3_stmt **statement :
         {&m_find, &m_walk, &m_findTop, &m_store, &m_storeText, &m_remember, &m_forget, &m_forgetText, &m_hit}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    if (m_db != nullptr) sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_pending = 0;
    m_inTransaction = false;
    m_walkAt = -1;
}

bool CMessageCache::Exec(const char *sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CMessageCache::Open(const std::string &path, bool retry) {
    // Made by us with the owner's rights only, before SQLite opens it (its
    // journal files take the same rights).
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (m_note) m_note(::Fill(Tr("rows", "Zwischenspeicher %1 lässt sich nicht öffnen; voller Abruf"), {path}));
        return false;
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    int code = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    int version = -1;
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(m_db, kBusyMilliseconds);
        sqlite3_stmt *statement = nullptr;
        code = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &statement, nullptr);
        if (code == SQLITE_OK) {
            code = sqlite3_step(statement);
            if (code == SQLITE_ROW) {
                version = sqlite3_column_int(statement, 0);
                code = SQLITE_OK;
            }
        }
        sqlite3_finalize(statement);
    }
    if (code == SQLITE_OK && version == 0) {
        // A new file (or one a crash left empty): lay it out.
        code = sqlite3_exec(m_db, "PRAGMA page_size=16384; PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (code == SQLITE_OK) code = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_exec(m_db, ("PRAGMA user_version=" + std::to_string(kVersion)).c_str(), nullptr,
                                nullptr, nullptr);
        version = code == SQLITE_OK ? kVersion : -1;
    }
    if (code == SQLITE_OK && version == kVersion) {
        sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        // When each rule last matched, for the rules editor.
        code = sqlite3_exec(m_db, "CREATE TABLE IF NOT EXISTS rule_hit (line BLOB PRIMARY KEY, last INTEGER)",
                            nullptr, nullptr, nullptr);
        // A scan reads each row once: a small page cache does.
        sqlite3_exec(m_db, "PRAGMA cache_size=-512", nullptr, nullptr, nullptr);
        const std::string find = std::string("SELECT ") + kColumns + " FROM message WHERE id=?";
        const std::string findTop = "SELECT top, sum FROM text WHERE id=?";
        const std::string store = std::string("INSERT OR REPLACE INTO message (id, ") + kColumns +
                                  ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
        const std::string walk = std::string("SELECT ") + kColumns + ", rowid, id FROM message WHERE rowid>=?";
        if (code == SQLITE_OK) code = sqlite3_prepare_v2(m_db, find.c_str(), -1, &m_find, nullptr);
        if (code == SQLITE_OK) code = sqlite3_prepare_v2(m_db, walk.c_str(), -1, &m_walk, nullptr);
        if (code == SQLITE_OK) code = sqlite3_prepare_v2(m_db, findTop.c_str(), -1, &m_findTop, nullptr);
        if (code == SQLITE_OK) code = sqlite3_prepare_v2(m_db, store.c_str(), -1, &m_store, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_prepare_v2(m_db, "UPDATE message SET patterns_key=?, matched=?, pattern=? WHERE id=?", -1,
                                      &m_remember, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_prepare_v2(m_db, "DELETE FROM message WHERE id=?", -1, &m_forget, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_prepare_v2(m_db, "DELETE FROM text WHERE id=?", -1, &m_forgetText, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO text VALUES (?,?,?)", -1, &m_storeText, nullptr);
        if (code == SQLITE_OK)
            code = sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO rule_hit VALUES (?, strftime('%s','now'))", -1,
                                      &m_hit, nullptr);
        if (code == SQLITE_OK) return true;
    }
    const std::string why = m_db != nullptr ? sqlite3_errmsg(m_db) : std::string(Tr("rows", "kein Speicher"));
    Close();
    if (Busy(code)) {
        if (m_note)
            m_note(
                ::Fill(Tr("rows", "Zwischenspeicher %1 ist von einem anderen Prozess belegt; voller Abruf"), {path}));
        return false;
    }
    if (code == SQLITE_OK) {
        if (m_note)
            m_note(::Fill(Tr("rows", "Zwischenspeicher %1 hat ein anderes Format (Version %2); er wird neu aufgebaut"),
                          {path, std::to_string(version)}));
    } else {
        Tell(::Fill(Tr("rows", "Der Zwischenspeicher %1 ist unlesbar (%2); er wird neu aufgebaut"), {path, why}));
    }
    if (!retry) return false;
    for (const char *suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
    return Open(path, false);
}

void CMessageCache::Tell(const std::string &line) {
    if (m_note) m_note(line);
    if (m_notice) m_notice(line);
}

void CMessageCache::Fail(const char *what) {
    if (m_db == nullptr) return;
    const int code = sqlite3_errcode(m_db);
    const std::string why = sqlite3_errmsg(m_db);
    sqlite3_reset(m_walk);
    if (m_inTransaction) Exec("ROLLBACK");
    Close();
    if (Busy(code)) {
        if (m_note) m_note(::Fill(Tr("rows", "Zwischenspeicher: %1 (%2); ohne ihn weiter"), {Tr("rows", what), why}));
        return;
    }
    if (!Damaged(code) || m_rebuilt) {
        // A full disk, or no rights: this run goes without the cache.
        if (!m_toldUnwritable)
            Tell(::Fill(std::strcmp(what, kWriteFailed) == 0
                            ? Tr("rows",
                                 "Der Zwischenspeicher %1 lässt sich nicht schreiben (%2); diese Prüfung läuft "
                                 "ohne ihn")
                            : Tr("rows",
                                 "Der Zwischenspeicher %1 lässt sich nicht lesen (%2); diese Prüfung läuft ohne "
                                 "ihn"),
                        {m_path, why}));
        m_toldUnwritable = true;
        return;
    }
    // A damaged file is made anew, once: what this check fetches fills it.
    m_rebuilt = true;
    Tell(::Fill(Tr("rows",
                   "Der Zwischenspeicher %1 ist beschädigt (%2); er wird neu aufgebaut, diese Prüfung holt "
                   "die E-Mails vom Server"),
                {m_path, why}));
    for (const char *suffix : {"", "-wal", "-shm"}) ::unlink((m_path + suffix).c_str());
    Open(m_path, false);
}

bool CMessageCache::Find(const std::string &id, long size, bool withTop, CachedMessage *out, long long row) {
    if (m_db == nullptr) return false;
    Begin();
    if (m_db == nullptr) return false;
    sqlite3_stmt *statement = nullptr;
    if (row > 0 && ReadOn(id, row)) {
        statement = m_walk;
    } else {
        // (A failed walk may have made the file anew: its statements too.)
        if (m_db == nullptr) return false;
        statement = m_find;
        sqlite3_reset(statement);
        Bind(statement, 1, id);
        const int code = sqlite3_step(statement);
        if (code != SQLITE_ROW) {
            if (code != SQLITE_DONE) Fail(kReadFailed);
            return false;
        }
    }
    // A message whose size changed is no longer the one cached.
    if (sqlite3_column_int64(statement, 0) != size) return false;
    out->size = size;
    Fill(statement, out);
    const bool whole = sqlite3_column_type(statement, kSumColumn) == SQLITE_INTEGER &&
                       sqlite3_column_int64(statement, kSumColumn) == RowSum(id, *out);
    if (statement == m_find) sqlite3_reset(statement);
    // Only a row that proves to be what was stored is shown.
    if (!whole || (withTop && !ReadText(id, &out->top))) {
        Damage(id);
        return false;
    }
    if (!withTop) out->top.clear();
    return true;
}

void CMessageCache::Damage(const std::string &id) {
    if (m_note)
        m_note(::Fill(Tr("rows", "Zwischenspeicher: der Eintrag %1 passt nicht zu seiner Prüfsumme; vom Server geholt"),
                      {id}));
    if (!m_toldDamage)
        Tell(
            ::Fill(Tr("rows", "Der Zwischenspeicher %1 enthält beschädigte Einträge; sie werden vom Server neu geholt"),
                   {m_path}));
    m_toldDamage = true;
}

bool CMessageCache::ReadOn(const std::string &id, long long row) {
    // On from where the walk stands; a row behind it starts a new walk.
    if (m_walkAt < 0 || m_walkAt > row) {
        sqlite3_reset(m_walk);
        sqlite3_bind_int64(m_walk, 1, row);
        m_walkAt = 0;
    }
    while (m_walkAt < row) {
        const int code = sqlite3_step(m_walk);
        if (code != SQLITE_ROW) {
            if (code != SQLITE_DONE) Fail(kReadFailed);
            m_walkAt = -1;
            return false;
        }
        m_walkAt = sqlite3_column_int64(m_walk, kRowidColumn);
    }
    const void *data = sqlite3_column_blob(m_walk, kIdColumn);
    const size_t bytes = static_cast<size_t>(sqlite3_column_bytes(m_walk, kIdColumn));
    return m_walkAt == row && bytes == id.size() && (bytes == 0 || std::memcmp(data, id.data(), bytes) == 0);
}

void CMessageCache::Fill(sqlite3_stmt *statement, CachedMessage *out) {
    out->hasFrom = sqlite3_column_int(statement, 1) != 0;
    out->address = Column(statement, 2);
    out->name = Column(statement, 3);
    out->hasSubject = sqlite3_column_int(statement, 4) != 0;
    out->subject = Column(statement, 5);
    out->preview = Column(statement, 6);
    out->hasMessageId = sqlite3_column_int(statement, 7) != 0;
    out->messageId = Column(statement, 8);
}

void CMessageCache::Begin() {
    if (m_inTransaction) return;
    if (!Exec("BEGIN")) {
        Fail(kReadFailed);
        return;
    }
    m_inTransaction = true;
}

void CMessageCache::Store(const std::string &id, const CachedMessage &message) {
    if (!Writable()) return;
    sqlite3_stmt *s = m_store;
    Bind(s, 1, id);
    sqlite3_bind_int64(s, 2, message.size);
    sqlite3_bind_int(s, 3, message.hasFrom ? 1 : 0);
    Bind(s, 4, message.address);
    Bind(s, 5, message.name);
    sqlite3_bind_int(s, 6, message.hasSubject ? 1 : 0);
    Bind(s, 7, message.subject);
    Bind(s, 8, message.preview);
    sqlite3_bind_int(s, 9, message.hasMessageId ? 1 : 0);
    Bind(s, 10, message.messageId);
    Bind(s, 11, message.patternsKey);
    sqlite3_bind_int(s, 12, message.matched ? 1 : 0);
    Bind(s, 13, message.pattern);
    sqlite3_bind_int64(s, 14, RowSum(id, message));
    Bind(m_storeText, 1, id);
    Bind(m_storeText, 2, message.top);
    sqlite3_bind_int64(m_storeText, 3, TextSum(id, message.top));
    Written(Step(s) && Step(m_storeText));
}

void CMessageCache::Remember(const std::string &id, const std::string &patternsKey, bool matched,
                             const std::string &pattern) {
    if (!Writable()) return;
    Bind(m_remember, 1, patternsKey);
    sqlite3_bind_int(m_remember, 2, matched ? 1 : 0);
    Bind(m_remember, 3, pattern);
    Bind(m_remember, 4, id);
    Written(Step(m_remember));
}

bool CMessageCache::Writable() {
    if (m_db == nullptr) return false;
    Begin();
    return m_db != nullptr;
}

bool CMessageCache::Step(sqlite3_stmt *statement) {
    const int code = sqlite3_step(statement);
    sqlite3_reset(statement);
    return code == SQLITE_DONE;
}

void CMessageCache::Written(bool done) {
    if (!done) {
        Fail(kWriteFailed);
        return;
    }
    if (++m_pending >= kBatch) Flush();
}

void CMessageCache::Flush() {
    if (m_db == nullptr || !m_inTransaction) return;
    // The walk ends with the transaction; the next Find starts another.
    sqlite3_reset(m_walk);
    m_walkAt = -1;
    if (!Exec("COMMIT")) {
        Fail(kWriteFailed);
        return;
    }
    m_inTransaction = false;
    m_pending = 0;
}

std::unordered_map<std::string, CMessageCache::Known> CMessageCache::Index(const std::string &patternsKey) {
    std::unordered_map<std::string, Known> index;
    if (m_db == nullptr) return index;
    Begin();
    if (m_db == nullptr) return index;
    // From the index of these columns: this reads no row.
    sqlite3_stmt *all = nullptr;
    int code = sqlite3_prepare_v2(m_db, "SELECT id, size, patterns_key, matched, rowid FROM message", -1, &all, nullptr);
    if (code == SQLITE_OK) code = SQLITE_ROW;
    while (code == SQLITE_ROW && (code = sqlite3_step(all)) == SQLITE_ROW) {
        const std::string_view key(static_cast<const char *>(sqlite3_column_blob(all, 2)),
                                   static_cast<size_t>(sqlite3_column_bytes(all, 2)));
        index.emplace(Column(all, 0), Known{static_cast<long>(sqlite3_column_int64(all, 1)), key == patternsKey,
                                            sqlite3_column_int(all, 3) != 0, sqlite3_column_int64(all, 4)});
    }
    sqlite3_finalize(all);
    if (code != SQLITE_DONE) {
        Fail(kReadFailed);
        index.clear();
    }
    return index;
}

void CMessageCache::Forget(const std::string &id) {
    if (!Writable()) return;
    Bind(m_forget, 1, id);
    Bind(m_forgetText, 1, id);
    Written(Step(m_forget) && Step(m_forgetText));
}

void CMessageCache::NoteRuleHit(const std::string &line) {
    if (line.empty() || !Writable()) return;
    Bind(m_hit, 1, line);
    Written(Step(m_hit));
}

void CMessageCache::NoteRulesSeen(const std::vector<std::string> &lines) {
    if (lines.empty() || !Writable()) return;
    sqlite3_stmt *seen = nullptr;
    if (sqlite3_prepare_v2(m_db, "INSERT OR IGNORE INTO rule_hit VALUES (?, strftime('%s','now'))", -1, &seen,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(seen);
        return;
    }
    bool done = true;
    for (const std::string &line : lines) {
        if (line.empty()) continue;
        Bind(seen, 1, line);
        done = Step(seen) && done;
    }
    sqlite3_finalize(seen);
    Written(done);
}

std::unordered_map<std::string, long long> CMessageCache::RuleHits() {
    std::unordered_map<std::string, long long> hits;
    if (m_db == nullptr) return hits;
    Begin();
    if (m_db == nullptr) return hits;
    sqlite3_stmt *all = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT line, last FROM rule_hit", -1, &all, nullptr) == SQLITE_OK)
        while (sqlite3_step(all) == SQLITE_ROW) hits[Column(all, 0)] = sqlite3_column_int64(all, 1);
    sqlite3_finalize(all);
    return hits;
}

std::string CMessageCache::Text(const std::string &id) {
    std::string text;
    if (!ReadText(id, &text)) text.clear();
    return text;
}

bool CMessageCache::ReadText(const std::string &id, std::string *text) {
    text->clear();
    if (m_db == nullptr) return false;
    Begin();
    if (m_db == nullptr) return false;
    sqlite3_reset(m_findTop);
    Bind(m_findTop, 1, id);
    const int code = sqlite3_step(m_findTop);
    bool whole = false;
    if (code == SQLITE_ROW) {
        *text = Column(m_findTop, 0);
        whole = sqlite3_column_type(m_findTop, 1) == SQLITE_INTEGER &&
                sqlite3_column_int64(m_findTop, 1) == TextSum(id, *text);
    }
    sqlite3_reset(m_findTop);
    if (code != SQLITE_ROW && code != SQLITE_DONE) Fail(kReadFailed);
    return whole;
}
