#pragma once
// The frame both directory panes share: a panel with the path combo at the top left, the "DirUp"
// button right of it and the list below, laid out again whenever the panel is resized; and the
// keys both lists act on.

class QComboBox;
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
