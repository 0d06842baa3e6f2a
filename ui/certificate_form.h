#pragma once
// The question about a server certificate that did not verify or has changed: what it says of
// itself, why it is not trusted, and trust always, this time or not at all.

#include <QDialog>

#include "transfer/certificate_trust.h"

class QLabel;
class QPushButton;

class TCertificateForm : public QDialog, public ICertificateQuestions {
    Q_OBJECT
public:
    explicit TCertificateForm(QWidget* parent = nullptr);

    // Fills the fields and runs the dialog modally. Closing without a choice refuses.
    TTlsTrust AskTrust(const TTlsPeerCertificate& certificate, const std::string& knownSha256) override;

    // "AB:CD:..." for reading aloud and comparing by eye.
    static QString FingerprintText(const std::string& sha256);

    QLabel* WarningLabel = nullptr;  // the changed-certificate warning; hidden otherwise
    QLabel* ServerLabel = nullptr;   // host:port
    QLabel* SubjectLabel = nullptr;
    QLabel* IssuerLabel = nullptr;
    QLabel* NotBeforeLabel = nullptr;
    QLabel* NotAfterLabel = nullptr;
    QLabel* FingerprintLabel = nullptr;
    QLabel* KnownCaption = nullptr;           // shown with KnownFingerprintLabel
    QLabel* KnownFingerprintLabel = nullptr;  // the fingerprint trusted before
    QLabel* ProblemLabel = nullptr;
    QPushButton* AlwaysButton = nullptr;    // "Trust &always"
    QPushButton* ThisTimeButton = nullptr;  // "Trust this &time"
    QPushButton* CancelButton = nullptr;    // "Cancel", default and Escape

private:
    TTlsTrust FAnswer = TTlsTrust::Refuse;
};
