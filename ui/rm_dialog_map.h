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
// drives the page only through the page's setLatLag(). One per process; it
// is created hidden from the screen so the page loads before it is opened.
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

    // Unmaps the dialog the first time (it was shown off screen) and then
    // tells whether it is hidden.
    bool isHiddenReal();
    void moveTo(double longitude, double latitude, double speed, bool line);

    RMWidgetMap* mapWidget() const { return _map; }
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
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void _onLoadFinished(bool ok);

private:
    void _createLegend(class QVBoxLayout* layout);
    bool _lineAllowed(qint64 previousPosition, qint64 position, double latitude, double longitude);
    void refreshLanguage();
    void refreshSpeedBarUnit();

    TitleWidget* _title;
    RMWidgetMap* _map;  // null once the application closes
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
