#pragma once
// What a TLS session learns of the server's certificate, and the answer of whoever decides
// whether to go on. The decision is not the transport's: the window asks the user, the
// command-line tool compares a fingerprint, the trust store remembers.

#include <functional>
#include <string>

struct TTlsPeerCertificate {
    std::string Host;  // as the user gave it (the name the certificate was checked against)
    int Port = 0;
    std::string Subject;
    std::string Issuer;
    std::string NotBefore;  // display text, e.g. "2026-01-31 12:00:00 UTC"
    std::string NotAfter;
    std::string Sha256;   // 64 lowercase hex digits of the DER certificate
    std::string Problem;  // empty when the chain and the host name verified; else why not, in words

    bool Verified() const { return Problem.empty(); }
};

enum class TTlsTrust { Refuse, ThisTime, Always };

// Called once per control connection after the handshake, verified or not, before anything
// else is sent.
using TTlsCertificateCheck = std::function<TTlsTrust(const TTlsPeerCertificate&)>;
