#include "ui/rm_frame_play.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>

#include "core/rm_key_event.h"
#include "core/rm_play_process.h"
#include "core/rm_player.h"
#include "recordings/rm_video_file_list.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"

namespace {

constexpr int kWidth = 665;
constexpr int kSpacing = 36;
constexpr int kLeading = 70;

int narrowestScreenWidth() {
    int width = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const int w = screen->geometry().width();
        width = width == 0 ? w : qMin(width, w);
    }
    return width > 0 ? width : 1920;
}

}  // namespace

RMFramePlay::RMFramePlay(QWidget* parent) : RMWidgetStyleBase(parent, "player_bg", true) {
    setFixedSize(kWidth, 76);
    _layout = new QHBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(kSpacing);
    _leading = RMLayout::addSpacer(_layout, kLeading, 0);
    _backward = _addButton("frame_backward", "1秒前へ", "Move 1 sec backward");
    _playPause = _addButton("play_pause", "正方向再生", "Play");
    _stop = _addButton("stop", "停止", "Stop");
    _forward = _addButton("frame_forward", "1秒進む", "Move 1 sec forward");
    _previousFile = _addButton("file_backward", "以前ファイル", "Move to previous file");
    _nextFile = _addButton("file_forward", "次のファイル", "Move to next file");
    _layout->addStretch();

    RMKeyEvent* keys = RMKeyEvent::instance();
    RMPlayer* player = RMPlayer::instance();
    _backward->setAutoRepeat(false);
    _forward->setAutoRepeat(false);
    connect(_backward, SIGNAL(pressed()), keys, SLOT(onPressedB1()));
    connect(_backward, SIGNAL(released()), keys, SLOT(onReleasedB1()));
    connect(_forward, SIGNAL(pressed()), keys, SLOT(onPressedF1()));
    connect(_forward, SIGNAL(released()), keys, SLOT(onReleasedF1()));
    connect(_playPause, SIGNAL(released()), player, SLOT(onPlayOrPause()));
    connect(_stop, SIGNAL(clicked()), player, SLOT(onUserStop()));

    _space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    _space->setContext(Qt::ApplicationShortcut);
    _space->setEnabled(false);
    connect(_space, SIGNAL(activated()), player, SLOT(onPlayOrPause()));
    _backspace = new QShortcut(QKeySequence(Qt::Key_Backspace), this);
    _backspace->setContext(Qt::ApplicationShortcut);
    _backspace->setEnabled(false);
    connect(_backspace, SIGNAL(activated()), player, SLOT(onPlayRestart()));

    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(RMVideoFileList::instance(), SIGNAL(listUpdateEnd(bool)), this,
            SLOT(onLoadingListEnd(bool)));
}

RMButton* RMFramePlay::_addButton(const char* objectName, const QString& japanese,
                                  const QString& english) {
    RMButton* button = RMButton::create(this, _layout, objectName, japanese, QSize(54, 76));
    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, button,
                                   english);
    button->setEnabled(false);
    return button;
}

void RMFramePlay::_setSteppingEnabled(bool enabled) {
    for (RMButton* button : {_backward, _forward, _stop}) {
        if (button->isEnabled() != enabled) {
            button->setEnabled(enabled);
        }
    }
}

void RMFramePlay::_setPlayTooltip(bool playing) {
    _playPause->setStyleStatus("paused", playing);
    const QString japanese = playing ? "一時停止" : "正方向再生";
    const QString english = playing ? "Pause" : "Play";
    RMLanguage* language = RMLanguage::instance();
    _playPause->setToolTip(language->text(japanese, english));
    // Keep the registered texts in step for a later language switch.
    language->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_TOOLTIP, _playPause, japanese);
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _playPause, english);
}

void RMFramePlay::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    switch (event) {
        case PE_PLAYING:
            _setPlayTooltip(true);
            break;
        case PE_PAUSED:
            _setPlayTooltip(false);
            break;
        case PE_STOPPED:
            _setPlayTooltip(false);
            if (item == nullptr && RMPlayProcess::instance()->pendingItem() == nullptr) {
                _setSteppingEnabled(false);
            }
            break;
        case PE_STARTED:
            _setSteppingEnabled(true);
            break;
        case PE_USER_STOP:
            _setSteppingEnabled(false);
            break;
        default:
            break;
    }
}

void RMFramePlay::onLoadingListEnd(bool) {
    const bool any = !RMVideoFileList::instance()->allItems().isEmpty();
    for (RMButton* button : {_playPause, _previousFile, _nextFile}) {
        button->setEnabled(any);
    }
    _space->setEnabled(any);
    _backspace->setEnabled(any);
}

void RMFramePlay::onAppEvent(RMApp::Event event) {
    RMWidgetStyleBase::onAppEvent(event);
    const int w = narrowestScreenWidth();
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
        if (w < 1920) {
            _layout->setSpacing(w * 15 / 1920);
            _leading->changeSize(0, 0);
        }
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        setFixedWidth(kWidth);
        if (w < 1920) {
            _layout->setSpacing(kSpacing);
            _leading->changeSize(kLeading, 0);
        }
    }
    _layout->invalidate();
}
