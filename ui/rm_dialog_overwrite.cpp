#include "ui/rm_dialog_overwrite.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/rm_language.h"
#include "backup/rm_overwrite.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_widget_check_box.h"

RMDialogOverwrite::RMDialogOverwrite(QWidget* parent)
    : RMPopup(parent, RMLanguage::instance()->text("ファイルの保存", "Backup files"), QString(),
              Qt::WindowFlags()) {
    RMLanguage* language = RMLanguage::instance();
    setModal(true);
    setFixedSize(392, 266);
    hideCloseButton();

    QVBoxLayout* layout = _createContentPanel(18);
    layout->setContentsMargins(10, 10, 10, 10);
    QWidget* panel = layout->parentWidget();
    QLabel* header = RMLayout::addLabel(
        panel, layout,
        language->text("この場所に同じ名前のファイルがあります。", "File already exists."),
        "text_header_label");
    header->setWordWrap(true);
    RMLayout::addLabel(panel, layout, RMOverwrite::currentFileName(), "text_header_label");
    const int count = RMOverwrite::currentCount();
    if (count >= 2) {
        _checkBox = new RMWidgetCheckBox(panel);
        _checkBox->setObjectName("popup");
        _checkBox->setText(
            language->text("同じ処理を次の" + QString::number(count) + "個の競合に適用",
                           "Apply to next " + QString::number(count) + " files."));
        layout->addWidget(_checkBox);
    }

    buttonLayout()->setAlignment(Qt::AlignCenter);
    buttonLayout()->setSpacing(8);
    _skip = addPopupButton(language->text("スキップ", "Skip"));
    _overwrite = addPopupButton(language->text("置き換える", "Overwrite"));
    _cancel = addPopupButton(language->text("キャンセル", "Cancel"));
    connect(_skip, SIGNAL(clicked()), this, SLOT(onSkip()));
    connect(_overwrite, SIGNAL(clicked()), this, SLOT(onOverwrite()));
    connect(_cancel, SIGNAL(clicked()), this, SLOT(reject()));
}

void RMDialogOverwrite::_answer(int decision) {
    if (_checkBox && _checkBox->isChecked()) {
        decision |= RMOverwrite::OVERWRITE_APPLY_ALL;
    }
    RMOverwrite::answer(decision);
    accept();
}

void RMDialogOverwrite::onSkip() {
    _answer(RMOverwrite::OVERWRITE_SKIP);
}

void RMDialogOverwrite::onOverwrite() {
    _answer(RMOverwrite::OVERWRITE_REPLACE);
}
