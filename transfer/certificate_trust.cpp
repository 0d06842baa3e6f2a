#include "transfer/certificate_trust.h"

std::string TCertificateTrust::Load(const std::string& dataDir) {
    dataDir_ = dataDir;
    return store_.Load(dataDir);
}

TCertificateTrust::TKey TCertificateTrust::KeyOf(const TTlsPeerCertificate& c) {
    std::string host = c.Host;
    for (char& ch : host)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return {host, c.Port, c.Sha256};
}

TTlsTrust TCertificateTrust::Check(const TTlsPeerCertificate& certificate) {
    const TTrustedCertificate* known = store_.Find(certificate.Host, certificate.Port);
    if (known && known->Sha256 == certificate.Sha256) return TTlsTrust::Always;
    if (!known && certificate.Verified()) return TTlsTrust::ThisTime;

    const TKey key = KeyOf(certificate);
    if (auto it = decided_.find(key); it != decided_.end()) return it->second;
    // A Cancel, or a window closed without an answer, is a refusal.
    const TTlsTrust answer =
        questions_ ? questions_->AskTrust(certificate, known ? known->Sha256 : std::string()) : TTlsTrust::Refuse;
    if (answer != TTlsTrust::Always) {
        decided_[key] = answer == TTlsTrust::ThisTime ? TTlsTrust::ThisTime : TTlsTrust::Refuse;
        return decided_[key];
    }
    store_.Put({certificate.Host, certificate.Port, certificate.Sha256, certificate.Subject, {}});
    if (dataDir_.empty()) return TTlsTrust::Always;  // never loaded: no folder to keep it in
    try {
        store_.Save(dataDir_);
    } catch (const EInOutError& e) {
        if (OnSaveError) OnSaveError(e.Message());
    }
    return TTlsTrust::Always;
}

void TCertificateTrust::ForgetRefusals() {
    std::erase_if(decided_, [](const auto& d) { return d.second == TTlsTrust::Refuse; });
}
