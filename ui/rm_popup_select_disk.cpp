#include "ui/rm_popup_select_disk.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QtDebug>

#include "app/rm_language.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_popup_content_background.h"

namespace {
const int kDiskBoxWidth = 300;
}  // namespace

RMPopupSelectDisk::RMPopupSelectDisk(QWidget* parent, const QStringList& disks)
    : RMPopup(parent, RMLanguage::instance()->text("設定ファイル作成", "Create settings file"),
              QString(), Qt::WindowFlags()) {
    setFixedSize(362, 266);
    _createContent(disks);
    _createButtons();
}

void RMPopupSelectDisk::_createContent(const QStringList& disks) {
    RMLanguage* language = RMLanguage::instance();
    auto* outer = new QVBoxLayout(contentWidget());
    outer->setContentsMargins(10, 13, 10, 12);
    auto* panel = new RMPopupContentBackground(contentWidget());
    outer->addWidget(panel);
    auto* layout = new QVBoxLayout(panel);
    layout->setAlignment(Qt::AlignTop);
    layout->setSpacing(18);
    layout->setContentsMargins(10, 10, 10, 10);
    RMLayout::addLabel(panel, layout,
                       language->text("設定ファイルを生成しますか?", "Create a new settings file?"),
                       "text_header_label");
    RMLayout::addLabel(panel, layout,
                       language->text("ドライブを選択してください。", "Please select a disk."),
                       "text_header_label");
    RMLayout::addSpacer(layout, 0, 15);

    _disks = new QComboBox(panel);
    _disks->setObjectName("settings");
    _disks->setFixedWidth(kDiskBoxWidth);
    _disks->addItems(disks);
    _selectedDisk = disks.value(0);
    layout->addWidget(_disks);
    connect(_disks, SIGNAL(currentTextChanged(QString)), this, SLOT(onDiskChanged(QString)));
}

void RMPopupSelectDisk::_createButtons() {
    QHBoxLayout* bar = buttonLayout();
    bar->setAlignment(Qt::AlignCenter);
    bar->setSpacing(12);
    connect(addPopupButton("OK"), SIGNAL(clicked()), this, SLOT(accept()));
    connect(addPopupButton(RMLanguage::instance()->text("キャンセル", "Cancel")), SIGNAL(clicked()),
            this, SLOT(reject()));
}

void RMPopupSelectDisk::onDiskChanged(QString disk) {
    qInfo() << Q_FUNC_INFO << __LINE__ << disk;
    _selectedDisk = disk;
}
