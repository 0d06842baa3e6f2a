#pragma once
// The local pane: the folder combo, the "DirUp" button and the list of the folder shown, with its
// navigation and its selection. The window connects its commands here and learns of clicks and
// the Tab key through the signals.

#include <string>
#include <vector>

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

#include "ui/pane_frame.h"

class QComboBox;
class QKeyEvent;
class QFileSystemModel;
class QToolButton;
class QTreeView;
class QWidget;

class TLocalPane : public TDirectoryPane {
    Q_OBJECT
public:
    // Builds the pane inside parent and shows the home folder.
    explicit TLocalPane(QWidget* parent);

    QWidget* Panel() const { return frame_.Panel; }
    QComboBox* Combo() const { return frame_.Combo; }
    QToolButton* UpButton() const { return frame_.Up; }
    QTreeView* List() const { return list_; }
    QFileSystemModel* Model() const { return model_; }

    // The folder shown, ending in "/", as the file system names it.
    std::string Folder() const;
    // Shows path when it is a folder that can be listed; false (nothing changed) otherwise.
    bool SetFolder(const QString& path);
    // The folder's combo entry, for the goto dialog.
    QString ShownFolder() const;
    // Re-reads the folder.
    void Refresh();
    // Re-reads the folder, makes the first selected row the only one, and takes the focus.
    void RefreshKeepingSelection();
    void GoUp() override;
    // Enters the current row when it is a folder; a file row raises FileActivated.
    void OpenCurrentRow() override;
    // Makes the first row current unless one is already.
    void SelectFirstRowIfNoneCurrent();
    void Focus();
    void SetDragEnabled(bool enabled);
    void Layout() override;

    // Full paths of the selected items in row order; only rows of the folder shown count.
    QStringList SelectedPaths() const;
    // The same as the file system's bytes.
    std::vector<std::string> SelectedPathBytes() const;

private:
    void FillCombo(const QString& folder);
    void FolderTyped();
    // Makes the first row of the list, in its sorted order, current and selected.
    void SelectFirstRow();

    TPaneFrame frame_;
    QTreeView* list_ = nullptr;
    QFileSystemModel* model_ = nullptr;
    QPersistentModelIndex autoFirstRow_;  // the row SelectFirstRow chose
};
