// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestCertificates.h"

#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>

namespace {

struct Issued {
    EVP_PKEY *key = nullptr;
    X509 *certificate = nullptr;
    ~Issued() {
        EVP_PKEY_free(key);
        X509_free(certificate);
    }
};

bool AddExtension(X509 *certificate, X509 *issuer, int nid, const char *value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for `name`, signed by `issuer` (itself when null), valid
// from `from` to `to` days relative to now.
bool Make(Issued &out, const char *name, const char *altNames, Issued *issuer, long from, long to,
          long serial) {
    out.key = EVP_EC_gen("P-256");
    out.certificate = X509_new();
    if (out.key == nullptr || out.certificate == nullptr) return false;
    X509 *certificate = out.certificate;
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), from * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate), to * 86400);
    X509_set_pubkey(certificate, out.key);
    X509_NAME *subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(name), -1, -1, 0);
    X509 *signer = issuer != nullptr ? issuer->certificate : certificate;
    EVP_PKEY *signingKey = issuer != nullptr ? issuer->key : out.key;
    X509_set_issuer_name(certificate, X509_get_subject_name(signer));
    if (issuer == nullptr) {
        if (!AddExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE") ||
            !AddExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign"))
            return false;
    } else {
        if (!AddExtension(certificate, signer, NID_basic_constraints, "CA:FALSE") ||
            !AddExtension(certificate, signer, NID_subject_alt_name, altNames) ||
            !AddExtension(certificate, signer, NID_ext_key_usage, "serverAuth"))
            return false;
    }
    AddExtension(certificate, signer, NID_subject_key_identifier, "hash");
    return X509_sign(certificate, signingKey, EVP_sha256()) > 0;
}

bool Write(const std::string &path, const Issued &issued, bool withKey, const std::string &keyPath) {
    FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    bool ok = PEM_write_X509(file, issued.certificate) == 1;
    std::fclose(file);
    if (withKey) {
        FILE *keyFile = std::fopen(keyPath.c_str(), "w");
        if (keyFile == nullptr) return false;
        ok = PEM_write_PrivateKey(keyFile, issued.key, nullptr, nullptr, 0, nullptr, nullptr) == 1 && ok;
        std::fclose(keyFile);
    }
    return ok;
}

}  // namespace

TestCertificates::TestCertificates() {
    char pattern[] = "/tmp/pelloru-tls-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        m_error = "mkdtemp failed";
        return;
    }
    m_dir = pattern;
    ::chmod(m_dir.c_str(), 0755);
    Issued ca, otherCa, server, wrongHost, expired, untrusted;
    const char *local = "DNS:localhost,IP:127.0.0.1";
    m_ok = Make(ca, "Pelloru Test CA", nullptr, nullptr, -1, 30, 1) &&
           Make(otherCa, "Untrusted Test CA", nullptr, nullptr, -1, 30, 2) &&
           Make(server, "localhost", local, &ca, -1, 30, 3) &&
           Make(wrongHost, "other.example", "DNS:other.example", &ca, -1, 30, 4) &&
           Make(expired, "localhost", local, &ca, -20, -10, 5) &&
           Make(untrusted, "localhost", local, &otherCa, -1, 30, 6) &&
           Write(CaFile(), ca, false, "") &&
           Write(Certificate("server"), server, true, Key("server")) &&
           Write(Certificate("wronghost"), wrongHost, true, Key("wronghost")) &&
           Write(Certificate("expired"), expired, true, Key("expired")) &&
           Write(Certificate("untrusted"), untrusted, true, Key("untrusted"));
    if (!m_ok) m_error = "making the test certificates failed";
}

TestCertificates::~TestCertificates() {
    if (m_dir.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}
