#include "ui/rm_frame_bottom.h"

#include <QHBoxLayout>

#include "core/rm_player.h"
#include "recordings/rm_video_item_2ch.h"
#include "widgets/rm_button.h"

RMFrameBottom::RMFrameBottom(QWidget* parent) : RMWidgetStyleBase(parent, "", true) {
    setObjectName("player_bg");
    setFixedHeight(76);
    _layout = new QHBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(0);
    auto* group = new QWidget(this);
    group->setFixedWidth(240);
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    _frontButton =
        RMButton::create(group, groupLayout, "front_camera", "フロントカメラ", QSize(110, 34));
    _rearButton = RMButton::create(group, groupLayout, "rear_camera", "リアカメラ", QSize(110, 34));
    RMLanguage* language = RMLanguage::instance();
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _frontButton,
                     "Front camera");
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _rearButton,
                     "Rear camera");
    _layout->addStretch();
    _layout->addWidget(group);
    _layout->addStretch();
    _frontButton->setEnabled(false);
    _frontButton->setStyleStatus("on", true);
    hide();

    RMPlayer* player = RMPlayer::instance();
    connect(_frontButton, SIGNAL(clicked()), player, SLOT(toggleSwap()));
    connect(_rearButton, SIGNAL(clicked()), player, SLOT(toggleSwap()));
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(language, SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    onLanguageChange(language->language());
}

void RMFrameBottom::updateSwapStatus() {
    // The buttons follow the camera the large pane shows and the files the
    // recording has.
    const bool frontShown = RMPlayer::instance()->paneShowsFrontCamera(true);
    _frontButton->setEnabled(!frontShown && _hasFront);
    _frontButton->setStyleStatus("on", frontShown);
    _rearButton->setEnabled(frontShown && _hasRear);
    _rearButton->setStyleStatus("on", !frontShown);
}

void RMFrameBottom::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    if (event == PE_SWAPPED || event == PE_UNSWAPPED) {
        updateSwapStatus();
    } else if (event == PE_STARTED && item != nullptr) {
        _hasFront = !item->frontPath.isEmpty();
        _hasRear = !item->rearPath.isEmpty();
        updateSwapStatus();
    }
}

void RMFrameBottom::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    const QString suffix = RMLanguage::instance()->isJapanese() ? "" : "_en";
    _frontButton->updateObject("front_camera" + suffix);
    _rearButton->updateObject("rear_camera" + suffix);
}

void RMFrameBottom::onAppEvent(RMApp::Event event) {
    RMWidgetStyleBase::onAppEvent(event);
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        show();
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        hide();
    }
}
