// SPDX-License-Identifier: GPL-3.0-or-later
// The IMAP session against servers that break the protocol: whatever they
// send, a removal is claimed only on the server's evidence, nothing unasked
// is kept, no reply runs past its bound, and after a lost step no further
// command goes out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "CUT_ImapSession.h"
#include "ScriptedServer.h"

namespace {

const std::string kHeader = "Subject: Gewinn\r\n\r\n";

std::string Literal(const std::string &bytes) { return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes; }

// Log-on, SELECT and the listing of UID 5 (60 bytes) and UID 6.
void Opening(ScriptedServer &server) {
    server.Send("* OK [CAPABILITY IMAP4rev1 MOVE UIDPLUS] bereit\r\n")
        .Expect("p1 LOGIN \"pelloru\" \"geheim\"\r\n")
        .Send("p1 OK [CAPABILITY IMAP4rev1 MOVE UIDPLUS] angemeldet\r\n")
        .Expect("p2 SELECT \"INBOX\"\r\n")
        .Expect("p3 UID FETCH 1:* (UID RFC822.SIZE)\r\n")
        .Send("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] gut\r\np2 OK [READ-WRITE] fertig\r\n"
              "* 1 FETCH (UID 5 RFC822.SIZE 60)\r\n* 2 FETCH (UID 6 RFC822.SIZE 60)\r\n");
}

ResultCode Move(CUT_ImapSession &session) {
    bool expunged = false;
    return session.MoveMessage(5, "Junk", &expunged);
}

ResultCode Preview(CUT_ImapSession &session) {
    std::map<uint32_t, ImapPreview> previews;
    const ResultCode sent = session.SendPreviewFetch({5}, 1024);
    return sent != RC_OK ? sent : session.ReadPreviews(&previews);
}

}  // namespace

TEST(ImapSession, ABrokenServerGetsNoClaimAndNoFurtherCommand) {
    const std::string endlessListing = [] {
        std::string lines;
        for (int i = 3; i < 200000; ++i) lines += "* " + std::to_string(i) + " FETCH (UID " + std::to_string(i) + " RFC822.SIZE 9)\r\n";
        return lines;
    }();
    struct Case {
        const char *name;
        std::string afterListing;  // sent with the end of the listing, or after it
        ResultCode (*act)(CUT_ImapSession &);
        ResultCode expected;
        SessionLimit limit;
        const char *neverSent;  // a tag that carries no command but LOGOUT
    };
    const Case cases[] = {
        // The answer to MOVE before MOVE went out: MOVE is not sent.
        {"early answer", "p3 OK fertig\r\np4 OK [COPYUID 1 5 500] verschoben\r\n", Move, RC_LOST_SYNC,
         SessionLimit::EarlyBytes, "p4"},
        // MOVE went out and the server left: it may have moved the message.
        {"bye after move", "p3 OK fertig\r\n", Move, RC_REMOVAL_UNCERTAIN, SessionLimit::None, "p5"},
        // OK without the EXPUNGE that names the message: no proof either.
        {"ok without expunge", "p3 OK fertig\r\n", Move, RC_REMOVAL_UNCERTAIN, SessionLimit::None, "p5"},
        {"data for an unasked uid", "p3 OK fertig\r\n", Preview, RC_LOST_SYNC, SessionLimit::Unasked, "p5"},
        // A header far beyond the listed 60 bytes is not read in.
        {"header beyond the size", "p3 OK fertig\r\n", Preview, RC_LOST_SYNC, SessionLimit::None, "p5"},
        // A listing far beyond EXISTS ends at its bound.
        {"endless listing", endlessListing, nullptr, RC_LOST_SYNC, SessionLimit::Unasked, "p4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        Opening(server);
        server.Send(c.afterListing);
        const std::string name = c.name;
        if (name == "bye after move")
            server.Expect("p4 UID MOVE 5 \"Junk\"\r\n").Send("* BYE weg\r\n").Close();
        else if (name == "ok without expunge")
            server.Expect("p4 UID MOVE 5 \"Junk\"\r\n").Send("p4 OK [COPYUID 1 5 500] verschoben\r\n");
        else if (name == "data for an unasked uid")
            server.Expect("p4 UID FETCH 5 (UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.1024>)\r\n")
                .Send("* 9 FETCH (UID 1000001 BODY[HEADER] " + Literal(kHeader) + ")\r\np4 OK fertig\r\n");
        else if (name == "header beyond the size")
            server.Expect("p4 UID FETCH 5 (UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.1024>)\r\n")
                .Send("* 1 FETCH (UID 5 BODY[HEADER] {900000}\r\n" + std::string(900000, 'a'));
        server.Start();

        CUT_ImapSession session;
        session.SetPort(server.Port());
        session.SetReceiveTimeout(2);
        ASSERT_EQ(session.SetAuthentication("", true, ""), RC_OK);
        ASSERT_EQ(session.Open("127.0.0.1"), RC_OK);
        ASSERT_EQ(session.LogOn("pelloru", "geheim"), RC_OK);
        const ResultCode listed = session.OpenFolderAndList("INBOX", false);
        const ResultCode result = c.act == nullptr ? listed : c.act(session);
        EXPECT_EQ(result, c.expected) << session.Failure().reply;
        if (c.limit != SessionLimit::None) {
            EXPECT_EQ(session.Failure().limit, c.limit);
        }
        if (c.act != nullptr) {
            EXPECT_EQ(listed, RC_OK);
        }
        // After the step is lost, or the claim is in doubt, nothing more.
        session.CloseMailbox();
        server.Finish();
        const std::string received = server.Received();
        const std::string logout = std::string(c.neverSent) + " LOGOUT";
        const size_t after = received.find(std::string(c.neverSent) + " ");
        EXPECT_TRUE(after == std::string::npos || received.compare(after, logout.size(), logout) == 0)
            << received;
        EXPECT_LE(session.Messages().size(), 2u + 256u);
    }
}

// A stop ends a reply within about a second, also while bytes keep
// trickling in without ever ending a line.
TEST(ImapSession, AStopEndsATricklingReply) {
    ScriptedServer server;
    Opening(server);
    server.Send("p3 OK fertig\r\n").Expect("p4 UID MOVE 5 \"Junk\"\r\n").Send("* OK [ALERT] ");
    for (int i = 0; i < 300; ++i) server.Send("a").Pause(50);
    server.Start();

    CUT_ImapSession session;
    std::atomic<bool> stop{false};
    session.SetStopRequest(&stop);
    session.SetPort(server.Port());
    session.SetReceiveTimeout(10);
    ASSERT_EQ(session.SetAuthentication("", true, ""), RC_OK);
    ASSERT_EQ(session.Open("127.0.0.1"), RC_OK);
    ASSERT_EQ(session.LogOn("pelloru", "geheim"), RC_OK);
    ASSERT_EQ(session.OpenFolderAndList("INBOX", false), RC_OK);
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Move(session), RC_REMOVAL_UNCERTAIN);
    const auto spent = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_EQ(session.Failure().limit, SessionLimit::Stop);
    // (The trickle would last 15 s; a generous bound, not a timing.)
    EXPECT_LT(spent, std::chrono::seconds(5));
}

// Where the log-on is one step, the inbox is opened and listed in the same
// write: accepted, its answers are the listing; refused, they are read and
// dropped and the session stays in step; without capabilities in the OK,
// the listing is read before they are asked.
TEST(ImapSession, TheInboxGoesOutWithAOneStepLogOn) {
    const std::string plain = "p1 AUTHENTICATE PLAIN AHBlbGxvcnUAZ2VoZWlt\r\n";

    const std::string listing = "* 1 EXISTS\r\n* OK [UIDVALIDITY 77] gut\r\np2 OK [READ-ONLY] fertig\r\n"
                                "* 1 FETCH (UID 5 RFC822.SIZE 60)\r\np3 OK fertig\r\n";
    struct Case {
        const char *name;
        std::string answer;  // to the one write
        std::string more;    // asked after it, and its answer
        ResultCode logOn, listed;
        size_t messages;
    };
    const Case cases[] = {
        {"accepted", "p1 OK [CAPABILITY IMAP4rev1 MOVE] angemeldet\r\n" + listing, "", RC_OK, RC_OK, 1},
        {"refused", "p1 NO [AUTHENTICATIONFAILED] nein\r\np2 BAD erst anmelden\r\np3 BAD erst anmelden\r\n", "",
         RC_PASS_REFUSED, RC_OK, 0},
        {"no capabilities", "p1 OK angemeldet\r\n" + listing, "p4 CAPABILITY\r\n", RC_OK, RC_OK, 1},
        // Refused, and gone: the refusal is what is told, nothing more goes out.
        {"refused, then gone", "p1 NO [AUTHENTICATIONFAILED] nein\r\n* BYE weg\r\n", "", RC_PASS_REFUSED, RC_OK, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Send("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] bereit\r\n").Expect(plain)
            .Expect("p2 EXAMINE \"INBOX\"\r\n")
            .Expect("p3 UID FETCH 1:* (UID RFC822.SIZE)\r\n")
            .Send(c.answer);
        if (!c.more.empty())
            server.Expect(c.more).Send("* CAPABILITY IMAP4rev1 MOVE\r\np4 OK fertig\r\n");
        const bool gone = c.answer.find("BYE") != std::string::npos;
        if (gone)
            server.Close();
        else
            server.Expect(std::string("p") + (c.more.empty() ? "4" : "5") + " LOGOUT\r\n");
        server.Start();
        CUT_ImapSession session;
        session.SetPort(server.Port());
        session.SetReceiveTimeout(2);
        ASSERT_EQ(session.SetAuthentication("", true, ""), RC_OK);
        session.SetFolderAfterLogOn("INBOX", true);
        ASSERT_EQ(session.Open("127.0.0.1"), RC_OK);
        EXPECT_EQ(session.LogOn("pelloru", "geheim"), c.logOn);
        if (c.logOn == RC_OK) {
            EXPECT_EQ(session.OpenFolderAndList("INBOX", true), c.listed);
            EXPECT_EQ(session.HasCapability("MOVE"), true);
        }
        EXPECT_EQ(session.Messages().size(), c.messages);
        EXPECT_EQ(session.LostSync(), gone);
        if (gone) {
            EXPECT_NE(session.Failure().reply.find("p1 NO nein"), std::string::npos)
                << session.Failure().reply;
        }
        session.CloseMailbox();
        server.Finish();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
    }
}
