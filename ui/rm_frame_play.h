#pragma once

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "widgets/rm_widget_style_base.h"

class QHBoxLayout;
class QShortcut;
class QSpacerItem;
class RMButton;
class RMVideoItem;

// The button bar under the slider bar: one second back, play/pause, stop,
// one second forward, previous and next recording; Space and Backspace.
class RMFramePlay : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMFramePlay(QWidget* parent);

    RMButton* backwardButton() const { return _backward; }
    RMButton* playPauseButton() const { return _playPause; }
    RMButton* stopButton() const { return _stop; }
    RMButton* forwardButton() const { return _forward; }
    RMButton* previousFileButton() const { return _previousFile; }
    RMButton* nextFileButton() const { return _nextFile; }
    QShortcut* spaceShortcut() const { return _space; }
    QShortcut* backspaceShortcut() const { return _backspace; }

public Q_SLOTS:
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onLoadingListEnd(bool bLoading);
    void onAppEvent(RMApp::Event event) override;

private:
    RMButton* _addButton(const char* objectName, const QString& japanese, const QString& english);
    void _setSteppingEnabled(bool enabled);
    void _setPlayTooltip(bool playing);

    QHBoxLayout* _layout;
    QSpacerItem* _leading;
    RMButton* _backward;
    RMButton* _playPause;
    RMButton* _stop;
    RMButton* _forward;
    RMButton* _previousFile;
    RMButton* _nextFile;
    QShortcut* _space;
    QShortcut* _backspace;
};
