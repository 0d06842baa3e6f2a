#include "ui/pane_frame.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

#include "ui/guard.h"

TPaneFrame MakePaneFrame(QWidget* parent, const char* panelName, const char* comboName, const char* upName) {
    TPaneFrame f;
    f.Panel = new QWidget(parent);
    f.Panel->setObjectName(QString::fromLatin1(panelName));
    f.Panel->setMinimumWidth(120);
    f.Combo = new QComboBox(f.Panel);
    f.Combo->setObjectName(QString::fromLatin1(comboName));
    f.Up = new QToolButton(f.Panel);
    f.Up->setObjectName(QString::fromLatin1(upName));
    f.Up->setText(QStringLiteral("DirUp"));
    f.Up->setToolButtonStyle(Qt::ToolButtonTextOnly);
    f.Up->setFixedWidth(std::max(48, f.Up->fontMetrics().horizontalAdvance(f.Up->text()) + 16));
    return f;
}

void LayoutPaneFrame(const TPaneFrame& frame, QWidget* list) {
    if (!frame.Panel || !frame.Combo || !frame.Up || !list) return;
    QWidget* panel = frame.Panel;
    const int comboHeight = frame.Combo->sizeHint().height();
    const int comboWidth = std::max(40, panel->width() - frame.Up->width() - 12);
    frame.Combo->setGeometry(4, 4, comboWidth, comboHeight);
    frame.Up->setGeometry(comboWidth + 8, 4, frame.Up->width(), comboHeight);
    const int listTop = 4 + comboHeight + 4;
    list->setGeometry(0, listTop, panel->width(), std::max(0, panel->height() - comboHeight - 4 - 4));
}

TPaneKey PaneListKey(const QKeyEvent& key) {
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return TPaneKey::None;
    switch (key.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return TPaneKey::Open;
        case Qt::Key_Backspace:
            return TPaneKey::Up;
        case Qt::Key_Delete:
            return TPaneKey::Delete;
        case Qt::Key_F2:
            return TPaneKey::Rename;
        default:
            return TPaneKey::None;
    }
}

void TDirectoryPane::WatchInput(QWidget* panel, QAbstractItemView* list) {
    panel_ = panel;
    list_ = list;
    panel->installEventFilter(this);
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
}

bool TDirectoryPane::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Resize && watched == panel_) {
        guard::Run([this] { Layout(); });
    } else if (e->type() == QEvent::MouseButtonPress && list_ && watched == list_->viewport()) {
        // Anywhere in the list, blank space and an empty folder included.
        emit ListClicked();
    } else if (e->type() == QEvent::KeyPress && watched == list_) {
        bool used = false;
        guard::Run([&, this] { used = ListKey(*static_cast<QKeyEvent*>(e)); });
        if (used) return true;
    } else if (e->type() == QEvent::KeyRelease && watched == list_ &&
               (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab ||
                static_cast<QKeyEvent*>(e)->key() == Qt::Key_Backtab)) {
        emit TabReleased();
    }
    return QObject::eventFilter(watched, e);
}

bool TDirectoryPane::ListKey(const QKeyEvent& key) {
    switch (PaneListKey(key)) {
        case TPaneKey::Open:
            OpenCurrentRow();
            return true;
        case TPaneKey::Up:
            GoUp();
            return true;
        case TPaneKey::Delete:
            emit DeleteKeyPressed();
            return true;
        case TPaneKey::Rename:
            emit RenameKeyPressed();
            return true;
        case TPaneKey::None:
            break;
    }
    return false;
}
