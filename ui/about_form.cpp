#include "ui/about_form.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

namespace {

std::function<void(const QUrl&)>& UrlOpener() {
    static std::function<void(const QUrl&)> opener;
    return opener;
}

// The banner at the top of the box, drawn rather than shipped as a file.
QPixmap AboutPicture() {
    QPixmap picture(360, 90);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, picture.width(), picture.height());
    gradient.setColorAt(0, QColor(18, 52, 110));
    gradient.setColorAt(1, QColor(60, 140, 200));
    painter.fillRect(picture.rect(), gradient);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(255, 255, 255, 60));
    for (int i = 0; i < 6; ++i) painter.drawEllipse(QPoint(300, 45), 12 + i * 14, 12 + i * 14);
    QFont font = painter.font();
    font.setPointSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(18, 10, 320, 44), Qt::AlignLeft | Qt::AlignVCenter, "OrlixFtp 1.0");
    font.setPointSize(10);
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(QRect(20, 52, 320, 26), Qt::AlignLeft | Qt::AlignVCenter, "FTP client");
    return picture;
}

}  // namespace

QString ProgramReadmePath(const QString& binaryDir) {
    const QString installed = QDir(binaryDir).absoluteFilePath(QStringLiteral("../share/doc/orlix-ftp/README.md"));
    if (QFileInfo(installed).isFile()) return QDir::cleanPath(installed);
#ifdef ORLIX_SOURCE_README
    // A build tree's program has no installed copy; its sources are where it was built from.
    const QString source = QStringLiteral(ORLIX_SOURCE_README);
    if (QFileInfo(source).isFile()) return source;
#endif
    return {};
}

QString ProgramReadmeUrl() {
    const QString path = ProgramReadmePath(QCoreApplication::applicationDirPath());
    return path.isEmpty() ? QString() : QUrl::fromLocalFile(path).toString();
}

void OpenDesktopUrl(const QUrl& url) {
    if (UrlOpener())
        UrlOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

void SetDesktopUrlOpener(std::function<void(const QUrl&)> opener) { UrlOpener() = std::move(opener); }

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutForm");
    setWindowTitle("About OrlixFtp 1.0 demo");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);

    Image1 = new QLabel(this);
    Image1->setPixmap(AboutPicture());
    Image1->setAlignment(Qt::AlignCenter);

    Label1 = new QLabel("For more informations about software and for downloading \nwallpapers go to :", this);
    Label1->setTextFormat(Qt::PlainText);

    const QString readme = ProgramReadmePath(QCoreApplication::applicationDirPath());
    LinkLabel = new QLabel(
        readme.isEmpty() ? QStringLiteral("README.md (not installed)") : QDir::toNativeSeparators(readme), this);
    LinkLabel->setTextFormat(Qt::PlainText);
    QFont linkFont = LinkLabel->font();
    linkFont.setBold(true);
    LinkLabel->setFont(linkFont);
    QPalette linkPalette = LinkLabel->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    LinkLabel->setPalette(linkPalette);
    LinkLabel->setCursor(Qt::PointingHandCursor);
    LinkLabel->installEventFilter(this);

    Button1 = new QPushButton("OK", this);
    QFont okFont = Button1->font();
    okFont.setBold(true);
    okFont.setItalic(true);
    okFont.setPointSizeF(okFont.pointSizeF() * 1.6);
    Button1->setFont(okFont);
    Button1->setMinimumSize(120, 40);
    Button1->setDefault(true);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(Button1);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Image1);
    layout->addSpacing(6);
    layout->addWidget(Label1);
    layout->addWidget(LinkLabel);
    layout->addSpacing(10);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, &TAboutForm::Closed);
}

void TAboutForm::ShowCentered() {
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + static_cast<int>(std::lround(area.width() / 2.0 - width() / 2.0)),
             area.y() + static_cast<int>(std::lround(area.height() / 2.0 - height() / 2.0)));
    }
    show();
    raise();
    activateWindow();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LinkLabel && event->type() == QEvent::MouseButtonDblClick) {
        emit OpenWebPage(ProgramReadmeUrl());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::reject() {}
