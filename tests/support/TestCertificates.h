// SPDX-License-Identifier: GPL-3.0-or-later
// A certificate authority and server certificates made for the test run
// (OpenSSL), in a folder of their own: a good one for 127.0.0.1 and
// localhost, one for another host name, an expired one, and one from a CA
// nobody trusts.
#pragma once

#include <string>

class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates &) = delete;
    TestCertificates &operator=(const TestCertificates &) = delete;

    bool Ok() const { return m_ok; }
    const std::string &Error() const { return m_error; }

    std::string CaFile() const { return m_dir + "/ca.pem"; }
    // name: "server", "wronghost", "expired" or "untrusted".
    std::string Certificate(const std::string &name) const { return m_dir + "/" + name + ".pem"; }
    std::string Key(const std::string &name) const { return m_dir + "/" + name + ".key"; }

private:
    std::string m_dir;
    bool m_ok = false;
    std::string m_error;
};
