#include "ui/theme_icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

QIcon ThemeFileIcon(const QString& fileName, const QIcon& fallback) {
    // By name only: no file is touched.
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    return icon.isNull() ? fallback : icon;
}

QIcon PaneFolderIcon() { return QApplication::style()->standardIcon(QStyle::SP_DirIcon); }

QIcon PaneFileIcon() { return QFileIconProvider().icon(QFileIconProvider::File); }

QIcon TThemeIconProvider::icon(IconType type) const {
    return type == Folder ? PaneFolderIcon() : QAbstractFileIconProvider::icon(type);
}

QIcon TThemeIconProvider::icon(const QFileInfo& info) const {
    if (info.isDir()) return PaneFolderIcon();
    const QString suffix = info.suffix().toLower();
    const QMutexLocker locked(&lock_);
    auto it = bySuffix_.constFind(suffix);
    if (it == bySuffix_.constEnd())
        it = bySuffix_.insert(suffix, ThemeFileIcon(QStringLiteral("x.") + suffix, PaneFileIcon()));
    return *it;
}
