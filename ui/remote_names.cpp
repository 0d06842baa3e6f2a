#include "ui/remote_names.h"

#include <QStringDecoder>

#include "ftp/ftp_client.h"

namespace remotenames {

QString Display(const std::string& bytes, bool rawBytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!rawBytes) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(view);
        if (!utf8.hasError()) return text;
    }
    return QString::fromLatin1(view);
}

std::string Bytes(const QString& text, bool rawBytes) {
    if (rawBytes) {
        bool fits = true;
        for (QChar c : text)
            if (c.unicode() > 0xFF) fits = false;
        if (fits) return text.toLatin1().toStdString();
    }
    return text.toUtf8().toStdString();
}

bool RawBytes(const TIdFTP& ftp) { return ftp.NameEncoding == TFtpNameEncoding::Raw; }

}  // namespace remotenames
