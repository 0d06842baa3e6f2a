#pragma once
// Whether a session may go on with the certificate its server presented: verified certificates
// pass, certificates the user trusts always pass, anything else is the user's question. Every
// answer holds for the rest of the run, so retries, reconnects and the queue never ask twice.

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "sites/trusted_certificates.h"
#include "transport/tls_certificate.h"

class ICertificateQuestions {
public:
    virtual ~ICertificateQuestions() = default;
    // The certificate did not verify, or is not the one trusted for its host and port before.
    // knownSha256: the fingerprint trusted before (the certificate has changed), else empty.
    virtual TTlsTrust AskTrust(const TTlsPeerCertificate& certificate, const std::string& knownSha256) = 0;
};

class TCertificateTrust {
public:
    // Reads the trusted certificates; returns the message to show ("" when clean). A read error
    // raises EInOutError.
    std::string Load(const std::string& dataDir);

    // Who answers; without one, whatever needs asking is refused.
    void SetQuestions(ICertificateQuestions* questions) { questions_ = questions; }
    // Told when a "trust always" could not be saved; the trust still holds for the run and is
    // saved with the next one.
    std::function<void(const std::string& message)> OnSaveError;

    TTlsTrust Check(const TTlsPeerCertificate& certificate);
    TTlsCertificateCheck CheckFunction() {
        return [this](const TTlsPeerCertificate& c) { return Check(c); };
    }

    // The user starts a connection himself: refusals of this run may be reconsidered. Certificates
    // trusted this time stay trusted.
    void ForgetRefusals();

    const TTrustedCertificateStore& Store() const { return store_; }

private:
    using TKey = std::tuple<std::string, int, std::string>;  // host (lower case), port, fingerprint
    static TKey KeyOf(const TTlsPeerCertificate& c);

    TTrustedCertificateStore store_;
    std::string dataDir_;
    ICertificateQuestions* questions_ = nullptr;
    std::map<TKey, TTlsTrust> decided_;  // answers of this run: ThisTime or Refuse
};
