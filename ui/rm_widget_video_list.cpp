#include "ui/rm_widget_video_list.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QtDebug>

#include "app/rm_app.h"
#include "core/rm_key_event.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_widget_video_list_delegate.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_popup_message.h"

namespace {
const int kRowHeight = 22;
const int kHeaderHeight = 23;
// Presses this close to the left edge belong to the tick boxes.
const int kTickColumnEdge = 20;

struct Column {
    const char* japanese;
    const char* english;
    int width;
};
const Column kColumns[] = {
    {"", "", 24},
    {"タイプ", "Mode", 59},
    {"ファイル名", "File Name", 140},
    {"録画時間", "Time", 68},
    {"前後", "F/R", 38},
};
const int kStretchColumn = 2;

std::function<bool()>& isPlayingHook() {
    static std::function<bool()> hook;
    return hook;
}

std::function<void()>& endStepsHook() {
    static std::function<void()> hook;
    return hook;
}

RMVideoFileList* list() {
    return RMVideoFileList::instance();
}

const char kScrollBarStyle[] =
    "QScrollBar:vertical { width: 10px; background: #3B3B3B; margin: 23px 0 23px 0; }"
    "QScrollBar::handle:vertical { background: #6A74FF; min-height: 25px; }"
    "QScrollBar::handle:vertical:disabled { background: #4B4B4B; }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }";
}  // namespace

void RMWidgetVideoList::setPlaybackHooks(std::function<bool()> isPlaying,
                                         std::function<void()> endSteps) {
    isPlayingHook() = std::move(isPlaying);
    endStepsHook() = std::move(endSteps);
}

RMWidgetVideoList::RMWidgetVideoList(QWidget* parent) : QTableWidget(parent) {
    setObjectName("video_list");
    setFocusPolicy(Qt::NoFocus);
    setAutoScroll(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setStyleSheet(kScrollBarStyle);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setShowGrid(true);

    _delegate = new RMWidgetVideoListDelegate(this);
    setItemDelegate(_delegate);
    connect(_delegate->headerCheckBox(), SIGNAL(clicked()), this, SLOT(onCheckBoxAllClicked()));
    updateHeader();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setEnabled(false);
    horizontalHeader()->setFixedHeight(kHeaderHeight);

    connect(selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(onSelectionChanged(QItemSelection, QItemSelection)));
    connect(this, SIGNAL(cellDoubleClicked(int, int)), this, SLOT(onDoubleClickItem(int, int)));
    RMVideoFileList* builder = list();
    connect(builder, SIGNAL(listUpdateEnd(bool)), this, SLOT(onListUpdateEnd(bool)));
    connect(builder, SIGNAL(listUpdateStarted(bool)), this, SLOT(onListUpdateStart(bool)));
    connect(builder, SIGNAL(refreshItem()), this, SLOT(onRefreshItem()));
    connect(builder, SIGNAL(playItemFound(RMVideoItem*, int)), this,
            SLOT(onPlayItemFound(RMVideoItem*, int)));
    connect(builder, SIGNAL(playNoMoreItem()), this, SLOT(onPlayNoMoreItem()));

    QWidget* shortcutParent = RMApp::instance()->mainWindow();
    _nextShortcut =
        new QShortcut(QKeySequence(Qt::Key_PageDown), shortcutParent ? shortcutParent : this);
    _nextShortcut->setContext(Qt::ApplicationShortcut);
    connect(_nextShortcut, SIGNAL(activated()), this, SLOT(onNext()));
    _previousShortcut =
        new QShortcut(QKeySequence(Qt::Key_PageUp), shortcutParent ? shortcutParent : this);
    _previousShortcut->setContext(Qt::ApplicationShortcut);
    connect(_previousShortcut, SIGNAL(activated()), this, SLOT(onPrevious()));
}

void RMWidgetVideoList::updateHeader() {
    const bool japanese = RMLanguage::instance()->isJapanese();
    setColumnCount(5);
    QStringList labels;
    for (const Column& column : kColumns) {
        labels << QString::fromUtf8(japanese ? column.japanese : column.english);
    }
    setHorizontalHeaderLabels(labels);
    // The file name takes what the viewport has left, with or without the
    // scroll bar, so the last column is never under it.
    for (int i = 0; i < 5; ++i) {
        horizontalHeader()->setSectionResizeMode(
            i, i == kStretchColumn ? QHeaderView::Stretch : QHeaderView::Fixed);
        setColumnWidth(i, kColumns[i].width);
    }
}

void RMWidgetVideoList::updateList(SELECTION_TYPE, RMVideoItem* item) {
    _delegate->closeEditor();
    clear();
    setRowCount(0);
    updateHeader();
    const QList<RMVideoItem*>& items = list()->shownItems();
    setRowCount(items.size());
    RMVideoItem* wanted = item && items.contains(item) ? item : items.value(0, nullptr);
    selectItem(wanted);
}

void RMWidgetVideoList::selectItem(RMVideoItem* item) {
    const int row = list()->shownItems().indexOf(item);
    if (row < 0 || row >= rowCount()) {
        return;
    }
    selectRow(row);
    scrollTo(model()->index(row, 1));
}

void RMWidgetVideoList::scrollToSelectedItem() {
    const int row = _selectedRow();
    if (row >= 0) {
        scrollTo(model()->index(row, 1));
    }
}

int RMWidgetVideoList::_selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

RMVideoItem* RMWidgetVideoList::getSelectedItem() const {
    return list()->shownItems().value(_selectedRow(), nullptr);
}

bool RMWidgetVideoList::_isPlaying() const {
    return isPlayingHook() && isPlayingHook()();
}

void RMWidgetVideoList::_endSteps() const {
    if (endStepsHook()) {
        endStepsHook()();
    }
}

void RMWidgetVideoList::playItem(RMVideoItem* item) {
    if (!item) {
        return;
    }
    if (RMVideoItem::FileExist(item->primaryPath())) {
        _reportUnreadable(item);
        list()->setCurrentItem(item);
        Q_EMIT listSelected(item);
        return;
    }
    RMLanguage* language = RMLanguage::instance();
    RMPopupMessage message(window(), language->text("注意", "Error"),
                           language->text("ファイルがありません。", "File does not exist."));
    message.exec();
    const int row = list()->removeItem(item);
    if (row >= 0) {
        _delegate->closeEditor();
        removeRow(row);
    }
}

// A file that is there but cannot be read (its permissions, say) would only
// fail to play: the user learns which one and why. The player then plays
// what is left of the recording, or drops it.
void RMWidgetVideoList::_reportUnreadable(const RMVideoItem* item) {
    QStringList problems;
    for (const QString& path : {item->frontPath, item->rearPath}) {
        QFile file(path);
        if (path.isEmpty() || file.open(QIODevice::ReadOnly)) {
            continue;
        }
        qInfo() << Q_FUNC_INFO << __LINE__ << path << file.errorString();
        problems << QDir::toNativeSeparators(path) + "\n" + file.errorString();
    }
    if (!problems.isEmpty()) {
        RMNotice::post(window(),
                       RMLanguage::instance()->text("ファイルを読み込めません:", "Cannot read:") +
                           "\n" + problems.join("\n"));
    }
}

void RMWidgetVideoList::onPlayItemFound(RMVideoItem* item, int) {
    playItem(item);
    selectItem(item);
}

void RMWidgetVideoList::onPlayNoMoreItem() {
    list()->setCurrentItem(nullptr);
}

void RMWidgetVideoList::onPlayEvent(PLAY_EVENT event, RMVideoItem*) {
    if (event == PE_NOT_LOADED) {
        const int row = _selectedRow();
        if (row >= 0) {
            onDoubleClickItem(row, 1);
        }
    } else if (event == PE_USER_STOP) {
        list()->setCurrentItem(nullptr);
    }
}

void RMWidgetVideoList::onDoubleClickItem(int row, int) {
    if (_doubleClickGuard) {
        return;
    }
    _doubleClickGuard = true;
    QTimer::singleShot(kDoubleClickGuardMs, this, [this]() { _doubleClickGuard = false; });
    const QList<RMVideoItem*>& items = list()->shownItems();
    if (row < 0 || row >= items.size() || items.at(row) == list()->currentItem()) {
        return;
    }
    _endSteps();
    playItem(items.at(row));
}

void RMWidgetVideoList::onCheckBoxClicked() {
    const int row = sender() ? sender()->property("row").toInt() : -1;
    const QList<RMVideoItem*>& items = list()->shownItems();
    if (row >= 0 && row < items.size()) {
        items.at(row)->checked = !items.at(row)->checked;
    }
    refreshAllCheckBox();
}

void RMWidgetVideoList::refreshAllCheckBox() {
    const QList<RMVideoItem*>& items = list()->shownItems();
    QCheckBox* header = _delegate->headerCheckBox();
    int ticked = 0;
    for (RMVideoItem* item : items) {
        ticked += item->checked ? 1 : 0;
    }
    Qt::CheckState state = Qt::PartiallyChecked;
    if (ticked == 0) {
        state = Qt::Unchecked;
    } else if (ticked == items.size()) {
        state = Qt::Checked;
    }
    header->setCheckState(state);
    viewport()->update();
    Q_EMIT itemChecked(ticked > 0);
}

void RMWidgetVideoList::onCheckBoxAllClicked() {
    const bool tick = _delegate->headerCheckBox()->checkState() != Qt::Unchecked;
    for (RMVideoItem* item : list()->shownItems()) {
        item->checked = tick;
    }
    _delegate->headerCheckBox()->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
    updateList(SELECTION_KEEP, getSelectedItem());
    Q_EMIT itemChecked(tick);
}

void RMWidgetVideoList::onSelectionChanged(QItemSelection, QItemSelection) {
    _delegate->selectedRow = _selectedRow();
    _delegate->currentRow = list()->shownItems().indexOf(list()->currentItem());
    viewport()->update();
}

void RMWidgetVideoList::onNext() {
    if (RMKeyEvent::instance()->isKeyHeld()) {
        return;
    }
    const int count = list()->shownItems().size();
    if (!_isPlaying()) {
        if (count == 0) {
            return;
        }
        const int next = _selectedRow() + 1;
        selectItem(list()->shownItems().at(next >= count ? 0 : next));
        return;
    }
    _endSteps();
    list()->onPlayNextVideo(_selectedRow());
}

void RMWidgetVideoList::onPrevious() {
    const int row = _selectedRow();
    if (RMKeyEvent::instance()->isKeyHeld() || row <= 0) {
        return;
    }
    if (!_isPlaying()) {
        selectItem(list()->shownItems().value(row - 1, nullptr));
        return;
    }
    _endSteps();
    list()->onPlayPreviousVideo(row);
}

void RMWidgetVideoList::onListUpdateStart(bool) {
    _delegate->closeEditor();
    _delegate->setActive(false);
}

void RMWidgetVideoList::onListUpdateEnd(bool) {
    _delegate->setActive(true);
    updateList(SELECTION_RESET, nullptr);
    QCheckBox* header = _delegate->headerCheckBox();
    header->setCheckState(Qt::Unchecked);
    header->setEnabled(!list()->allItems().isEmpty());
    Q_EMIT itemChecked(false);
}

void RMWidgetVideoList::onRefreshItem() {
    const int scroll = verticalScrollBar()->value();
    updateList(SELECTION_KEEP, getSelectedItem());
    verticalScrollBar()->setValue(scroll);
}

void RMWidgetVideoList::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    updateList(SELECTION_KEEP, getSelectedItem());
}

bool RMWidgetVideoList::_isDroppedPress(QMouseEvent* event) const {
    return event->button() == Qt::RightButton || event->pos().x() < kTickColumnEdge;
}

void RMWidgetVideoList::mousePressEvent(QMouseEvent* event) {
    if (_isDroppedPress(event)) {
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void RMWidgetVideoList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (_isDroppedPress(event)) {
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}

void RMWidgetVideoList::keyPressEvent(QKeyEvent* event) {
    event->ignore();
}
