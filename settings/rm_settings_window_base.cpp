#include "settings/rm_settings_window_base.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDebug>
#include <cerrno>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "settings/cfg.h"
#include "settings/rm_group_combo_box.h"
#include "settings/rm_group_radio_buttons.h"
#include "settings/rm_value_updater.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_popup_message.h"
#include "widgets/title_widget.h"

QString RMSettingsWindowBase::lastSettingDisk;

const QStringList gOnOff = {"オン", "オフ"};
const QStringList gOnOffEn = {"ON", "OFF"};

namespace {
const int kWidth = 800;
const int kHeight = 603;
const int kModelNameField = 16;

QString text(const char* japanese, const char* english) {
    return RMLanguage::instance()->text(QString::fromUtf8(japanese), QString::fromUtf8(english));
}
}  // namespace

RMSettingsWindowBase::RMSettingsWindowBase(QWidget* parent)
    : RMPopup(parent, QString(), "title_settings.png", Qt::WindowFlags()) {
    hideCloseButton();
    _openSettingsFile();
    setFixedSize(kWidth, kHeight);
    contentWidget()->setObjectName("bg_dark_widget");
    _contentLayout = new QVBoxLayout(contentWidget());
    _contentLayout->setContentsMargins(8, 8, 8, 8);
    _contentLayout->setSpacing(8);
    _createButtons();
    _showModelName();
}

QString RMSettingsWindowBase::settingsPath() {
    if (lastSettingDisk.isEmpty()) {
        return QString();
    }
    QString path = QDir::cleanPath(lastSettingDisk + "\\__SYSTEM.CFG");
    path.replace('\\', QDir::separator());
    return QDir::cleanPath(path);
}

void RMSettingsWindowBase::_openSettingsFile() {
    const QString path = settingsPath();
    if (RMApp::isModelDisk(lastSettingDisk)) {
        CFG::load(path);
        return;
    }
    // Not a camera disk yet: the chosen disk gets the factory record.
    CFG::setDefault();
    _creationFailed = !CFG::save(path);
    qInfo() << Q_FUNC_INFO << __LINE__ << "created" << path << !_creationFailed;
}

void RMSettingsWindowBase::_createButtons() {
    QHBoxLayout* bar = buttonLayout();
    bar->setContentsMargins(8, 0, 8, 0);
    bar->setSpacing(10);
    _resetButton = addPopupButton(text("初期値", "Reset"));
    bar->addStretch();
    _saveButton = addPopupButton(text("適用", "Save"));
    _acceptButton = addPopupButton("OK");
    _rejectButton = addPopupButton(text("閉じる", "Cancel"));
    connect(_resetButton, SIGNAL(clicked()), this, SLOT(onDefault()));
    connect(_saveButton, SIGNAL(clicked()), this, SLOT(onSave()));
    connect(_acceptButton, SIGNAL(clicked()), this, SLOT(onSaveAnAccept()));
    connect(_rejectButton, SIGNAL(clicked()), this, SLOT(onCancel()));
}

void RMSettingsWindowBase::_showModelName() {
    const char* name = reinterpret_cast<const char*>(CFG::data);
    const QString model = QString::fromLatin1(name, qstrnlen(name, kModelNameField));
    _modelLabel = new QLabel(model + "  ", titleWidget());
    _modelLabel->setObjectName("title_label");
    titleWidget()->leftLayout()->insertWidget(0, _modelLabel);
    titleWidget()->leftLayout()->insertSpacing(0, 10);
}

RMGroupRadioButtons* RMSettingsWindowBase::_MGR(QWidget* parent, QString label, QBoxLayout* layout,
                                                QStringList options, int offset,
                                                QList<int> values) {
    auto* group = new RMGroupRadioButtons(parent, label, options, &CFG::data[offset], values);
    layout->addWidget(group);
    return group;
}

RMGroupRadioButtons* RMSettingsWindowBase::_MGR_ONOFF(QWidget* parent, QString label,
                                                      QBoxLayout* layout, int offset) {
    const QStringList& onOff = RMLanguage::instance()->isJapanese() ? gOnOff : gOnOffEn;
    return _MGR(parent, label, layout, onOff, offset, QList<int>());
}

RMGroupComboBox* RMSettingsWindowBase::_MGC(QWidget* parent, QString label, QBoxLayout* layout,
                                            QStringList options, int offset, QList<int> values) {
    auto* group = new RMGroupComboBox(parent, label, options, &CFG::data[offset], values);
    layout->addWidget(group);
    return group;
}

void RMSettingsWindowBase::onDefault() {
    CFG::setDefault();
    Q_EMIT RMValueUpdater::instance()->updateByValues();
    // The controls' change handlers may have written while reloading.
    CFG::setDefault();
}

bool RMSettingsWindowBase::_save() {
    if (CFG::save(settingsPath())) {
        return true;
    }
    _reportSaveFailure();
    return false;
}

void RMSettingsWindowBase::onSave() {
    _save();
}

void RMSettingsWindowBase::onSaveAnAccept() {
    if (_save()) {
        accept();
    }
}

void RMSettingsWindowBase::onCancel() {
    reject();
}

void RMSettingsWindowBase::reject() {
    CFG::restore();
    RMPopup::reject();
}

void RMSettingsWindowBase::showEvent(QShowEvent* event) {
    RMPopup::showEvent(event);
    if (_creationFailed) {
        _creationFailed = false;
        QTimer::singleShot(0, this, [this]() { _reportSaveFailure(); });
    }
}

QString RMSettingsWindowBase::_saveFailureText() {
    const CFG::SaveError failure = CFG::lastSaveError();
    switch (CFG::lastSaveCardState()) {
        case CFG::CARD_NEW:
            // Written and read back; only the flush of the folder failed.
            return text(
                       "新しい設定はSDカード上にありますが、書き込みの完了を確認できませんでした。",
                       "The new settings are on the SD card, but the card did not confirm "
                       "that they are stored for good.") +
                   "\n" +
                   text("カードを抜く前にもう一度保存してください。",
                        "Save again before removing the card.");
        case CFG::CARD_OTHER:
            return text("SDカードから読み戻した内容が書き込んだ設定と一致しません。",
                        "The settings file on the SD card differs from what was written.") +
                   "\n" +
                   text("カード上の設定ファイルが壊れている可能性があります。",
                        "The settings file on the card may be damaged.");
        case CFG::CARD_UNKNOWN:
            return text("設定ファイルを置き換えましたが、読み戻せませんでした。",
                        "The settings file was replaced but could not be read back.") +
                   "\n" +
                   text("カード上の設定ファイルが壊れている可能性があります。",
                        "The settings file on the card may be damaged.");
        case CFG::CARD_UNCHANGED:
            break;
    }
    QString reason;
    if (failure.step == CFG::SAVE_CHECK) {
        reason = text("SDカードから読み戻した内容が一致しません。",
                      "The data read back from the SD card differs.");
    } else if (failure.error == EROFS || failure.error == EACCES || failure.error == EPERM) {
        reason = text("SDカードが書き込み禁止になっています。", "The SD card is write-protected.");
    } else if (failure.error == ENOSPC || failure.error == EDQUOT) {
        reason = text("SDカードの空き容量が足りません。", "The SD card is full.");
    } else {
        reason = text("SDカードに書き込めませんでした。", "Could not write to the SD card.");
    }
    return text("設定ファイルを保存できませんでした。", "The settings file was not saved.") + "\n" +
           reason + "\n" +
           text("カード上の設定ファイルは変更されていません。",
                "The settings file on the card is unchanged.");
}

void RMSettingsWindowBase::_reportSaveFailure() {
    const QString message = _saveFailureText();
    qInfo() << Q_FUNC_INFO << __LINE__ << message;
    RMPopupMessage popup(this, text("エラー", "Error"), message);
    popup.hideCloseButton();
    popup.exec();
}
