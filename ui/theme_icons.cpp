#include "ui/theme_icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

void UseInstalledIconTheme() {
    // Outside a desktop session Qt knows no theme (or only the bare "hicolor"); an installed
    // one stands in, so the panes still show type icons.
    static const bool chosen = [] {
        const QString current = QIcon::themeName();
        if (!current.isEmpty() && current != QLatin1String("hicolor")) return true;
        // Some platforms (offscreen among them) do not even search the system's icon folders.
        QStringList paths = QIcon::themeSearchPaths();
        QStringList dataDirs =
            QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (dataDirs.isEmpty()) dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
        for (const QString& d : dataDirs) {
            const QString icons = d + QStringLiteral("/icons");
            if (!paths.contains(icons) && QFileInfo(icons).isDir()) paths << icons;
        }
        QIcon::setThemeSearchPaths(paths);
        for (const char* name : {"Adwaita", "breeze", "oxygen", "gnome", "Tango"})
            for (const QString& dir : QIcon::themeSearchPaths())
                if (QFileInfo::exists(dir + "/" + QLatin1String(name) + "/index.theme")) {
                    QIcon::setThemeName(QLatin1String(name));
                    return true;
                }
        return false;
    }();
    (void)chosen;
}

QIcon ThemeFileIcon(const QString& fileName, const QIcon& fallback) {
    UseInstalledIconTheme();
    // By name only: no file is touched.
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    return icon.isNull() ? fallback : icon;
}

QIcon PaneFolderIcon() {
    UseInstalledIconTheme();
    return QIcon::fromTheme(QStringLiteral("folder"), QApplication::style()->standardIcon(QStyle::SP_DirIcon));
}

QIcon PaneFileIcon() {
    UseInstalledIconTheme();
    return QIcon::fromTheme(QStringLiteral("text-x-generic"), QFileIconProvider().icon(QFileIconProvider::File));
}

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
