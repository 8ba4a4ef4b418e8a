#include "ui/rm_dialog_overwrite_sys.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/rm_language.h"
#include "widgets/rm_layout.h"

RMDialogOverwriteSys::RMDialogOverwriteSys(QWidget* parent, QString fileName)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
    RMLanguage* language = RMLanguage::instance();
    setWindowTitle(language->text("ファイルの保存", "Backup files"));
    setFixedSize(316, 171);
    auto* layout = new QVBoxLayout(this);
    QLabel* name = RMLayout::addLabel(this, layout, fileName, "");
    name->setStyleSheet("font-size: 13px;");
    QLabel* exists = RMLayout::addLabel(
        this, layout,
        language->text("この場所に同じ名前のファイルがあります。", "File already exists."), "");
    exists->setStyleSheet("font-size: 13px;");
    RMLayout::addSpacer(layout, 0, 35);

    auto* row = new QWidget(this);
    new QHBoxLayout(row);
    layout->addWidget(row);
    _skip = _addButton(row, language->text("スキップ", "Skip"));
    _overwrite = _addButton(row, language->text("置き換える", "Overwrite"));
    _cancel = _addButton(row, language->text("キャンセル", "Cancel"));
    connect(_skip, SIGNAL(clicked()), this, SLOT(reject()));
    connect(_overwrite, SIGNAL(clicked()), this, SLOT(accept()));
    connect(_cancel, SIGNAL(clicked()), this, SLOT(reject()));
}

QPushButton* RMDialogOverwriteSys::_addButton(QWidget* row, const QString& text) {
    auto* button = new QPushButton(text, row);
    button->setFixedSize(90, 28);
    button->setStyleSheet("font-size: 14px;");
    row->layout()->addWidget(button);
    return button;
}
