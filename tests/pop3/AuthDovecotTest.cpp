// SPDX-License-Identifier: GPL-3.0-or-later
// Log-on with SASL (AUTH) and OAuth 2.0 tokens against a real Dovecot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CUT_Pop3Session.h"
#include "CUT_SaslClient.h"
#include "DovecotServer.h"
#include "IntrospectionServer.h"

TEST(AuthDovecot, EachMechanismLogsOnAndRefusesAWrongPassword) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    server.SetMechanisms("plain login cram-md5 scram-sha-1 scram-sha-256");
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    struct Case {
        std::string named, used;
    };
    // Named, and chosen from CAPA when none is named: the strongest.
    const std::vector<Case> cases = {{"SCRAM-SHA-256", "SCRAM-SHA-256"}, {"SCRAM-SHA-1", "SCRAM-SHA-1"},
                                     {"CRAM-MD5", "CRAM-MD5"},           {"PLAIN", "PLAIN"},
                                     {"login", "LOGIN"},                 {"USER", "USER"},
                                     {"", "SCRAM-SHA-256"}};
    for (const char *password : {DovecotServer::kPassword, "falsch"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.named + " " + password);
            CUT_Pop3Session session;
            session.SetPort(server.Port());
            std::string trace;
            session.SetTrace([&trace](const std::string &line) { trace += line + "\n"; });
            ASSERT_EQ(session.SetAuthentication(c.named, true, ""), RC_OK);
            const bool right = std::string(password) == DovecotServer::kPassword;
            EXPECT_EQ(session.OpenMailbox("127.0.0.1", DovecotServer::kUser, password),
                      right ? RC_OK : RC_PASS_REFUSED);
            EXPECT_EQ(session.Mechanism(), c.used);
            // The trace (--debug) shows no password, also not in base64.
            for (const std::string &secret :
                 {std::string(password), CUT_SaslClient::Base64(password),
                  CUT_SaslClient::Base64(std::string("\0pelloru\0", 9) + password)})
                EXPECT_EQ(trace.find(secret), std::string::npos) << trace;
            if (right) {
                long count = -1;
                EXPECT_EQ(session.GetMessageCount(&count), RC_OK);
                EXPECT_EQ(count, 0);
            } else {
                EXPECT_FALSE(session.LostSync());
            }
            session.CloseMailbox();
        }
    }
}

TEST(AuthDovecot, TokensLogOnAndARefusedOneSaysWhy) {
    REQUIRE_DOVECOT();
    IntrospectionServer introspection;
    ASSERT_GT(introspection.Port(), 0) << "introspect.py did not start";
    DovecotServer server;
    server.EnableOAuth2("http://127.0.0.1:" + std::to_string(introspection.Port()) + "/introspect");
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (const char *token : {"gueltig", "abgelaufen"}) {
        for (const char *mechanism : {"", "XOAUTH2", "OAUTHBEARER"}) {
            SCOPED_TRACE(std::string(mechanism) + " " + token);
            CUT_Pop3Session session;
            session.SetPort(server.Port());
            ASSERT_EQ(session.SetAuthentication(mechanism, true, token), RC_OK);
            const bool valid = std::string(token) == "gueltig";
            EXPECT_EQ(session.OpenMailbox("127.0.0.1", DovecotServer::kUser, ""),
                      valid ? RC_OK : RC_PASS_REFUSED)
                << session.LastReply() << "\n" << server.Log();
            EXPECT_EQ(session.Mechanism(), *mechanism ? mechanism : "OAUTHBEARER");
            // The server's reason comes as a JSON challenge.
            if (!valid) {
                EXPECT_NE(session.AuthServerError().find("\"status\""), std::string::npos);
            }
            session.CloseMailbox();
        }
    }
}
