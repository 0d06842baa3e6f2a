// Layout of the main window that holds at any size: the panes take spare height and give it up
// last, the status bar keeps the file name readable, and the splitters come back as left.

#include "ui/main_form.h"

#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kFileNamePanel = 1;
constexpr int kFileNamePanelWidth = 180;

QString LayoutFile(const std::string& dataDir) { return QFile::decodeName(QByteArray::fromStdString(dataDir)) + "layout.ini"; }

}  // namespace

void TMainForm::ApplyLayoutRules() {
    // Panes: room for a path box and a few rows before anything else gives way.
    const int row = HomeDirList->fontMetrics().height() + 4;
    const int paneHeight = HomeDirCombo->sizeHint().height() + 8 + HomeDirList->header()->sizeHint().height() + 5 * row;
    for (QWidget* pane : {HomeDirPanel, RemoteDirPanel}) {
        pane->setMinimumHeight(paneHeight);
        pane->setMinimumWidth(std::max(200, HomeDirList->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 18));
    }
    PaneSplitter->setStretchFactor(0, 1);
    PaneSplitter->setStretchFactor(1, 1);
    StatusPanel->setMinimumHeight(row * 2);
    QueuePanel->setMinimumHeight(QueueListView->header()->sizeHint().height() + row * 2);
    MainSplitter->installEventFilter(this);

    // Columns fit their content; the name takes what is left.
    for (QHeaderView* h : {HomeDirList->header(), RemoteDirList->header()}) {
        h->setStretchLastSection(false);
        h->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int i = 1; i < h->count(); ++i) h->setSectionResizeMode(i, QHeaderView::ResizeToContents);
        h->setMinimumSectionSize(40);
    }
    HomeDirList->header()->setMinimumSectionSize(40);
    const QFontMetrics qfm(QueueListView->font());
    int statusWidth = 0;
    for (const char* t : {"Downloading", "Uploading", "Aborted", "Status"})
        statusWidth = std::max(statusWidth, qfm.horizontalAdvance(QString::fromLatin1(t)) + 24);
    QueueListView->setColumnWidth(5, std::max(QueueListView->columnWidth(5), statusWidth));
    QueueListView->header()->setStretchLastSection(true);

    // Status bar: the panels' own widths are what they get when there is room; below that they
    // shrink, except the file name, which keeps its width and takes the spare room.
    for (int i = 0; i < static_cast<int>(StatusPanels.size()); ++i) {
        QLabel* label = StatusPanels[static_cast<size_t>(i)];
        const int natural = std::max(label->minimumWidth(), label->maximumWidth() < QWIDGETSIZE_MAX ? label->maximumWidth() : 0);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        if (i == kFileNamePanel) {
            label->setMinimumWidth(kFileNamePanelWidth);
            label->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            // State, times and percentage keep their texts whole; progress, speed and the
            // queue summary give way.
            const int full = std::max(natural, 40);
            const bool shrinks = i == 4 || i == 6 || i + 1 == static_cast<int>(StatusPanels.size());
            label->setMinimumWidth(shrinks ? 40 : full);
            label->setMaximumWidth(full);
        }
        StatusBar1->removeWidget(label);
        StatusBar1->addWidget(label, i == kFileNamePanel ? 100 : 1);
        label->show();
    }
}

void TMainForm::MainSplitterResized(const QResizeEvent& e) {
    const int delta = e.size().height() - e.oldSize().height();
    QList<int> sizes = MainSplitter->sizes();
    if (e.oldSize().height() <= 0 || delta == 0 || sizes.size() != 3) return;
    if (delta > 0) {
        sizes[1] += delta;  // the panes take the spare room
    } else {
        // The log, then the queue, give way before the panes.
        int need = -delta;
        for (int i : {0, 2, 1}) {
            QWidget* w = MainSplitter->widget(i);
            const int give = std::min(need, std::max(0, sizes[i] - w->minimumHeight()));
            sizes[i] -= give;
            need -= give;
        }
        if (need > 0) sizes[1] = std::max(0, sizes[1] - need);
    }
    MainSplitter->setSizes(sizes);
}

void TMainForm::RestoreLayout() {
    QSettings stored(LayoutFile(dataDir_), QSettings::IniFormat);
    MainSplitter->restoreState(stored.value(QStringLiteral("MainSplitter")).toByteArray());
    PaneSplitter->restoreState(stored.value(QStringLiteral("PaneSplitter")).toByteArray());
}

void TMainForm::SaveLayout() {
    const QString path = LayoutFile(dataDir_);
    {
        // QSettings writes a new file and renames it over the old one.
        QSettings stored(path, QSettings::IniFormat);
        stored.setValue(QStringLiteral("MainSplitter"), MainSplitter->saveState());
        stored.setValue(QStringLiteral("PaneSplitter"), PaneSplitter->saveState());
        stored.sync();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
