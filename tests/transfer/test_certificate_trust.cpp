// The certificate trust decisions over a run and across restarts, with scripted answers.

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>

#include "sites/data_file.h"
#include "tests/sites/state_test_util.h"
#include "transfer/certificate_trust.h"

namespace {

class TScriptedCertificateQuestions : public ICertificateQuestions {
public:
    std::deque<TTlsTrust> Answers;
    std::vector<std::string> KnownShown;  // knownSha256 of each question asked

    TTlsTrust AskTrust(const TTlsPeerCertificate&, const std::string& knownSha256) override {
        KnownShown.push_back(knownSha256);
        if (Answers.empty()) return TTlsTrust::Refuse;
        const TTlsTrust a = Answers.front();
        Answers.pop_front();
        return a;
    }
};

TTlsPeerCertificate Cert(const std::string& host, int port, char sha, bool verified) {
    TTlsPeerCertificate c;
    c.Host = host;
    c.Port = port;
    c.Subject = "CN=" + host;
    c.Issuer = verified ? "CN=Some CA" : c.Subject;
    c.Sha256 = std::string(64, sha);
    if (!verified) c.Problem = "self-signed certificate";
    return c;
}

const std::string kA(64, 'a'), kB(64, 'b');

TEST(CertificateTrust, DecidesOnceARunAndRemembersAlwaysAcrossRestarts) {
    enum TKind { Present, Restart, UserConnect, SaveFails };
    struct TStep {
        TKind Kind;
        TTlsPeerCertificate Certificate{};
        std::optional<TTlsTrust> Answer{};  // the question must come and gets this; nullopt: no question
        std::string KnownShown{};
        TTlsTrust Result = TTlsTrust::Refuse;
    };
    using T = TTlsTrust;
    const auto selfA = Cert("ftp.example.org", 21, 'a', false);
    const auto selfB = Cert("ftp.example.org", 21, 'b', false);
    const auto goodA = Cert("ftp.example.org", 21, 'a', true);
    const auto goodB = Cert("ftp.example.org", 21, 'b', true);
    struct TCase {
        const char* Name;
        std::vector<TStep> Steps;
    };
    const TCase cases[] = {
        {"verified and unknown passes unasked and is not stored",
         {{Present, goodA, {}, "", T::ThisTime}, {Restart}, {Present, goodA, {}, "", T::ThisTime}}},
        {"unverified asks; Cancel refuses for the run until the user connects again",
         {{Present, selfA, T::Refuse, "", T::Refuse},
          {Present, selfA, {}, "", T::Refuse},
          {UserConnect},
          {Present, selfA, T::ThisTime, "", T::ThisTime},
          {Present, selfA, {}, "", T::ThisTime},
          {UserConnect},
          {Present, selfA, {}, "", T::ThisTime},
          {Restart},
          {Present, selfA, T::Refuse, "", T::Refuse}}},
        {"trusted always passes unasked after a restart, verified or not",
         {{Present, selfA, T::Always, "", T::Always},
          {Restart},
          {Present, selfA, {}, "", T::Always},
          {Present, Cert("FTP.Example.ORG", 21, 'a', false), {}, "", T::Always},
          {Present, goodA, {}, "", T::Always}}},
        {"a changed certificate warns with the old fingerprint; Always replaces it",
         {{Present, selfA, T::Always, "", T::Always},
          {Present, selfB, T::Always, kA, T::Always},
          {Restart},
          {Present, selfB, {}, "", T::Always},
          {Present, selfA, T::Refuse, kB, T::Refuse},
          {Present, selfA, {}, "", T::Refuse}}},
        {"a changed certificate asks even when it verified",
         {{Present, selfA, T::Always, "", T::Always}, {Present, goodB, T::ThisTime, kA, T::ThisTime}}},
        {"another port is another server",
         {{Present, selfA, T::Always, "", T::Always},
          {Present, Cert("ftp.example.org", 990, 'a', false), T::Refuse, "", T::Refuse}}},
        {"a trust that could not be saved holds for the run and is asked for again after a restart",
         {{SaveFails},
          {Present, selfA, T::Always, "", T::Always},
          {Present, selfA, {}, "", T::Always},
          {Restart},
          {Present, selfA, T::Always, "", T::Always},
          {Restart},
          {Present, selfA, {}, "", T::Always}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        TScriptedCertificateQuestions questions;
        std::vector<std::string> saveErrors;
        std::unique_ptr<TCertificateTrust> trust;
        auto start = [&] {
            trust = std::make_unique<TCertificateTrust>();
            EXPECT_EQ(trust->Load(dir.Path), "");
            trust->SetQuestions(&questions);
            trust->OnSaveError = [&](const std::string& m) { saveErrors.push_back(m); };
        };
        start();
        bool failSave = false;
        for (std::size_t i = 0; i < c.Steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const TStep& s = c.Steps[i];
            if (s.Kind == Restart) start();
            if (s.Kind == UserConnect) trust->ForgetRefusals();
            if (s.Kind == SaveFails) {
                failSave = true;
                SetWriteFaultInjection({TWriteFaultInjection::Create, 0, 28});
            }
            if (s.Kind != Present) continue;
            questions.KnownShown.clear();
            if (s.Answer) questions.Answers = {*s.Answer};
            EXPECT_EQ(trust->CheckFunction()(s.Certificate), s.Result);
            ASSERT_EQ(questions.KnownShown.size(), s.Answer ? 1u : 0u);
            if (s.Answer) {
                EXPECT_EQ(questions.KnownShown[0], s.KnownShown);
            }
            if (failSave) {
                EXPECT_EQ(saveErrors.size(), 1u);
                ClearWriteFaultInjection();
                failSave = false;
            }
        }
        ClearWriteFaultInjection();
    }
}

}  // namespace
