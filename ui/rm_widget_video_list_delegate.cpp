#include "ui/rm_widget_video_list_delegate.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>

#include "recordings/rm_video_file_list.h"
#include "widgets/rm_widget_check_box.h"

namespace {
const QColor kBackground("#626262");
const QColor kText("#FFFFFF");
const QColor kSelectedText("#FF8040");

QFont columnFont(int column) {
    QFont font;
    if (column == 2 || column == 3) {
        font.setFamily("Monaco");
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(12);
    } else {
        font.setPixelSize(13);
    }
    return font;
}

QString columnText(const RMVideoItem* item, int column) {
    switch (column) {
        case 1:
            return item->typeString();
        case 2:
            return item->title();
        case 3:
            return item->titleDuration();
        case 4:
            return item->titleFrontRear();
        default:
            return QString();
    }
}
}  // namespace

RMWidgetVideoListDelegate::RMWidgetVideoListDelegate(QTableView* table)
    : QStyledItemDelegate(table), _view(table) {
    table->setMouseTracking(true);
    connect(table, SIGNAL(entered(QModelIndex)), this, SLOT(entered(QModelIndex)));

    // A child of the table laid over the header's first section: the header
    // itself is disabled so that its sections cannot be clicked.
    _headerHolder = new QWidget(table);
    _headerHolder->setGeometry(table->frameWidth(), table->frameWidth(), 24, 23);
    auto* layout = new QHBoxLayout(_headerHolder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);
    _headerCheckBox = new RMWidgetCheckBox(_headerHolder);
    _headerCheckBox->setTristate(false);
    _headerCheckBox->setEnabled(false);
    layout->addWidget(_headerCheckBox);
}

void RMWidgetVideoListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    painter->fillRect(option.rect, kBackground);
    const QList<RMVideoItem*>& items = RMVideoFileList::instance()->shownItems();
    if (!_active || index.row() < 0 || index.row() >= items.size()) {
        return;
    }
    const RMVideoItem* item = items.at(index.row());
    if (index.column() == 0) {
        if (!(_editorOpen && _editorIndex == index)) {
            const QString image =
                item->checked ? ":/image/checkbox_checked.png" : ":/image/checkbox_unchecked.png";
            painter->drawPixmap(option.rect.topLeft() + QPoint(7, 5), QPixmap(image));
        }
        return;
    }
    painter->save();
    painter->setFont(columnFont(index.column()));
    painter->setPen(index.row() == selectedRow ? kSelectedText : kText);
    painter->drawText(option.rect, Qt::AlignCenter, columnText(item, index.column()));
    painter->restore();
}

QWidget* RMWidgetVideoListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                 const QModelIndex& index) const {
    const QList<RMVideoItem*>& items = RMVideoFileList::instance()->shownItems();
    auto* holder = new QWidget(parent);
    holder->setAutoFillBackground(true);
    QPalette palette = holder->palette();
    palette.setColor(QPalette::Window, kBackground);
    holder->setPalette(palette);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);
    auto* box = new RMWidgetCheckBox(holder);
    box->setObjectName("list_check");
    box->setProperty("row", index.row());
    if (index.row() >= 0 && index.row() < items.size()) {
        box->setChecked(items.at(index.row())->checked);
    }
    layout->addWidget(box);
    // The view that owns the delegate answers a tick.
    connect(box, SIGNAL(clicked()), _view, SLOT(onCheckBoxClicked()));
    return holder;
}

void RMWidgetVideoListDelegate::updateEditorGeometry(QWidget* editor,
                                                     const QStyleOptionViewItem& option,
                                                     const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

void RMWidgetVideoListDelegate::closeEditor() {
    if (_editorOpen && _editorIndex.isValid()) {
        _view->closePersistentEditor(_editorIndex);
    }
    _editorOpen = false;
    _editorIndex = QPersistentModelIndex();
}

void RMWidgetVideoListDelegate::entered(QModelIndex index) {
    if (!_active || index.column() != 0) {
        return;
    }
    closeEditor();
    _view->openPersistentEditor(index);
    _editorIndex = index;
    _editorOpen = true;
}
