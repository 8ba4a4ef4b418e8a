#include "ui/rm_frame_video_sub.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/rm_player.h"
#include "recordings/rm_video_item_2ch.h"
#include "ui/rm_dialog_map.h"
#include "widgets/rm_button.h"

RMFrameVideoSub::RMFrameVideoSub(QWidget* parent) : RMFrameVideoBase(parent, false, "", true) {
    setObjectName("top_border");
    setFixedHeight(262);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    _insetRect = QRect(QPoint(8, 8), QPoint(91, 55));
    setVideoWidget(RMPlayer::instance()->subVideoWidget());

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    _swap = RMButton::create(this, buttons, "swap_video", "映像切替", QSize(169, 35));
    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _swap,
                                   "Swap video");
    _swap->setEnabled(false);
    _map = RMButton::create(this, buttons, "map", "地図", QSize(170, 35));
    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _map,
                                   "Map");
    static_cast<QVBoxLayout*>(layout())->addLayout(buttons);
    connect(_swap, SIGNAL(clicked()), this, SLOT(onSwap()));
    connect(_map, SIGNAL(clicked()), this, SLOT(onMap()));
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onButtonsLanguage(RMLanguage::LANGUAGE_TYPE)));
    onButtonsLanguage(RMLanguage::instance()->language());
}

void RMFrameVideoSub::onButtonsLanguage(RMLanguage::LANGUAGE_TYPE language) {
    // The buttons' images carry words.
    const QString suffix = language == RMLanguage::LANGUAGE_JAPANESE ? "" : "_en";
    _swap->updateObject("swap_video" + suffix);
    _map->updateObject("map" + suffix);
}

void RMFrameVideoSub::onSwap() {
    RMPlayer* player = RMPlayer::instance();
    player->toggleSwap();
    _swappedHere = player->isSwapped();
}

void RMFrameVideoSub::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    RMFrameVideoBase::onPlayEvent(event, item);
    RMPlayer* player = RMPlayer::instance();
    if (event == PE_USER_STOP && _swappedHere) {
        _swappedHere = false;
        if (player->isSwapped()) {
            player->toggleSwap(true);
        }
    } else if (event == PE_STARTED && item != nullptr) {
        const bool both = !item->frontPath.isEmpty() && !item->rearPath.isEmpty();
        _swap->setEnabled(both || item->rearAsFront);
    }
}

void RMFrameVideoSub::onMap() {
    RMDialogMap* map = RMDialogMap::instance(window());
    if (!map->isHiddenReal()) {
        map->onClose();
        return;
    }
    map->show();
    map->raise();
    map->activateWindow();
    map->setFocus();
}
