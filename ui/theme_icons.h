#pragma once
// File icons from the desktop's icon theme, judged by the name alone, for both panes: the remote
// pane has only names, and the local pane should look the same.

#include <QAbstractFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QMutex>
#include <QString>

// Picks an installed icon theme when the desktop names none (called by the functions below; the
// first call should come from the GUI thread).
void UseInstalledIconTheme();

// The theme's icon for a file of that name (by its extension), or fallback when the theme has none.
QIcon ThemeFileIcon(const QString& fileName, const QIcon& fallback);

// The folder icon and the plain file icon the panes use.
QIcon PaneFolderIcon();
QIcon PaneFileIcon();

// Icons of the local pane: the same folder icon and theme icons by extension as the remote pane.
class TThemeIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;

private:
    // One theme lookup per extension; the model may ask from its reader thread.
    mutable QMutex lock_;
    mutable QHash<QString, QIcon> bySuffix_;
};
