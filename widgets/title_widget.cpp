#include "widgets/title_widget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>

#include "app/rm_language.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"

namespace {
const int kMainHeight = 43;
const int kPopupHeight = 39;
}  // namespace

TitleWidget::TitleWidget(QWidget* parent, QString text, QString logo, bool popup)
    : QWidget(parent) {
    setFixedHeight(popup ? kPopupHeight : kMainHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setObjectName(popup ? "popup_title" : "main_title");
    setAttribute(Qt::WA_LayoutUsesWidgetRect);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    _leftLayout = new QHBoxLayout();
    _leftLayout->setSpacing(0);
    _leftLayout->setContentsMargins(0, 0, 0, 0);
    _leftLayout->setAlignment(Qt::AlignLeft);
    if (!logo.isEmpty()) {
        _titleLabel = new QLabel(this);
        _titleLabel->setPixmap(QPixmap(":/image/" + logo));
        _titleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        _leftLayout->addWidget(_titleLabel);
    } else if (!text.isEmpty()) {
        RMLayout::addSpacer(_leftLayout, 10, 0);
        _titleLabel = RMLayout::addLabel(this, _leftLayout, text, "title_label");
        _titleLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    layout->addLayout(_leftLayout);

    _rightWidget = new QWidget(this);
    _rightWidget->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    _rightWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    _rightLayout = new QHBoxLayout(_rightWidget);
    _rightLayout->setSpacing(0);
    _rightLayout->setContentsMargins(0, 0, 0, 0);
    _rightLayout->setAlignment(Qt::AlignRight);
    layout->addWidget(_rightWidget);

    if (popup) {
        _createPopupButtons();
    } else {
        _createMainButtons();
    }
}

RMButton* TitleWidget::_addButton(const char* objectName, const QString& japanese,
                                  const QString& english, QSize size) {
    RMButton* button = RMButton::create(_rightWidget, _rightLayout, objectName, japanese, size);
    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, button,
                                   english);
    return button;
}

QShortcut* TitleWidget::_addShortcut(int key) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    shortcut->setContext(Qt::ApplicationShortcut);
    return shortcut;
}

void TitleWidget::_createMainButtons() {
    _languageButton = _addButton("language_button", "言語選択", "Language", QSize(34, 42));
    RMLayout::addSpacer(_rightLayout, 12, 0);
    _settingsButton = _addButton("settings_button", "設定", "Settings", QSize(34, 42));
    RMLayout::addSpacer(_rightLayout, 12, 0);
    _infoButton = _addButton("info_button", "ビューアー情報", "Info", QSize(34, 42));
    RMLayout::addSpacer(_rightLayout, 6, 0);
    _captureButton = _addButton("capture_button", "JPG 保存", "Capture", QSize(48, 42));
    RMLayout::addSpacer(_rightLayout, 6, 0);
    _exportButton = _addButton("export_button", "クリップ書き出し", "Export clip", QSize(48, 42));
    RMLayout::addSpacer(_rightLayout, 40, 0);
    _minimizeButton = _addButton("minimize_button", "最小化", "Minimize", QSize(42, 30));
    _fullScreenButton = _addButton("fullscreen_button", "最大化", "Full Screen", QSize(42, 30));
    _closeButton = _addButton("quit_button", "閉じる", "Exit", QSize(42, 30));
    RMLayout::addSpacer(_rightLayout, 16, 0);

    _settingsShortcut = _addShortcut(Qt::Key_F6);
    _infoShortcut = _addShortcut(Qt::Key_F7);
    _captureShortcut = _addShortcut(Qt::Key_F5);
    setCaptureEnabled(false);

    connect(_languageButton, SIGNAL(clicked()), this, SLOT(onLanguage()));
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange()));
    onLanguageChange();
}

void TitleWidget::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    if (event == PE_STARTED) {
        setCaptureEnabled(true);
    } else if (event == PE_USER_STOP) {
        setCaptureEnabled(false);
    } else if (event == PE_STOPPED && item == nullptr && !(_switching && _switching())) {
        setCaptureEnabled(false);
    }
}

void TitleWidget::_createPopupButtons() {
    _closeButton = _addButton("popup_close_button", "閉じる", "Close", QSize(38, 38));
    RMLayout::addSpacer(_rightLayout, 7, 0);
}

void TitleWidget::setCaptureEnabled(bool enabled) {
    if (_captureButton) {
        _captureButton->setEnabled(enabled);
        _captureShortcut->setEnabled(enabled);
    }
    if (_exportButton) {
        _exportButton->setEnabled(enabled);
    }
}

void TitleWidget::onLanguageChange() {
    if (_exportButton) {
        _exportButton->updateObject(RMLanguage::instance()->isJapanese() ? "export_button"
                                                                         : "export_button_en");
    }
}

void TitleWidget::onLanguage() {
    emit languageRequested();
}

void TitleWidget::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
