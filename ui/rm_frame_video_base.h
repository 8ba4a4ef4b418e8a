#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "ui/rm_widget_zoom_pos.h"
#include "widgets/rm_widget_style_base.h"

class AVPlayer;
class QFrame;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;
class QTimer;
class RMVideoItem;

// A video pane: its title (front or rear camera), the logo while nothing
// plays, and the video widget of the renderer it hosts, with an inset in a
// corner for the zoom overview.
class RMFrameVideoBase : public RMWidgetStyleBase {
    Q_OBJECT
public:
    RMFrameVideoBase(QWidget* parent, bool front, QString styleName, bool appEvents);
    ~RMFrameVideoBase() override;

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
    QWidget* zoomView() const { return _zoomView; }
    RMWidgetZoomPos* zoomPos() const { return _zoomPos.data(); }

    void refreshPIP();
    void refreshLanguage();
    void refreshVideoOff();

    QString name;

public Q_SLOTS:
    virtual void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onAppEvent(RMApp::Event event) override;
    void onUpdateZoom();
    void onForceUpdateZoom();
    void onToggleZoom();
    void onTogglePIPLocation();
    void onToggleShowHidePIP();
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

    void _videoOnOff(bool on);
    // The title follows the camera this pane shows.
    void _refreshCamera();
    // Remembers where the mouse is and schedules one zoom update.
    void _updateZoomProcess(QPoint position);
    void _startZoomView();
    void _stopZoomView();
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
    // The overview belongs to the zoom controller, which frees it; the
    // frame over it belongs to this pane.
    QWidget* _zoomView = nullptr;
    QPointer<RMWidgetZoomPos> _zoomPos;
    QTimer* _zoomUpdateTimer = nullptr;
    bool _dragging = false;
    QPoint _dragStart;
    QPoint _dragCurrent;
};
