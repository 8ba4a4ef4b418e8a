#include "ui/rm_frame_video_base.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariant>

#include "core/rm_play_process.h"
#include "core/rm_player.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "recordings/rm_video_item_2ch.h"
#include "ui/rm_widget_zoom_pos.h"

namespace {
// Mouse moves are applied at most this often while dragging.
constexpr int kZoomUpdateMs = 50;
// A zoom update that could not be applied yet is tried again after this.
constexpr int kZoomRetryMs = 10;
}  // namespace

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

RMFrameVideoBase::~RMFrameVideoBase() {
    // The overview is a child of the inset; the controller must free it
    // before Qt would.
    _stopZoomView();
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

void RMFrameVideoBase::_refreshCamera() {
    // The large pane shows the rear camera while swapped, and also when the
    // rear file plays alone.
    _showsFront = RMPlayer::instance()->paneShowsFrontCamera(_front);
    refreshLanguage();
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
            if (_zoomOn) {
                QTimer::singleShot(kZoomRetryMs, this, SLOT(onForceUpdateZoom()));
            }
        }
        return;
    }
    _videoWidget->hide();
    _logo->show();
}

AVPlayer* RMFrameVideoBase::_feedingPlayer() const {
    // The large pane was built for the front camera.
    return RMPlayer::instance()->playerInPane(_front);
}

void RMFrameVideoBase::refreshVideoOff() {
    _videoOnOff(_feedingPlayer()->isLoaded());
}

void RMFrameVideoBase::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    switch (event) {
        case PE_SWAPPED:
        case PE_UNSWAPPED:
            _refreshCamera();
            _logo->setProperty(_front ? "rear" : "front", QVariant(event == PE_SWAPPED));
            _logo->style()->unpolish(_logo);
            _logo->style()->polish(_logo);
            break;
        case PE_STARTED:
            if (item != nullptr) {
                _refreshCamera();
                _resolution = RMPlayer::instance()->frontPlayer()->displyedFrame().size();
                if (_zoomOn) {
                    onForceUpdateZoom();
                }
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
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING || event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        _stopZoomView();
    }
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

// ---------------------------------------------------------------- zoom

void RMFrameVideoBase::onToggleZoom() {
    if (_zoomOn) {
        _stopZoomView();
    } else {
        _startZoomView();
    }
}

void RMFrameVideoBase::_startZoomView() {
    if (_inset == nullptr) {
        return;
    }
    QWidget* view = RMPlayer::instance()->startZoom(_front);
    if (view == nullptr) {
        return;
    }
    _zoomOn = true;
    _zoomView = view;
    view->setParent(_inset);
    _inset->layout()->addWidget(view);
    auto* layout = new QHBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    _zoomPos = new RMWidgetZoomPos(view);
    layout->addWidget(_zoomPos);
    view->show();
    _inset->show();
}

void RMFrameVideoBase::_stopZoomView() {
    if (!_zoomOn) {
        return;
    }
    _zoomOn = false;
    _dragging = false;
    if (_zoomUpdateTimer != nullptr) {
        _zoomUpdateTimer->stop();
    }
    delete _zoomPos.data();
    if (_zoomView != nullptr) {
        _inset->layout()->removeWidget(_zoomView);
    }
    _zoomView = nullptr;
    // The controller detaches the overview from its player, then frees it.
    RMPlayer::instance()->stopZoom(_front);
    _inset->hide();
}

void RMFrameVideoBase::onUpdateZoom() {
    if (_zoomUpdateTimer != nullptr) {
        _zoomUpdateTimer->deleteLater();
        _zoomUpdateTimer = nullptr;
    }
    if (!_dragging || _zoomPos.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    const QPoint delta = _dragStart - _dragCurrent;
    _zoomPos->setPos(float(delta.x()) / float(width()) * 0.5f,
                     float(delta.y()) / float(height()) * 0.5f);
    RMPlayer::instance()->updateZoom(_zoomPos->posX(), _zoomPos->posY(), _front);
}

void RMFrameVideoBase::onForceUpdateZoom() {
    if (!_zoomOn || _zoomPos.isNull()) {
        return;
    }
    if (!RMPlayer::instance()->updateZoom(_zoomPos->posX(), _zoomPos->posY(), _front)) {
        QTimer::singleShot(kZoomRetryMs, this, SLOT(onForceUpdateZoom()));
    }
}

void RMFrameVideoBase::_updateZoomProcess(QPoint position) {
    _dragCurrent = position;
    if (_zoomUpdateTimer != nullptr) {
        return;
    }
    _zoomUpdateTimer = new QTimer(this);
    _zoomUpdateTimer->setSingleShot(true);
    connect(_zoomUpdateTimer, SIGNAL(timeout()), this, SLOT(onUpdateZoom()));
    _zoomUpdateTimer->start(kZoomUpdateMs);
}

void RMFrameVideoBase::mousePressEvent(QMouseEvent* event) {
    if (!_zoomOn || _zoomPos.isNull()) {
        RMWidgetStyleBase::mousePressEvent(event);
        return;
    }
    _dragging = true;
    _dragStart = event->localPos().toPoint();
    _dragCurrent = _dragStart;
    _zoomPos->setBase();
}

void RMFrameVideoBase::mouseMoveEvent(QMouseEvent* event) {
    if (!_zoomOn || _zoomPos.isNull()) {
        RMWidgetStyleBase::mouseMoveEvent(event);
        return;
    }
    _updateZoomProcess(event->localPos().toPoint());
}

void RMFrameVideoBase::mouseReleaseEvent(QMouseEvent* event) {
    if (!_zoomOn || _zoomPos.isNull()) {
        RMWidgetStyleBase::mouseReleaseEvent(event);
        return;
    }
    _updateZoomProcess(event->localPos().toPoint());
    _dragging = false;
}

void RMFrameVideoBase::mouseDoubleClickEvent(QMouseEvent* event) {
    const bool belowTitle = event->pos().y() > _title->geometry().bottom();
    if (belowTitle && RMPlayer::instance()->frontPlayer()->isLoaded()) {
        onToggleZoom();
        return;
    }
    RMWidgetStyleBase::mouseDoubleClickEvent(event);
}
