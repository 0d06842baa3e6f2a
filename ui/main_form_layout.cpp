// Layout of the main window that holds at any size: the panes take spare height and give it up
// last, the status bar keeps the file name readable, list columns fit what they show, and the
// splitters come back as left.

#include "ui/main_form.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <charconv>
#include <set>

#include "sites/data_file.h"
#include "ui/guard.h"

namespace {

constexpr int kFileNamePanel = 1;
constexpr int kFileNamePanelWidth = 180;  // its designed width (kPanels in main_form.cpp)
constexpr int kShrunkPanelWidth = 36;
const char kLayoutFileName[] = "layout.ini";

// Keeps a list's columns fitted to their content: the fixed columns as wide as their widest text
// (or sample text), the stretching ones sharing what is left but never narrower than their own
// content up to a cap; when that does not fit, the list scrolls sideways instead of cutting text.
class TColumnFitter : public QObject {
public:
    TColumnFitter(QTreeView* view, std::set<int> stretching, std::vector<std::pair<int, QStringList>> samples)
        : QObject(view), view_(view), stretching_(std::move(stretching)), samples_(std::move(samples)) {
        QHeaderView* h = view->header();
        h->setStretchLastSection(false);
        h->setMinimumSectionSize(24);
        view->viewport()->installEventFilter(this);
        QAbstractItemModel* m = view->model();
        connect(m, &QAbstractItemModel::modelReset, this, &TColumnFitter::Schedule);
        connect(m, &QAbstractItemModel::layoutChanged, this, &TColumnFitter::Schedule);
        connect(m, &QAbstractItemModel::rowsInserted, this, &TColumnFitter::Schedule);
        connect(m, &QAbstractItemModel::dataChanged, this, &TColumnFitter::Schedule);
        connect(h, &QHeaderView::sectionCountChanged, this, &TColumnFitter::Schedule);
        Schedule();
    }

    void Fit() {
        pending_ = false;
        QHeaderView* h = view_->header();
        const QFontMetrics fm(view_->font());
        // The item delegate's text margins, both sides, and a little air.
        const int margins = 2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1) + 6;
        auto natural = [&](int c) {
            int w = std::max(static_cast<QAbstractItemView*>(view_)->sizeHintForColumn(c), h->sectionSizeHint(c));
            for (const auto& [column, texts] : samples_)
                if (column == c)
                    for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t) + margins);
            return w;
        };
        int fixed = 0;
        std::vector<std::pair<int, int>> stretch;  // column, its least width
        int least = 0;
        const int cap = fm.horizontalAdvance(QLatin1Char('x')) * 30;
        for (int c = 0; c < h->count(); ++c) {
            if (h->isSectionHidden(c)) continue;
            h->setSectionResizeMode(c, QHeaderView::Interactive);
            if (stretching_.count(c)) {
                stretch.emplace_back(c, std::min(natural(c), std::max(cap, h->sectionSizeHint(c))));
                least += stretch.back().second;
            } else {
                const int w = natural(c);
                h->resizeSection(c, w);
                fixed += w;
            }
        }
        int spare = std::max(0, view_->viewport()->width() - fixed - least);
        for (size_t i = 0; i < stretch.size(); ++i) {
            const int share = spare / static_cast<int>(stretch.size() - i);
            h->resizeSection(stretch[i].first, stretch[i].second + share);
            spare -= share;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize && watched == view_->viewport()) Schedule();
        return QObject::eventFilter(watched, e);
    }

private:
    void Schedule() {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, this, [this] { guard::Run([this] { Fit(); }); });
    }

    QTreeView* view_;
    std::set<int> stretching_;
    std::vector<std::pair<int, QStringList>> samples_;
    bool pending_ = false;
};

// Gives the status panels their designed widths while the bar has room; when it has not, the
// progress bar, the speed and the queue summary give way first, then the times, then the state
// and the percentage. The file name never goes below its designed width. Only the panels'
// largest widths change, so the window's least size stays small.
class TStatusBarFitter : public QObject {
public:
    TStatusBarFitter(QStatusBar* bar, std::vector<QLabel*> panels, std::vector<int> designed, QWidget* permanent)
        : QObject(bar), bar_(bar), panels_(std::move(panels)), designed_(std::move(designed)), permanent_(permanent) {
        bar->installEventFilter(this);
        permanent->installEventFilter(this);
    }

    void Fit() {
        const int n = static_cast<int>(panels_.size());
        // A little less than the bar's room (spacing, size grip): the file name takes what is left over.
        int budget = bar_->width() - (permanent_->isVisible() ? permanent_->sizeHint().width() : 0) - 24 - 6 * (n + 2) -
                     kFileNamePanelWidth;
        std::vector<int> widths = designed_;
        int sum = 0;
        for (int i = 0; i < n; ++i)
            if (i != kFileNamePanel) sum += widths[static_cast<size_t>(i)];
        for (int i : {4, 6, 7, 3, 2, 0, 5}) {
            if (sum <= budget || i >= n) break;
            int& w = widths[static_cast<size_t>(i)];
            const int cut = std::min(sum - budget, std::max(0, w - kShrunkPanelWidth));
            w -= cut;
            sum -= cut;
        }
        for (int i = 0; i < n; ++i)
            if (i != kFileNamePanel) panels_[static_cast<size_t>(i)]->setMaximumWidth(widths[static_cast<size_t>(i)]);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const bool resized = watched == bar_ && e->type() == QEvent::Resize;
        const bool shownOrHidden = watched == permanent_ && (e->type() == QEvent::Show || e->type() == QEvent::Hide);
        if (resized || shownOrHidden) guard::Run([this] { Fit(); });
        return QObject::eventFilter(watched, e);
    }

private:
    QStatusBar* bar_;
    std::vector<QLabel*> panels_;
    std::vector<int> designed_;
    QWidget* permanent_;
};

// "NAME=a,b,c" lines; a value that does not read as count positive sizes is left out.
QList<int> StoredSizes(const std::string& text, const std::string& name, int count) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind(name + "=", 0) != 0) continue;
        QList<int> sizes;
        const char* p = line.data() + name.size() + 1;
        const char* stop = line.data() + line.size();
        while (p < stop) {
            int v = 0;
            const auto [next, ec] = std::from_chars(p, stop, v);
            if (ec != std::errc() || v <= 0 || v > 100000) return {};
            sizes << v;
            p = next;
            if (p < stop && *p++ != ',') return {};
        }
        return sizes.size() == count ? sizes : QList<int>{};
    }
    return {};
}

std::string SizesLine(const char* name, const QList<int>& sizes) {
    std::string line = name;
    line += '=';
    for (int i = 0; i < sizes.size(); ++i) line += (i ? "," : "") + std::to_string(std::max(1, sizes[i]));
    return line + "\n";
}

}  // namespace

void TMainForm::ApplyLayoutRules() {
    // Panes: room for a path box and a few rows before anything else gives way.
    const int row = HomeDirList->fontMetrics().height() + 4;
    const int paneHeight = HomeDirCombo->sizeHint().height() + 8 + HomeDirList->header()->sizeHint().height() + 5 * row;
    for (QWidget* pane : {HomeDirPanel, RemoteDirPanel}) {
        pane->setMinimumHeight(paneHeight);
        pane->setMinimumWidth(std::max(200, HomeDirList->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 16));
    }
    // Both panes share the width and grow alike.
    PaneSplitter->setStretchFactor(0, 1);
    PaneSplitter->setStretchFactor(1, 1);
    const int half = std::max(PaneSplitter->width(), 2 * HomeDirPanel->minimumWidth()) / 2;
    PaneSplitter->setSizes({half, half});
    StatusPanel->setMinimumHeight(row * 2);
    QueuePanel->setMinimumHeight(QueueListView->header()->sizeHint().height() + row * 2);
    // Below the window's least size the log and the queue fold away rather than the panes.
    MainSplitter->setCollapsible(0, true);
    MainSplitter->setCollapsible(1, false);
    MainSplitter->setCollapsible(2, true);
    MainSplitter->installEventFilter(this);

    // Columns fit their content; the names (the queue's paths) take what is left.
    new TColumnFitter(HomeDirList, {0}, {});
    new TColumnFitter(RemoteDirList, {0}, {});
    new TColumnFitter(QueueListView, {0, 1, 4},
                      {{3, {QStringLiteral("Download"), QStringLiteral("Upload")}},
                       {5,
                        {QStringLiteral("Downloading"), QStringLiteral("Uploading"), QStringLiteral("Aborted"),
                         QStringLiteral("Ready")}}});

    // Status bar: each panel grows to its designed width before the file name takes the rest;
    // below that they shrink, except the file name, which keeps its designed width.
    const QFontMetrics sfm(StatusBar1->font());
    std::vector<int> designedWidths;
    for (int i = 0; i < static_cast<int>(StatusPanels.size()); ++i) {
        QLabel* label = StatusPanels[static_cast<size_t>(i)];
        const int designed =
            std::max(label->minimumWidth(), label->maximumWidth() < QWIDGETSIZE_MAX ? label->maximumWidth() : 0);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        if (i == kFileNamePanel) {
            label->setMinimumWidth(kFileNamePanelWidth);
            label->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            const int full = std::max(designed, kShrunkPanelWidth);
            label->setMinimumWidth(std::min(full, kShrunkPanelWidth));
            label->setMaximumWidth(full);
        }
        designedWidths.push_back(i == kFileNamePanel ? kFileNamePanelWidth : label->maximumWidth());
        label->setProperty("designedWidth", designedWidths.back());
        StatusBar1->removeWidget(label);
        StatusBar1->addWidget(label, i == kFileNamePanel ? 1 : 1000);
        label->show();
    }
    EncryptionPanel->setMinimumWidth(sfm.horizontalAdvance(QStringLiteral("Not encrypted")) +
                                     2 * EncryptionPanel->frameWidth() + EncryptionPanel->indent() + 8);
    (new TStatusBarFitter(StatusBar1, StatusPanels, designedWidths, EncryptionPanel))->Fit();
}

void TMainForm::MainSplitterResized(const QResizeEvent& e) {
    const int delta = e.size().height() - e.oldSize().height();
    QList<int> sizes = MainSplitter->sizes();
    if (e.oldSize().height() <= 0 || delta == 0 || sizes.size() != 3) return;
    const auto least = [this](int i) {
        const QWidget* w = MainSplitter->widget(i);
        // As the splitter sees it: a set minimum, else the hint.
        return w->minimumHeight() > 0 ? w->minimumHeight() : w->minimumSizeHint().height();
    };
    if (delta > 0) {
        // A folded log or queue comes back first; then the panes take the spare room.
        int spare = delta;
        for (int i : {0, 2}) {
            const int give = std::min(spare, std::max(0, least(i) - sizes[i]));
            sizes[i] += give;
            spare -= give;
        }
        sizes[1] += spare;
    } else {
        // The log, then the queue, give way before the panes; below their least sizes they fold.
        int need = -delta;
        for (int i : {0, 2, 1}) {
            const int give = std::min(need, std::max(0, sizes[i] - least(i)));
            sizes[i] -= give;
            need -= give;
        }
        // A splitter keeps a part at its least size or folds it whole; what folding frees beyond
        // the need goes back to the panes.
        for (int i : {2, 0}) {
            if (need <= 0) break;
            need -= sizes[i];
            sizes[i] = 0;
        }
        sizes[1] = std::max(0, sizes[1] - need);
    }
    MainSplitter->setSizes(sizes);
}

void TMainForm::RestoreLayout() {
    // A missing or damaged file leaves the built-in sizes.
    std::string text;
    try {
        if (auto stored = TDataFile(kLayoutFileName).Read(dataDir_)) text = std::move(*stored);
    } catch (const EInOutError&) {
        return;
    }
    const QList<int> main = StoredSizes(text, "MainSplitter", 3);
    const QList<int> panes = StoredSizes(text, "PaneSplitter", 2);
    if (!main.isEmpty()) MainSplitter->setSizes(main);
    if (!panes.isEmpty()) PaneSplitter->setSizes(panes);
}

void TMainForm::SaveLayout() {
    // Only positions: a failed write keeps the old file and is not worth a message.
    try {
        WriteFileAtomically(
            DataFilePath(dataDir_, kLayoutFileName),
            SizesLine("MainSplitter", MainSplitter->sizes()) + SizesLine("PaneSplitter", PaneSplitter->sizes()));
    } catch (const EInOutError&) {
        // the previous layout stays; it is only a convenience
    }
}
