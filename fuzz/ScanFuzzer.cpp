// A whole scan against a server that says what the input says: log-on,
// listing, previews, retrieval of matched messages into backups, removal,
// the end. The input is the server's side of a conversation, in chunks
// split at NUL bytes: the first is the greeting, and each next one goes out
// once the client has sent another line. Whatever the server says, the
// scan ends (the sanitizers catch what it must not do on the way), and no
// backup is left that does not hold a message the server sent. Built once
// for POP3 and once for IMAP (PELLORU_FUZZ_IMAP).
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BatchMode.h"
#include "CDirectDeletePatterns.h"
#include "CMailboxScan.h"
#include "CScanList.h"
#include "CScanWindow.h"

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

int Listener(int *port) {
    static int fd = -1, bound = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(fd, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        bound = ntohs(address.sin_port);
    }
    *port = bound;
    return fd;
}

// The server's side: a chunk, then the next once the client has sent
// another line, or once it has kept silent for a moment (it waits for more
// of a reply, then); at the end of the input the server hangs up.
void Serve(int listener, const std::vector<std::string> &chunks) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    for (const std::string &chunk : chunks) {
        if (!chunk.empty() && ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
        char byte = 0;
        pollfd wait{fd, POLLIN, 0};
        bool closed = false;
        while (::poll(&wait, 1, 20) == 1) {
            if (::recv(fd, &byte, 1, 0) != 1) {
                closed = true;
                break;
            }
            if (byte == '\n') break;
        }
        if (closed) break;
    }
    ::close(fd);
}

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
    int port = 0;
    const int listener = Listener(&port);
    std::thread server(Serve, listener, chunks);

    CServerAddress address;
#ifdef PELLORU_FUZZ_IMAP
    address.protocol = CServerAddress::Imap;
#endif
    address.host = "127.0.0.1";
    address.port = port;
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
    }
    server.join();
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
