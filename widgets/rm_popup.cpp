#include "widgets/rm_popup.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_popup_content_background.h"
#include "widgets/rm_widget_drag.h"
#include "widgets/title_widget.h"

int RMPopup::languageIndex = 0;

namespace {
const int kTitleHeight = 39;
const int kButtonBarHeight = 53;
}  // namespace

RMPopup::RMPopup(QWidget* parent, QString title, QString logo, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::FramelessWindowHint) {
    _layout = new QVBoxLayout(this);
    _layout->setSpacing(0);
    _layout->setContentsMargins(0, 0, 0, 0);

    _title = new TitleWidget(this, title, logo, true);
    _layout->addWidget(_title);

    _content = new QWidget(this);
    _content->setObjectName("bg_widget");
    _content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    _layout->addWidget(_content);

    _buttonBar = new QWidget(this);
    _buttonBar->setObjectName("bg_widget");
    _buttonBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    _buttonBar->setFixedHeight(kButtonBarHeight);
    _buttonLayout = new QHBoxLayout(_buttonBar);
    _buttonLayout->setContentsMargins(0, 0, 0, 0);
    _buttonLayout->setSpacing(0);
    _layout->addWidget(_buttonBar);

    connect(_title->closeButton(), SIGNAL(clicked()), this, SLOT(reject()));
    _drag = new RMWidgetDrag(this, kTitleHeight);
}

void RMPopup::hideCloseButton() {
    _title->closeButton()->hide();
}

RMButton* RMPopup::addPopupButton(const QString& text) {
    RMButton* button =
        RMButton::create(_buttonBar, _buttonLayout, "popup_button", QString(), QSize(120, 30));
    button->setText(text);
    return button;
}

QVBoxLayout* RMPopup::_createContentPanel(int spacing) {
    auto* outer = new QVBoxLayout(_content);
    outer->setContentsMargins(10, 13, 10, 12);
    auto* panel = new RMPopupContentBackground(_content);
    outer->addWidget(panel);
    auto* inner = new QVBoxLayout(panel);
    inner->setSpacing(spacing);
    inner->setAlignment(Qt::AlignTop);
    return inner;
}

void RMPopup::createLanguageLayout() {
    RMLanguage* language = RMLanguage::instance();
    setFixedSize(320, 170);
    hideCloseButton();

    _buttonLayout->setAlignment(Qt::AlignHCenter);
    _okButton = RMButton::create(_buttonBar, _buttonLayout, "button", QString(), QSize(100, 24));
    _okButton->setText(language->text("確認", "OK"));
    RMLayout::addSpacer(_buttonLayout, 10, 0);
    _cancelButton =
        RMButton::create(_buttonBar, _buttonLayout, "button", QString(), QSize(100, 24));
    _cancelButton->setText(language->text("キャンセル", "Cancel"));
    RMLayout::addSpacer(_buttonLayout, 20, 0);
    connect(_okButton, SIGNAL(clicked()), this, SLOT(accept()));
    connect(_cancelButton, SIGNAL(clicked()), this, SLOT(reject()));

    languageIndex = RMLanguage::isAuto ? 0 : (language->isJapanese() ? 1 : 2);

    auto* outer = new QVBoxLayout(_content);
    outer->setContentsMargins(10, 2, 10, 2);
    auto* panel = new RMPopupContentBackground(_content);
    outer->addWidget(panel);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    auto* row = new QWidget(panel);
    row->setMinimumHeight(22);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setAlignment(Qt::AlignCenter);
    rowLayout->setContentsMargins(0, 2, 8, 2);
    rowLayout->setSpacing(3);
    RMLayout::addLabel(row, rowLayout, language->text("言語", "Language") + ":", "text");
    auto* combo = new QComboBox(row);
    combo->setObjectName("settings");
    combo->setFixedWidth(200);
    combo->setMaxVisibleItems(100);
    combo->addItem(language->text("自動", "Auto"));
    combo->addItem("日本語");
    combo->addItem("English");
    combo->setCurrentIndex(languageIndex);
    rowLayout->addWidget(combo);
    connect(combo, SIGNAL(currentIndexChanged(int)), this, SLOT(onLanguageSelected(int)));
    panelLayout->addWidget(row);

    RMLayout::addSpacer(panelLayout, 0, 5);
    QLabel* hint = RMLayout::addLabel(
        panel, panelLayout, language->text("言語を選択してください", "Select a language"), "text");
    hint->setMinimumHeight(22);
}

void RMPopup::onLanguageSelected(int index) {
    languageIndex = index;
}

void RMPopup::chooseLanguage(QWidget* parent) {
    RMLanguage* language = RMLanguage::instance();
    RMPopup popup(parent, language->text("言語選択", "Select a language"), QString(),
                  Qt::WindowFlags());
    popup.createLanguageLayout();
    if (popup.exec() != QDialog::Accepted) {
        return;
    }
    RMLanguage::LANGUAGE_TYPE chosen;
    if (RMPopup::languageIndex == 0) {
        RMLanguage::isAuto = true;
        RMSettings::instance()->setAutoLanguage(true);
        chosen = RMLanguage::systemLanguage();
    } else {
        RMLanguage::isAuto = false;
        RMSettings::instance()->setAutoLanguage(false);
        chosen = RMPopup::languageIndex == 1 ? RMLanguage::LANGUAGE_JAPANESE
                                             : RMLanguage::LANGUAGE_ENGLISH;
    }
    if (chosen != language->language()) {
        language->setLanguage(chosen);
    }
}
