// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "CUT_DataQueue.h"
#include "CUT_MemorySource.h"
#include "CUT_WSClient.h"
#include "TestFiles.h"

namespace {

class StringQueue : public CUT_DataQueue {
public:
    explicit StringQueue(std::string data, long capacity = 0) : data_(std::move(data)), capacity_(capacity) {}
    long GetDataSize() override { return capacity_ > 0 ? capacity_ : static_cast<long>(data_.size()); }
    int ReadData(char *buffer, int count) override {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(count), data_.size() - read_));
        std::memcpy(buffer, data_.data() + read_, static_cast<size_t>(n));
        read_ += static_cast<size_t>(n);
        return n;
    }
    int WriteData(const char *data, int count) override {
        data_.append(data, static_cast<size_t>(count));
        return count;
    }
    const std::string &Data() const { return data_; }

private:
    std::string data_;
    long capacity_;
    size_t read_ = 0;
};

// A listening client and a connected client over loopback.
struct Pair {
    CUT_WSClient server, client;
    Pair() {
        EXPECT_EQ(server.StartListening(0, 1, AF_INET, htonl(INADDR_LOOPBACK)), RC_OK);
        EXPECT_GT(server.ListeningPort(), 0);
        EXPECT_EQ(client.Connect(server.ListeningPort(), "127.0.0.1", 5, 2, 1), RC_OK);
        EXPECT_EQ(server.WaitForConnection(5), RC_OK);
        EXPECT_EQ(server.AcceptConnection(), RC_OK);
        EXPECT_STREQ(server.AddressText(), "127.0.0.1");
    }
};

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelloru-xfer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

}  // namespace

TEST_F(TransferTest, FilesCrossTheConnectionByteForByteBothWays) {
    std::string data;
    for (int i = 0; i < 70000; ++i) data += static_cast<char>((i * 131) & 0xFF);
    const std::string in = dir + "/in.bin", out = dir + "/out.bin", back = dir + "/back.bin";
    std::ofstream(in, std::ios::binary) << data;
    Pair pair;
    ResultCode sent = RC_ERROR;
    std::thread sender([&] {
        sent = pair.client.SendFile(in.c_str());
        pair.client.CloseConnection();
    });
    EXPECT_EQ(pair.server.ReceiveToFile(out.c_str(), 1, 5), RC_OK);
    sender.join();
    EXPECT_EQ(sent, RC_OK);
    EXPECT_EQ(ReadBinaryFile(out), data);

    Pair reverse;
    std::thread receiver([&] { sent = reverse.client.ReceiveToFile(back.c_str(), 1, 5); });
    EXPECT_EQ(reverse.server.SendFile(out.c_str()), RC_OK);
    reverse.server.CloseConnection();
    receiver.join();
    EXPECT_EQ(sent, RC_OK);
    EXPECT_EQ(ReadBinaryFile(back), data);
}

TEST_F(TransferTest, ALimitStopsTheReceiveExactly) {
    Pair pair;
    const std::string data(1000, 'q');
    ASSERT_EQ(pair.client.SendAll(data.c_str(), 1000), 1000);
    CUT_MemorySource target(nullptr, 2000);
    EXPECT_EQ(pair.server.ReceiveToSource(target, 1, 0, 600), RC_OK);
    EXPECT_EQ(target.Length(), 600);
    // With a wait, the pass after the limit still waits: data is waiting.
    EXPECT_EQ(pair.server.ReceiveToSource(target, 2, 2, 300), RC_OK);
    EXPECT_EQ(target.Length(), 900);
    EXPECT_EQ(pair.server.ReceiveToSource(target, 2, 1, 100), RC_RECEIVE_TIMEOUT);
    EXPECT_EQ(target.Length(), 1000);
    EXPECT_EQ(pair.server.ReceiveToSource(target, 0, 1, 0), RC_BAD_MODE);
    EXPECT_EQ(target.Length(), 1000);
}

TEST_F(TransferTest, SourcesAndQueues) {
    Pair pair;
    CUT_MemorySource empty(nullptr, 10);
    EXPECT_EQ(pair.client.SendFromSource(empty), RC_OK);
    StringQueue outgoing("queued bytes");
    EXPECT_EQ(pair.client.SendFromQueue(outgoing), RC_OK);
    StringQueue incoming("", 12);
    EXPECT_EQ(pair.server.ReceiveToQueue(incoming, 5, 0), RC_OK);
    EXPECT_EQ(incoming.Data(), "queued bytes");

    class Stopping : public CUT_WSClient {
    public:
        int OnSendProgress(long) override { return 0; }
    };
    Stopping stopping;
    CUT_MemorySource source(nullptr, 10);
    EXPECT_EQ(stopping.SendFromSource(source), RC_NO_SOCKET);
    CUT_WSClient none;
    EXPECT_EQ(none.ReceiveToSource(source, 1, 0, 0), RC_NO_SOCKET);
    EXPECT_EQ(none.ReceiveToQueue(incoming, 0, 0), RC_NO_SOCKET);
}

TEST_F(TransferTest, ListeningTwiceAndAcceptingReplaceSockets) {
    CUT_WSClient server;
    ASSERT_EQ(server.StartListening(0, 1, AF_INET, htonl(INADDR_LOOPBACK)), RC_OK);
    EXPECT_EQ(server.StartListening(0, 1, AF_INET, htonl(INADDR_LOOPBACK)), RC_SOCKET_IN_USE);
    EXPECT_EQ(server.WaitForConnection(0), RC_ERROR);
    CUT_WSClient first, second;
    ASSERT_EQ(first.Connect(server.ListeningPort(), "127.0.0.1", 5, 2, 1), RC_OK);
    ASSERT_EQ(server.AcceptConnection(), RC_OK);
    ASSERT_EQ(second.Connect(server.ListeningPort(), "127.0.0.1", 5, 2, 1), RC_OK);
    ASSERT_EQ(server.AcceptConnection(), RC_OK);  // the first is closed first
    char byte;
    EXPECT_EQ(first.Receive(&byte, 1, 2), 0);
    EXPECT_EQ(first.IsConnected(), 0);
    EXPECT_EQ(server.CreateMessageWindow(nullptr), RC_ERROR);
    EXPECT_EQ(server.CloseConnection(), RC_OK);
    EXPECT_EQ(server.ListeningPort(), 0);
}

TEST_F(TransferTest, DatagramsBothWays) {
    CUT_WSClient a, b;
    ASSERT_EQ(a.OpenDatagram(0, 0, "127.0.0.1", nullptr), RC_OK);
    ASSERT_EQ(b.OpenDatagram(0, a.LocalPort(), "127.0.0.1", "127.0.0.1"), RC_OK);
    ASSERT_EQ(a.CloseConnection(), RC_OK);
    ASSERT_EQ(a.OpenDatagram(0, b.LocalPort(), "127.0.0.1", nullptr), RC_OK);
    EXPECT_EQ(b.OpenDatagram(0, 0, "127.0.0.1", nullptr), RC_SOCKET_IN_USE);
    // b still sends to a's old port; aim it anew through a fresh socket.
    CUT_WSClient c;
    ASSERT_EQ(c.OpenDatagram(0, a.LocalPort(), "127.0.0.1", nullptr), RC_OK);
    int length = 5;
    EXPECT_EQ(c.SendDatagram("hello", &length), RC_OK);
    EXPECT_EQ(length, 5);
    char buffer[32] = {};
    length = sizeof buffer;
    EXPECT_EQ(a.ReceiveDatagram(buffer, &length, 2), RC_OK);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), "hello");
    length = 3;
    EXPECT_EQ(a.SendDatagram("ack", &length), RC_OK);
    length = sizeof buffer;
    EXPECT_EQ(b.ReceiveDatagram(buffer, &length, 2), RC_OK);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), "ack");
    length = sizeof buffer;
    EXPECT_EQ(b.ReceiveDatagram(buffer, &length, 0), RC_RECEIVE_TIMEOUT);
    CUT_WSClient none;
    EXPECT_EQ(none.SendDatagram("x", &length), RC_NO_SOCKET);
}
