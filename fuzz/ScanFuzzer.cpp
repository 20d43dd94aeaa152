// SPDX-License-Identifier: GPL-3.0-or-later
// A whole scan against a server that says what the input says: log-on,
// listing, previews, retrieval of matched messages into backups, removal,
// the end, on a transport inside this process (no network, no waiting).
// The input is the server's side of a conversation, in chunks
// split at NUL bytes: the first is the greeting, and each next one goes out
// once the client has sent another line. Whatever the server says, the
// scan ends (the sanitizers catch what it must not do on the way), and no
// backup is left that does not hold a message the server sent. Built once
// for POP3 and once for IMAP (PELLORU_FUZZ_IMAP).
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BatchMode.h"
#include "CDirectDeletePatterns.h"
#include "CMailboxScan.h"
#include "CScanList.h"
#include "CScanWindow.h"
#include "CUT_WSClient.h"

namespace {

class Rows : public CScanList {
public:
    void DeleteAllRows() override { cells.clear(), keys.clear(); }
    void InsertRow(int index, const std::string &column0, const std::string &) override {
        cells.insert(cells.begin() + index, std::vector<std::string>(kScanColumns));
        keys.insert(keys.begin() + index, std::string());
        cells[static_cast<size_t>(index)][0] = column0;
    }
    void SetCellText(int row, int column, const std::string &bytes, const std::string &) override {
        cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(column)) = bytes;
    }
    std::string CellText(int row, int column) const override {
        return cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
    }
    void SetRowKey(int row, const std::string &key) override { keys.at(static_cast<size_t>(row)) = key; }
    std::string RowKey(int row) const override { return keys.at(static_cast<size_t>(row)); }
    std::vector<int> SelectedRows() const override { return {}; }

    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> keys;
};

class Quiet : public CScanWindow {
public:
    void SetTitle(const std::string &) override {}
    void RepaintList() override {}
    void ShowMessage(const std::string &, const std::string &) override {}
};

// A folder of its own for the backups, the pattern file and the lock.
std::string Workspace() {
    static const std::string folder = [] {
        char name[] = "/tmp/pelloru-scan-fuzz-XXXXXX";
        const std::string made = ::mkdtemp(name);
        std::filesystem::current_path(made);
        ::setenv("XDG_CACHE_HOME", (made + "/cache").c_str(), 1);
        std::ofstream("loesche_direkt.txt") << "Subject:*a\n";
        BatchMode = 1;
        return made;
    }();
    return folder;
}

// The server's side, in this process: a chunk, then the next once the
// client has sent another line, or once it waits for bytes that are not
// there (it waits for more of a reply, then); at the end of the input the
// server hangs up. What it still has to say when the client's buffer is
// full goes out on its next turn.
class ScriptedPeer : public CUT_LocalPeer {
public:
    explicit ScriptedPeer(std::vector<std::string> chunks) : m_chunks(std::move(chunks)) {}
    ~ScriptedPeer() override {
        if (m_end >= 0) ::close(m_end);
    }
    void Accept(int end) override {
        m_end = end;
        ::fcntl(m_end, F_SETFL, ::fcntl(m_end, F_GETFL) | O_NONBLOCK);
        Next();
        Flush();
    }
    void Sent(const char *data, int length) override {
        char scratch[4096];
        while (m_end >= 0 && ::recv(m_end, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
        for (int i = 0; i < length; ++i)
            if (data[i] == '\n') Next();
        Flush();
    }
    // (An empty chunk is a silence: the client waiting for more ends it.)
    void Waiting() override {
        if (!Flush()) return;
        do
            Next();
        while (m_out.empty() && !m_hangUp);
        Flush();
    }

private:
    void Next() {
        if (m_next < m_chunks.size())
            m_out += m_chunks[m_next++];
        else
            m_hangUp = true;
    }
    // True when all that was said is out.
    bool Flush() {
        while (m_end >= 0 && !m_out.empty()) {
            const ssize_t n = ::send(m_end, m_out.data(), m_out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) return false;
            m_out.erase(0, static_cast<size_t>(n));
        }
        if (m_hangUp && m_end >= 0) {
            ::close(m_end);
            m_end = -1;
        }
        return true;
    }

    std::vector<std::string> m_chunks;
    size_t m_next = 0;
    std::string m_out;
    bool m_hangUp = false;
    int m_end = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string folder = Workspace();
    std::vector<std::string> chunks(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            chunks.emplace_back();
        else
            chunks.back() += static_cast<char>(data[i]);
    }
    CUT_WSClient::UseLocalPeers(
        [&chunks](int, const char *) { return std::make_unique<ScriptedPeer>(chunks); });

    CServerAddress address;
#ifdef PELLORU_FUZZ_IMAP
    address.protocol = CServerAddress::Imap;
#endif
    address.host = "127.0.0.1";
    address.port = 110;
    MailAccount account;
    account.user = "pelloru";
    account.password = "geheim";
    Rows rows;
    Quiet window;
    CDirectDeletePatterns patterns("loesche_direkt.txt");
    {
        CMailboxScan scan(rows, window, address, account, patterns, "pelloru-fuzz");
        scan.SetCache(false);
        scan.SetTimeouts(1, 2);
        if (std::getenv("PELLORU_FUZZ_TRACE") != nullptr)
            scan.SetTrace([](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
        scan.ScanMailbox(List);
        if (std::getenv("PELLORU_FUZZ_TRACE") != nullptr) std::fprintf(stderr, "= %s\n", scan.LastReason().c_str());
    }
    CUT_WSClient::UseLocalPeers({});
    // A backup holds what the server sent, and nothing else.
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("msg_", 0) != 0) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string backup((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!backup.empty() && std::string(reinterpret_cast<const char *>(data), size).find(backup.substr(0, 16)) ==
                                   std::string::npos)
            __builtin_trap();
        std::filesystem::remove(entry.path());
    }
    return 0;
}
