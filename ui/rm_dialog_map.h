#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "recordings/rm_video_item_2ch.h"

class QLabel;
class RMSensorData;
class RMVideoItem;
class RMWidgetDrag;
class RMWidgetMap;
class TitleWidget;

// The map window: the GPS track of the recordings being played, coloured
// by speed, with the car at the current position, and a colour legend. It
// drives the page only through the page's setLatLag(). One per process. The
// web view (and with it the web engine) is made when the window first
// opens; where the engine cannot draw (no OpenGL) the window says so.
class RMDialogMap : public QDialog {
    Q_OBJECT
public:
    static RMDialogMap* instance(QWidget* parent = nullptr);
    // For tests; the application uses instance().
    explicit RMDialogMap(QWidget* parent);

    // Points further apart than this are not joined by a line.
    static constexpr double kJoinMetres = 165.0;
    // A position more than this ahead of the last one is a seek.
    static constexpr qint64 kSeekMs = 2000;

    // Great-circle distance in metres (haversine).
    static double distance(double lat1, double lon1, double lat2, double lon2);
    // Colour level 0..13 of a speed in km/h.
    static int speedLevel(double speedKmh);

    // Whether the window is closed.
    bool isHiddenReal();
    // Where the window opens: where the user left it when that is still on
    // a screen, else beside the main window when the screen has room there,
    // else at the screen's edge on the main window's list side.
    static QPoint placement(const QRect& mainWindow, const QSize& size, const QRect& screen,
                            const QPoint* stored, const QList<QRect>& screens);
    void moveTo(double longitude, double latitude, double speed, bool line);

    // Made with the window, hidden until it first opens; null when the
    // engine cannot draw and after the application closes.
    RMWidgetMap* mapWidget() const { return _map; }
    // The text shown in place of the map when the engine cannot draw; null
    // while it can.
    QLabel* noMapLabel() const { return _noMap; }
    TitleWidget* titleWidget() const { return _title; }
    QLabel* highSpeedLabel() const { return _highLabel; }
    bool isPageLoaded() const { return _pageLoaded; }

public Q_SLOTS:
    void onClose();
    void onAppEvent(RMApp::Event event);
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onPositionChanged(qint64 position, qint64 duration);
    void onSpeedUnitChange();
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void _onLoadFinished(bool ok);
    void _onPageTitle(const QString& title);

private:
    // The web view (hidden), or the notice that the map needs OpenGL.
    void _createMapView();
    // Shows the web view and loads its page, at the window's first opening.
    void _showMapView();
    static bool _openGLUsable();
    void _sendTileLayers();
    void _placeOnFirstShow();
    void _createLegend(class QVBoxLayout* layout);
    bool _lineAllowed(qint64 previousPosition, qint64 position, double latitude, double longitude);
    void refreshLanguage();
    void refreshSpeedBarUnit();

    TitleWidget* _title;
    QWidget* _mapArea;
    RMWidgetMap* _map = nullptr;  // made with the window; null again at closing
    QLabel* _noMap = nullptr;
    bool _placed = false;  // opened at least once
    QLabel* _lowLabel;
    QLabel* _highLabel;
    RMWidgetDrag* _drag;

    // The playing recording's samples; the recording owns them.
    // The samples belong to the recording, which the list may free at any
    // reload: they are read only while the recording lives.
    const RMSensorData* _sensor() const { return _item.isNull() ? nullptr : _data; }
    QPointer<RMVideoItem> _item;
    const RMSensorData* _data = nullptr;
    qint64 _lastPosition = -1;
    double _lastLatitude = -9999.0;
    double _lastLongitude = -9999.0;
    double _lastSpeed = -9999.0;
    bool _firstCall = true;
    bool _pageLoaded = false;
    bool _hiddenForFullScreen = false;
    QHash<QString, bool> _drawn;  // segment keys already drawn
};
