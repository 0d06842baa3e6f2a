// The certificate question: what it shows, and which answer each way out of it gives.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "tests/ui/ui_test_app.h"
#include "ui/certificate_form.h"

namespace {

TTlsPeerCertificate SelfSigned() {
    TTlsPeerCertificate c;
    c.Host = "ftp.example.org";
    c.Port = 990;
    c.Subject = "CN=ftp.example.org, O=Example";
    c.Issuer = c.Subject;
    c.NotBefore = "2026-01-01 00:00:00 UTC";
    c.NotAfter = "2027-01-01 00:00:00 UTC";
    for (int i = 0; i < 32; ++i) c.Sha256 += i % 2 ? "c0" : "ab";
    c.Problem = "self-signed certificate";
    return c;
}

TEST(CertificateForm, ShowsTheCertificateAndEachWayOutGivesItsAnswer) {
    EnsureApplicationWithPrivateData();
    TCertificateForm form;
    const std::string known(64, 'f');
    struct TCase {
        const char* Name;
        std::string Known;
        std::function<void()> Answer;
        TTlsTrust Expected;
    };
    const TCase cases[] = {
        {"trust always", "", [&] { form.AlwaysButton->click(); }, TTlsTrust::Always},
        {"trust this time", "", [&] { form.ThisTimeButton->click(); }, TTlsTrust::ThisTime},
        {"cancel", "", [&] { form.CancelButton->click(); }, TTlsTrust::Refuse},
        {"escape", "", [&] { QTest::keyClick(&form, Qt::Key_Escape); }, TTlsTrust::Refuse},
        {"enter does not trust", "", [&] { QTest::keyClick(&form, Qt::Key_Return); }, TTlsTrust::Refuse},
        {"changed: trust the new one", known, [&] { form.AlwaysButton->click(); }, TTlsTrust::Always},
        {"changed: enter does not trust", known, [&] { QTest::keyClick(&form, Qt::Key_Return); }, TTlsTrust::Refuse},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = form.isVisible();
            EXPECT_TRUE(form.CancelButton->isDefault());
            EXPECT_EQ(form.SubjectLabel->text(), "CN=ftp.example.org, O=Example");
            EXPECT_EQ(form.ServerLabel->text(), "ftp.example.org:990");
            EXPECT_EQ(form.NotBeforeLabel->text(), "2026-01-01 00:00:00 UTC");
            EXPECT_EQ(form.NotAfterLabel->text(), "2027-01-01 00:00:00 UTC");
            // Two lines of 16 pairs; the line break stands for the colon between them.
            EXPECT_EQ(QString(form.FingerprintLabel->text()).replace('\n', ':').toStdString(),
                      "AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:"
                      "AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0:AB:C0");
            EXPECT_TRUE(form.ProblemLabel->text().startsWith("self-signed certificate"));
            const bool changed = !c.Known.empty();
            EXPECT_EQ(form.WarningLabel->isVisible(), changed);
            EXPECT_EQ(form.KnownFingerprintLabel->isVisible(), changed);
            if (changed) {
                EXPECT_TRUE(form.KnownFingerprintLabel->text().startsWith("FF:FF:"));
            }
            c.Answer();
        });
        EXPECT_EQ(form.AskTrust(SelfSigned(), c.Known), c.Expected);
        EXPECT_TRUE(shown);
    }
}

}  // namespace
