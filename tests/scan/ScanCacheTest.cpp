// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CMessageCache.h"
#include "DovecotServer.h"
#include "ScanTestSupport.h"
#include "TestFiles.h"

namespace {

struct Scan {
    MemoryList list;
    int tops = 0;
    std::string notes;
    CMailboxScan::Outcome outcome = CMailboxScan::NotRun;
};

Scan ScanOnce(const CSettingsStore &settings, bool useCache = true) {
    Scan result;
    RecordingWindow window;
    CMailboxScan scan(result.list, window, settings, "pelloru");
    scan.SetCache(useCache);
    scan.SetTrace([&result](const std::string &line) {
        if (line.rfind("> TOP ", 0) == 0) ++result.tops;
        if (line.rfind("# ", 0) == 0) result.notes += line + "\n";
    });
    BatchMode = 1;
    scan.ScanMailbox(List);
    BatchMode = 0;
    result.outcome = scan.LastOutcome();
    return result;
}

std::string CacheFile(int port) {
    return CMessageCache::FileFor("pelloru", "pop3|127.0.0.1|" + std::to_string(port) + "|" + DovecotServer::kUser);
}

}  // namespace

// A check fetches only what is new and shows what a check without the
// cache shows; messages gone from the server leave it; a new pattern
// reaches old messages (fetched anew before anything happens to them);
// a cache that cannot be read, or was written by another version, is built
// anew from the server.
TEST(ScanCache, ChecksFetchOnlyWhatIsNewAndShowWhatAColdScanShows) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::vector<std::string> files = SampleMessages();
    for (const std::string &path : files) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));
    ScanEnvironment env;
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);

    EXPECT_EQ(ScanOnce(settings).tops, 8);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(server.AddMessage("From: Neu <neu@example.de>\r\nSubject: Neu " + std::to_string(i) +
                                      "\r\nMessage-Id: <neu" + std::to_string(i) + "@x>\r\n\r\nText\r\n"));
    const Scan warm = ScanOnce(settings);
    EXPECT_EQ(warm.tops, 5);
    const Scan cold = ScanOnce(settings, false);
    EXPECT_EQ(cold.tops, 13);
    EXPECT_EQ(warm.list.shown, cold.list.shown);
    EXPECT_EQ(warm.list.keys, cold.list.keys);

    // Another client takes a message: its row goes, nothing is fetched.
    std::filesystem::path taken;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(server.Directory() + "/mail"))
        if (entry.is_regular_file() && ReadBinaryFile(entry.path().string()).find("Neu 0") != std::string::npos)
            taken = entry.path();
    ASSERT_FALSE(taken.empty());
    std::filesystem::remove(taken);
    const Scan after = ScanOnce(settings);
    EXPECT_EQ(after.tops, 0);
    EXPECT_EQ(after.list.rows.size(), 12u);

    // A pattern written since reaches an old message: fetched anew, backed
    // up whole, deleted.
    env.Patterns("Subject:*Wartungsvertrag\n");
    const Scan matched = ScanOnce(settings);
    EXPECT_EQ(matched.tops, 1);
    EXPECT_EQ(matched.list.shown[3][0], "gelöscht=Subject:*Wartungsvertrag");
    ASSERT_EQ(env.Backups().size(), 1u);
    EXPECT_EQ(ReadBinaryFile(env.Dir() + "/" + env.Backups()[0]), ToCrLf(ReadBinaryFile(files[3])));
    ASSERT_TRUE(server.WaitForCount(11));

    // Unreadable, then of a later version: built anew, every message fetched.
    const std::string file = CacheFile(server.Port());
    ASSERT_TRUE(std::filesystem::exists(file));
    for (const bool corrupt : {true, false}) {
        SCOPED_TRACE(corrupt ? "unlesbar" : "neuere Version");
        if (corrupt) {
            for (const char *suffix : {"-wal", "-shm"}) std::filesystem::remove(file + suffix);
            std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
        } else {
            sqlite3 *db = nullptr;
            ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const Scan rebuilt = ScanOnce(settings);
        EXPECT_EQ(rebuilt.outcome, CMailboxScan::Scanned);
        EXPECT_EQ(rebuilt.tops, 11);
        EXPECT_NE(rebuilt.notes.find("neu aufgebaut"), std::string::npos) << rebuilt.notes;
        EXPECT_EQ(ScanOnce(settings).tops, 0);
    }
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Entries are read in one pass where they lie in the server's order, and
// found all the same where they do not: stored anew (to the end of the
// file), gone, or asked for with a row that is no longer theirs.
TEST(ScanCache, EntriesAreFoundInWhateverOrderTheyWereStored) {
    ScanEnvironment env;
    CMessageCache cache("pelloru", "pop3|walk");
    ASSERT_TRUE(cache.Usable());
    auto store = [&cache](const std::string &id, const std::string &preview) {
        CachedMessage message;
        message.size = 100;
        message.preview = preview;
        message.top = "Subject: " + id + "\r\n";
        cache.Store(id, message);
    };
    for (const char *id : {"m1", "m2", "m3", "m4", "m5", "m6"}) store(id, std::string("alt ") + id);
    store("m2", "neu m2");
    store("m5", "neu m5");
    cache.Forget("m3");
    cache.Flush();
    const auto index = cache.Index("");
    ASSERT_EQ(index.size(), 5u);

    struct Ask {
        const char *id;
        long long row;  // 0: the row Index gave
        long size;
        const char *preview;  // nullptr: not found
    };
    const Ask asks[] = {
        {"m1", 0, 100, "alt m1"}, {"m2", 0, 100, "neu m2"}, {"m4", 0, 100, "alt m4"},
        {"m5", 0, 100, "neu m5"}, {"m6", 0, 100, "alt m6"}, {"m1", 0, 100, "alt m1"},
        {"m4", index.at("m6").row, 100, "alt m4"}, {"m6", 999, 100, "alt m6"},
        {"m6", 0, 101, nullptr},  {"m3", 3, 100, nullptr},
    };
    for (const Ask &ask : asks) {
        SCOPED_TRACE(ask.id);
        const auto known = index.find(ask.id);
        const long long row = ask.row != 0 ? ask.row : known != index.end() ? known->second.row : 0;
        CachedMessage found;
        ASSERT_EQ(cache.Find(ask.id, ask.size, true, &found, row), ask.preview != nullptr);
        if (ask.preview == nullptr) continue;
        EXPECT_EQ(found.preview, ask.preview);
        EXPECT_EQ(found.top, std::string("Subject: ") + ask.id + "\r\n");
    }
    EXPECT_TRUE(cache.Usable());
}

// A damaged cache never shows a blank or altered row: what does not prove
// to be what was stored is fetched from the server, a file that SQLite
// finds damaged is built anew, and the check after it is whole as well.
TEST(ScanCache, ADamagedCacheNeverShowsABlankOrAlteredRow) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(server.AddMessage("From: =?UTF-8?B?0L/QuNGB0YzQvNC+?= <absender" + std::to_string(i) +
                                      "@example.de>\r\nSubject: =?UTF-8?B?0L/QuNGB0YzQvNC+?= " + std::to_string(i) +
                                      "\r\nMessage-Id: <m" + std::to_string(i) + "@x>\r\n\r\n" +
                                      std::string(400 + i, static_cast<char>('a' + i % 26)) + "\r\n"));
    ScanEnvironment env;
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    const Scan live = ScanOnce(settings, false);
    ASSERT_EQ(live.list.rows.size(), 300u);
    const std::string file = CacheFile(server.Port());

    const auto zeroPage = [](std::string &bytes) { std::fill_n(bytes.begin() + bytes.size() / 2 / 16384 * 16384, 16384, '\0'); };
    const auto flip = [](std::string &bytes) {
        std::mt19937 random(7);
        for (int i = 0; i < 200; ++i) bytes[100 + random() % (bytes.size() - 100)] ^= static_cast<char>(1 + random() % 255);
    };
    const auto truncate = [](std::string &bytes) { bytes.resize(bytes.size() / 2); };
    const struct {
        const char *what;
        std::function<void(std::string &)> damage;
    } cases[] = {{"a page zeroed", zeroPage}, {"200 bytes flipped", flip}, {"cut to half", truncate}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const char *suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file + suffix);
        ASSERT_EQ(ScanOnce(settings).tops, 300);
        std::string bytes = ReadBinaryFile(file);
        ASSERT_GT(bytes.size(), 8u * 16384);
        c.damage(bytes);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        for (int check = 0; check < 2; ++check) {
            const Scan after = ScanOnce(settings);
            EXPECT_EQ(after.outcome, CMailboxScan::Scanned);
            EXPECT_EQ(after.list.shown, live.list.shown);
            EXPECT_EQ(after.list.keys, live.list.keys);
        }
    }
}
