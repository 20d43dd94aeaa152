// SPDX-License-Identifier: GPL-3.0-or-later
// An in-process POP3-like peer on a free loopback port that follows a
// script: expect given command lines, answer with given bytes (split over
// several writes if asked), pause, or close early. Every step is bounded in
// time, and the destructor stops the thread and closes what it opened.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    // Script building; call before Start().
    ScriptedServer &Send(const std::string &bytes);
    // Sends the bytes in pieces of `piece` bytes with a short pause between.
    ScriptedServer &SendSplit(const std::string &bytes, size_t piece, int pauseMs = 20);
    // Reads one line (through LF) and records a failure if it differs.
    ScriptedServer &Expect(const std::string &line);
    ScriptedServer &Pause(int milliseconds);
    // Records a failure if the client sends anything within this time.
    ScriptedServer &ExpectSilence(int milliseconds);
    ScriptedServer &Close();
    // Drops the connection at once: a reset, and over TLS no close_notify.
    ScriptedServer &Hangup();
    // Reads one line and sends what answer makes of it (for exchanges
    // whose lines cannot be known in advance, such as SASL nonces).
    ScriptedServer &Respond(std::function<std::string(const std::string &line)> answer);
    // The following steps belong to the next accepted connection.
    ScriptedServer &NextConnection();

    // Speak TLS with this certificate and key from the first byte; each
    // Send then goes out as one TLS record.
    void EnableTls(const std::string &certificate, const std::string &key);

    void Start();
    // Waits for the script to finish and the client to hang up (bounded).
    void Finish();

    int Port() const { return m_port; }
    std::string Received();
    std::vector<std::string> Failures();
    int Connections() const { return m_connections.load(); }

    // The standard opening of a POP3 session that logs on as user/secret.
    ScriptedServer &LogOn();

private:
    struct Step {
        enum Kind { kSend, kExpect, kPause, kClose, kNext, kSilence, kHangup, kRespond } kind;
        std::string bytes;
        int pauseMs = 0;
        std::function<std::string(const std::string &)> answer = {};
    };

    void Run();
    bool RunConnection(int fd, size_t &step);
    bool ReadLine(int fd, std::string &line, int timeoutMs);
    bool SendBytes(int fd, const std::string &bytes);
    void Fail(const std::string &text);

    int m_listen = -1;
    int m_port = 0;
    std::vector<Step> m_steps;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_current{-1};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::string m_received;
    std::vector<std::string> m_failures;
    std::string m_certificate, m_key;
    void *m_ssl = nullptr;  // the TLS state of the current connection
    bool m_hungUp = false;  // the connection was dropped without a goodbye
};

// A loopback port that nothing listens on at the moment of the call.
int FindClosedPort();
