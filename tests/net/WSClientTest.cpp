// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "CUT_WSClient.h"
#include "ScriptedServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Records every code that passes the error hook.
class RecordingClient : public CUT_WSClient {
public:
    ResultCode OnError(ResultCode code) override {
        codes.push_back(code);
        return code;
    }
    std::vector<ResultCode> codes;
};

class WSClientTest : public ::testing::Test {
protected:
    void ConnectTo(ScriptedServer &server) {
        server.Start();
        ASSERT_EQ(client.Connect(server.Port(), "127.0.0.1", 5, 2, 1), RC_OK);
    }
    std::string Line(int size = 1024, long timeout = 5) {
        std::vector<char> buffer(static_cast<size_t>(size), '#');
        int n = client.ReceiveLine(buffer.data(), size, timeout);
        last = n;
        return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
    }
    CUT_WSClient client;
    int last = -1;
};

}  // namespace

TEST_F(WSClientTest, ReceiveLineKeepsLineEndsAndNeverTakesTheNextLine) {
    ScriptedServer server;
    server.Send("+OK\r\n\r\nsecond line\r\nthird").Pause(300).Send(" part\r\n").Close();
    ConnectTo(server);
    EXPECT_EQ(Line(), "+OK\r\n");
    EXPECT_EQ(last, 5);
    EXPECT_EQ(Line(), "\r\n");
    EXPECT_EQ(last, 2);
    // Two lines arrived in one packet: the first read left the second alone.
    EXPECT_EQ(Line(), "second line\r\n");
    // A line that arrives in two pieces comes back whole.
    EXPECT_EQ(Line(), "third part\r\n");
}

TEST_F(WSClientTest, LongLineComesBackInPiecesOfSizeMinusOne) {
    ScriptedServer server;
    std::string line = std::string(28, 'x') + "\r\n";
    server.Send(line + "next\r\n").Close();
    ConnectTo(server);
    std::vector<int> pieces;
    std::string joined;
    for (int i = 0; i < 4; ++i) {
        std::string piece = Line(10);
        pieces.push_back(last);
        joined += piece;
        if (i < 3) {
            EXPECT_EQ(piece.find('\n'), std::string::npos);
        }
    }
    EXPECT_EQ(pieces, (std::vector<int>{9, 9, 9, 3}));
    EXPECT_EQ(joined, line);
    EXPECT_EQ(Line(), "next\r\n");
}

TEST_F(WSClientTest, PeerClosingMidLineGivesTheBytesThenZero) {
    ScriptedServer server;
    server.Send("abc").Close();
    ConnectTo(server);
    char buffer[64];
    std::strcpy(buffer, "old");
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 5), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 5), 0);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(client.IsConnected(), 0);
}

TEST_F(WSClientTest, SilentPeerTimesOutAndLeavesTheBufferAlone) {
    ScriptedServer server;
    server.Pause(4000);
    ConnectTo(server);
    EXPECT_EQ(client.IsConnected(), 1);
    char buffer[16];
    std::strcpy(buffer, "keep");
    auto start = Clock::now();
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 2), 0);
    double waited = SecondsSince(start);
    EXPECT_GE(waited, 1.8);
    EXPECT_LT(waited, 3.5);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(client.IsConnected(), 1);
}

TEST_F(WSClientTest, TinyAndNullBuffersReadNothing) {
    ScriptedServer server;
    server.Send("data\r\n").Close();
    ConnectTo(server);
    char one[1] = {'z'};
    EXPECT_EQ(client.ReceiveLine(one, 1, 1), 0);
    EXPECT_EQ(one[0], 'z');
    EXPECT_EQ(client.ReceiveLine(nullptr, 100, 1), 0);
    EXPECT_EQ(Line(), "data\r\n");
}

TEST_F(WSClientTest, ReceiveExactAndClearReceiveBuffer) {
    ScriptedServer server;
    server.SendSplit("0123456789", 3).Pause(200).Send("rest of it\r\nmore\r\n").Pause(200).Close();
    ConnectTo(server);
    char buffer[16] = {};
    EXPECT_EQ(client.ReceiveExact(buffer, 10, 5), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(client.ClearReceiveBuffer(), RC_OK);
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, 5), 0);  // closed, all was cleared
}

TEST_F(WSClientTest, SendCountsTheTextWhenGivenNoLength) {
    ScriptedServer server;
    server.Expect("one\r\n").Expect("two\r\n").Expect("abc\r\n").Expect("de\r\n");
    ConnectTo(server);
    EXPECT_EQ(client.Send("one\r\n", 0), 5);
    EXPECT_EQ(client.Send("two\r\n", -1), 5);
    EXPECT_EQ(client.SendLines("abcde", -1, 3), 5);
    EXPECT_EQ(client.SendLines("abc", 3, 0), 0);  // a piece of 0 never advances
    EXPECT_EQ(client.CloseConnection(), RC_OK);
    server.Finish();
    EXPECT_TRUE(server.Failures().empty()) << server.Failures()[0];
    EXPECT_EQ(server.Received(), "one\r\ntwo\r\nabc\r\nde\r\n");
}

TEST_F(WSClientTest, SendingToAPeerThatHungUpDoesNotKillTheProcess) {
    ScriptedServer server;
    server.Close();
    ConnectTo(server);
    server.Finish();
    std::string block(65536, 'x');
    int zeros = 0;
    for (int i = 0; i < 50; ++i)
        if (client.Send(block.c_str(), static_cast<int>(block.size())) == 0) ++zeros;
    EXPECT_GT(zeros, 0);
    EXPECT_EQ(client.IsConnected(), 0);
}

TEST_F(WSClientTest, ConnectWhileConnectedKeepsTheOpenConnection) {
    ScriptedServer server;
    server.Send("hello\r\n");
    ConnectTo(server);
    SocketHandle before = client.DataSocket();
    EXPECT_EQ(client.Connect(server.Port(), "127.0.0.1", 5, 2, 1), RC_SOCKET_IN_USE);
    EXPECT_EQ(client.DataSocket(), before);
    EXPECT_EQ(client.RemotePort(), server.Port());
    EXPECT_STREQ(client.AddressText(), "127.0.0.1");
    EXPECT_GT(client.LocalPort(), 0);
    EXPECT_EQ(Line(), "hello\r\n");
}

TEST(WSClientConnect, ClosedPortFailsByTimeoutKind) {
    int port = FindClosedPort();
    CUT_WSClient client;
    EXPECT_EQ(client.Connect(port, "127.0.0.1", 2, 2, 1), RC_NO_CONNECTION);
    EXPECT_EQ(client.DataSocket(), kNoSocket);
    EXPECT_EQ(client.Connect(port, "127.0.0.1", 0, 2, 1), RC_NO_CONNECTION);
    EXPECT_EQ(client.DataSocket(), kNoSocket);
    EXPECT_EQ(client.Connect(port, "127.0.0.1", -1, 2, 1), RC_CONNECT_FAILED);
    EXPECT_EQ(client.DataSocket(), kNoSocket);
    EXPECT_EQ(client.IsConnected(), 0);
}

TEST(WSClientConnect, CloseConnectionIsHarmlessWhenClosed) {
    CUT_WSClient client;
    EXPECT_EQ(client.CloseConnection(), RC_OK);
    EXPECT_EQ(client.CloseConnection(), RC_OK);
    EXPECT_EQ(client.IsConnected(), 0);
    char buffer[8] = "x";
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(client.Send("x", 1), 0);
}

TEST(WSClientResolve, OnlyTheTextAfterTheLastAtIsResolved) {
    CUT_WSClient client;
    char out[30] = {};
    EXPECT_EQ(client.ResolveHostAddress("someone@else@localhost", out, sizeof out), RC_OK);
    EXPECT_STREQ(out, "127.0.0.1");
    EXPECT_EQ(client.ResolveHostAddress("x@127.0.0.5", out, sizeof out), RC_OK);
    EXPECT_STREQ(out, "127.0.0.5");
    // An '@' in the first position is not seen, so the name is taken whole.
    EXPECT_EQ(client.ResolveHostAddress("@localhost", out, sizeof out), RC_HOST_NOT_FOUND);
    EXPECT_EQ(client.ResolveHostAddress("localhost", out, 9), RC_BUFFER_TOO_SMALL);
    EXPECT_EQ(client.ResolveHostAddress("localhost", out, 10), RC_OK);
    EXPECT_EQ(client.ResolveHostAddress(nullptr, out, 10), RC_HOST_NOT_FOUND);
}

TEST(WSClientResolve, ConnectResolvesNamesAndPassesCodesThroughTheHook) {
    ScriptedServer server;
    server.Send("hi\r\n");
    server.Start();
    RecordingClient client;
    EXPECT_EQ(client.Connect(server.Port(), "user@localhost", 5, 2, 1), RC_OK);
    EXPECT_STREQ(client.AddressText(), "127.0.0.1");
    EXPECT_EQ(client.codes.back(), RC_OK);
    client.CloseConnection();

    client.codes.clear();
    EXPECT_EQ(client.Connect(110, "no-such-host.invalid", 5, 2, 1), RC_HOST_NOT_RESOLVED);
    EXPECT_EQ(client.codes, (std::vector<ResultCode>{RC_HOST_NOT_FOUND, RC_HOST_NOT_RESOLVED}));
}

TEST(WSClientHooks, AnOverriddenErrorHookChangesWhatCallersGet) {
    class Translating : public CUT_WSClient {
    public:
        ResultCode OnError(ResultCode code) override { return code == RC_OK ? RC_OK : 4711; }
    };
    Translating client;
    EXPECT_EQ(client.Connect(FindClosedPort(), "127.0.0.1", 1, 2, 1), 4711);
    EXPECT_EQ(client.WaitForReceive(0, 0), 4711);
    EXPECT_EQ(client.CloseConnection(), RC_OK);
}

TEST(WSClientHooks, AbortStopsReceiveLineBeforeItReads) {
    class Aborting : public CUT_WSClient {
    public:
        int IsAborted() override { return 1; }
    };
    ScriptedServer server;
    server.Send("line\r\n");
    server.Start();
    Aborting client;
    ASSERT_EQ(client.Connect(server.Port(), "127.0.0.1", 5, 2, 1), RC_OK);
    char buffer[32];
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 2), 0);
    EXPECT_EQ(client.SendLines("abc", 3, 1), 0);
}

TEST(WSClientOptions, TimeoutOptionsNeedASocket) {
    CUT_WSClient client;
    EXPECT_EQ(client.SetReceiveTimeoutOption(500), -1);
    EXPECT_EQ(client.SetBlockingMode(1), RC_ERROR);
    EXPECT_EQ(client.WaitForSend(0, 0), RC_ERROR);
    ScriptedServer server;
    server.Pause(2000);
    server.Start();
    ASSERT_EQ(client.Connect(server.Port(), "127.0.0.1", 5, 2, 1), RC_OK);
    EXPECT_EQ(client.SetReceiveTimeoutOption(300), 0);
    EXPECT_EQ(client.WaitForSend(1, 0), RC_OK);
    // With no wait of its own, the read ends when the socket's option fires.
    char buffer[16];
    auto start = Clock::now();
    EXPECT_EQ(client.ReceiveLine(buffer, sizeof buffer, 0), 0);
    EXPECT_LT(SecondsSince(start), 1.5);
}
