#pragma once

#include <QRect>
#include <QSize>

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "widgets/rm_widget_style_base.h"

class AVPlayer;
class QFrame;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;
class RMVideoItem;

// A video pane: its title (front or rear camera), the logo while nothing
// plays, and the video widget of the renderer it hosts, with an inset in a
// corner for the zoom overview.
class RMFrameVideoBase : public RMWidgetStyleBase {
    Q_OBJECT
public:
    RMFrameVideoBase(QWidget* parent, bool front, QString styleName, bool appEvents);

    // Hosts the renderer's widget (owned by the player).
    void setVideoWidget(QWidget* widget);
    QWidget* videoWidget() const { return _videoWidget; }
    QWidget* inset() const { return _inset; }
    QFrame* logoFrame() const { return _logo; }
    QLabel* titleLabel() const { return _title; }
    bool showsFront() const { return _showsFront; }
    bool isVideoOn() const;
    bool isInsetRight() const { return _insetRight; }
    bool isZoomOn() const { return _zoomOn; }
    QSize videoResolution() const { return _resolution; }

    void refreshPIP();
    void refreshLanguage();
    void refreshVideoOff();

    QString name;

public Q_SLOTS:
    virtual void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onAppEvent(RMApp::Event event) override;
    void onTogglePIPLocation();
    void onToggleShowHidePIP();
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

protected:
    void _videoOnOff(bool on);
    // The player whose pictures this pane shows now.
    AVPlayer* _feedingPlayer() const;

    const bool _front;
    bool _showsFront;
    bool _fullScreen = false;
    QRect _insetRect;

private:
    QFrame* _logo;
    QWidget* _videoWidget = nullptr;
    QLabel* _title;
    QVBoxLayout* _layout;
    QWidget* _inset = nullptr;
    QHBoxLayout* _videoLayout = nullptr;
    bool _insetRight = true;
    bool _zoomOn = false;
    QSize _resolution;
};
