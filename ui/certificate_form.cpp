#include "ui/certificate_form.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QLabel* ValueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

// The fingerprint in two lines of 16 pairs, so the dialog stays narrow.
QString TwoLines(const QString& fingerprint) {
    constexpr int kFirstLine = 16 * 3 - 1;
    if (fingerprint.size() <= kFirstLine + 1) return fingerprint;
    return fingerprint.left(kFirstLine) + "\n" + fingerprint.mid(kFirstLine + 1);
}

}  // namespace

QString TCertificateForm::FingerprintText(const std::string& sha256) {
    QString out;
    for (std::size_t i = 0; i < sha256.size(); i += 2) {
        if (!out.isEmpty()) out += ':';
        out += FromBytes(sha256.substr(i, 2)).toUpper();
    }
    return out;
}

TCertificateForm::TCertificateForm(QWidget* parent) : QDialog(parent) {
    setObjectName("CertificateForm");
    setWindowTitle("Server Certificate");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    WarningLabel = new QLabel(this);
    WarningLabel->setWordWrap(true);
    WarningLabel->setTextFormat(Qt::PlainText);
    QFont bold = WarningLabel->font();
    bold.setBold(true);
    WarningLabel->setFont(bold);
    WarningLabel->setStyleSheet("color: #b00000;");
    WarningLabel->setText(
        "WARNING: The server presents another certificate than the one you trusted before. Someone may be "
        "intercepting the connection. Trust the new certificate only if you know why it has changed.");

    ServerLabel = ValueLabel(this);
    SubjectLabel = ValueLabel(this);
    IssuerLabel = ValueLabel(this);
    NotBeforeLabel = ValueLabel(this);
    NotAfterLabel = ValueLabel(this);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    FingerprintLabel = ValueLabel(this);
    FingerprintLabel->setFont(fixed);
    KnownFingerprintLabel = ValueLabel(this);
    KnownFingerprintLabel->setFont(fixed);
    ProblemLabel = ValueLabel(this);
    ProblemLabel->setFont(bold);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    int row = 0;
    auto add = [&](const QString& caption, QLabel* value) {
        auto* c = new QLabel(caption, this);
        c->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(c, row, 0);
        grid->addWidget(value, row++, 1);
        return c;
    };
    add("FTP Server:", ServerLabel);
    add("Issued to:", SubjectLabel);
    add("Issued by:", IssuerLabel);
    add("Valid from:", NotBeforeLabel);
    add("Valid until:", NotAfterLabel);
    add("SHA-256 Fingerprint:", FingerprintLabel);
    KnownCaption = add("Trusted Before:", KnownFingerprintLabel);
    add("Not trusted because:", ProblemLabel);
    grid->setColumnStretch(1, 1);
    // Room for a fingerprint of 32 pairs on two lines.
    FingerprintLabel->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(48, 'A')));

    AlwaysButton = new QPushButton("Trust &always", this);
    ThisTimeButton = new QPushButton("Trust this &time", this);
    CancelButton = new QPushButton("Cancel", this);
    for (QPushButton* b : {AlwaysButton, ThisTimeButton, CancelButton}) {
        b->setMinimumWidth(96);
        b->setAutoDefault(false);
    }
    // Enter must never trust by accident.
    CancelButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(AlwaysButton);
    buttons->addWidget(ThisTimeButton);
    buttons->addWidget(CancelButton);

    auto* heading = new QLabel("The identity of the FTP server could not be confirmed.", this);
    heading->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(WarningLabel);
    layout->addWidget(heading);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto choose = [this](TTlsTrust answer) {
        FAnswer = answer;
        QDialog::done(QDialog::Accepted);
    };
    connect(AlwaysButton, &QPushButton::clicked, this, [choose] { choose(TTlsTrust::Always); });
    connect(ThisTimeButton, &QPushButton::clicked, this, [choose] { choose(TTlsTrust::ThisTime); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TTlsTrust TCertificateForm::AskTrust(const TTlsPeerCertificate& c, const std::string& knownSha256) {
    const bool changed = !knownSha256.empty();
    WarningLabel->setVisible(changed);
    KnownCaption->setVisible(changed);
    KnownFingerprintLabel->setVisible(changed);
    KnownFingerprintLabel->setText(TwoLines(FingerprintText(knownSha256)));
    ServerLabel->setText(FromBytes(c.Host) + ":" + QString::number(c.Port));
    SubjectLabel->setText(FromBytes(c.Subject));
    IssuerLabel->setText(FromBytes(c.Issuer));
    NotBeforeLabel->setText(FromBytes(c.NotBefore));
    NotAfterLabel->setText(FromBytes(c.NotAfter));
    FingerprintLabel->setText(TwoLines(FingerprintText(c.Sha256)));
    QString problem = FromBytes(c.Problem);
    if (changed)
        problem = problem.isEmpty() ? "It is not the certificate trusted before."
                                    : problem + "\nIt is not the certificate trusted before.";
    ProblemLabel->setText(problem);
    FAnswer = TTlsTrust::Refuse;
    CancelButton->setFocus();
    exec();
    return FAnswer;
}
