#include "ui/rm_frame_video_base.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QVariant>
#include <QVBoxLayout>

#include "core/rm_play_process.h"
#include "core/rm_player.h"
#include "data/rm_video_item_2ch.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"

RMFrameVideoBase::RMFrameVideoBase(QWidget* parent, bool front, QString styleName, bool appEvents)
    : RMWidgetStyleBase(parent, styleName, appEvents), _front(front), _showsFront(front) {
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(1, 1, 1, 1);
    _layout->setSpacing(0);
    _layout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    _title = new QLabel(this);
    _title->setFixedHeight(35);
    _layout->addWidget(_title);
    _logo = new QFrame(this);
    _logo->setObjectName(front ? "video_main_logo" : "video_sub_logo");
    _logo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    _layout->addWidget(_logo);

    connect(RMPlayer::instance(), SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    if (QShortcut* f9 = RMApp::instance()->pipLocationShortcut()) {
        connect(f9, SIGNAL(activated()), this, SLOT(onTogglePIPLocation()));
    }
    if (QShortcut* f10 = RMApp::instance()->pipShowHideShortcut()) {
        connect(f10, SIGNAL(activated()), this, SLOT(onToggleShowHidePIP()));
    }
    refreshLanguage();
}

void RMFrameVideoBase::setVideoWidget(QWidget* widget) {
    if (widget == nullptr) {
        return;
    }
    _videoWidget = widget;
    widget->hide();
    widget->setParent(this);
    _layout->addWidget(widget);
    widget->setMinimumSize(160, 90);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    _videoLayout = new QHBoxLayout(widget);
    _videoLayout->setContentsMargins(0, 0, 0, 0);
    _inset = new QWidget(widget);
    _inset->setObjectName("test_widget");
    _inset->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* insetLayout = new QHBoxLayout(_inset);
    insetLayout->setContentsMargins(1, 1, 1, 1);
    insetLayout->setSpacing(0);
    _videoLayout->addWidget(_inset);
    refreshPIP();
    _inset->hide();
}

void RMFrameVideoBase::refreshPIP() {
    if (_videoWidget == nullptr) {
        return;
    }
    QSize size;
    int x = 0;
    int y = 0;
    if (_fullScreen) {
        size = QSize(480, 270);
        x = 50;
        y = 44;
    } else {
        size = QSize(_insetRect.width(), _insetRect.height());
        x = _insetRect.left();
        y = _insetRect.top();
    }
    _inset->setFixedSize(size);
    if (_insetRight) {
        _videoLayout->setAlignment(_inset, Qt::AlignTop | Qt::AlignRight);
        _videoLayout->setContentsMargins(0, y, x, 0);
    } else {
        _videoLayout->setAlignment(_inset, Qt::AlignTop | Qt::AlignLeft);
        _videoLayout->setContentsMargins(x, y, 0, 0);
    }
}

void RMFrameVideoBase::refreshLanguage() {
    const QString suffix = RMLanguage::instance()->isJapanese() ? "" : "_en";
    const QString image = _showsFront ? "title_video_front" : "title_video_rear";
    _title->setPixmap(QPixmap(":/image/" + image + suffix + ".png"));
}

void RMFrameVideoBase::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    refreshLanguage();
}

bool RMFrameVideoBase::isVideoOn() const {
    return _videoWidget != nullptr && !_videoWidget->isHidden();
}

void RMFrameVideoBase::_videoOnOff(bool on) {
    if (_videoWidget == nullptr) {
        return;
    }
    if (on) {
        if (_videoWidget->isHidden()) {
            _logo->hide();
            _videoWidget->show();
        }
        return;
    }
    _videoWidget->hide();
    _logo->show();
}

AVPlayer* RMFrameVideoBase::_feedingPlayer() const {
    RMPlayer* player = RMPlayer::instance();
    const bool frontInMain = player->isSwapped() == player->isRearAsFront();
    const bool main = _front;
    return main == frontInMain ? player->frontPlayer() : player->rearPlayer();
}

void RMFrameVideoBase::refreshVideoOff() {
    _videoOnOff(_feedingPlayer()->isLoaded());
}

void RMFrameVideoBase::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    switch (event) {
        case PE_SWAPPED:
        case PE_UNSWAPPED:
            // The large pane shows the rear camera while swapped.
            _showsFront = _front != (event == PE_SWAPPED);
            refreshLanguage();
            _logo->setProperty(_front ? "rear" : "front", QVariant(_front != _showsFront));
            _logo->style()->unpolish(_logo);
            _logo->style()->polish(_logo);
            break;
        case PE_STARTED:
            if (item != nullptr) {
                _resolution = RMPlayer::instance()->frontPlayer()->displyedFrame().size();
            }
            break;
        case PE_STOPPED:
            if (item == nullptr && RMPlayProcess::instance()->pendingItem() == nullptr) {
                _videoOnOff(false);
            }
            break;
        case PE_FIRST_FRAME:
            if (item != nullptr) {
                refreshVideoOff();
            } else {
                _videoOnOff(false);
            }
            break;
        default:
            break;
    }
}

void RMFrameVideoBase::onAppEvent(RMApp::Event event) {
    RMWidgetStyleBase::onAppEvent(event);
}

void RMFrameVideoBase::onTogglePIPLocation() {
    _insetRight = !_insetRight;
    refreshPIP();
}

void RMFrameVideoBase::onToggleShowHidePIP() {
    if (!_zoomOn || _inset == nullptr) {
        return;
    }
    _inset->setVisible(_inset->isHidden());
}
