#pragma once
// The frame both directory panes share: a panel with the path combo at the top left, the "DirUp"
// button right of it and the list below, laid out again whenever the panel is resized; and the
// keys both lists act on.

#include <QObject>

class QAbstractItemView;
class QComboBox;
class QEvent;
class QKeyEvent;
class QToolButton;
class QWidget;

struct TPaneFrame {
    QWidget* Panel = nullptr;
    QComboBox* Combo = nullptr;
    QToolButton* Up = nullptr;
};

// The panel (in parent) with its combo and up button, named after the pane's components.
TPaneFrame MakePaneFrame(QWidget* parent, const char* panelName, const char* comboName, const char* upName);

// Combo 4 pixels from the top and left, the button right of it, the list filling the rest.
void LayoutPaneFrame(const TPaneFrame& frame, QWidget* list);

// The keys a directory list acts on itself, without modifiers (the keypad's Enter counts).
enum class TPaneKey { None, Open, Up, Delete, Rename };
TPaneKey PaneListKey(const QKeyEvent& key);

// What both directory panes do with their list's input: a press anywhere in the list, the Tab
// keys and the list's own keys, told as signals or handled by the pane.
class TDirectoryPane : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void GoUp() = 0;
    // Enters the current row when it is a folder; a file row raises FileActivated.
    virtual void OpenCurrentRow() = 0;
    virtual void Layout() = 0;

signals:
    void ListClicked();
    void TabReleased();
    // Enter or a double click on a file row (a folder row is entered by the pane itself).
    void FileActivated();
    // Delete and F2 in the list.
    void DeleteKeyPressed();
    void RenameKeyPressed();

protected:
    // Lays the frame out again on every resize of the panel and watches the list.
    void WatchInput(QWidget* panel, QAbstractItemView* list);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The list's own keys: Enter, Backspace, Delete and F2; false for any other.
    bool ListKey(const QKeyEvent& key);

    QWidget* panel_ = nullptr;
    QAbstractItemView* list_ = nullptr;
};
