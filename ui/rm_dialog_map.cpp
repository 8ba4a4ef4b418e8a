#include "ui/rm_dialog_map.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QOpenGLContext>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/rm_settings.h"
#include "core/rm_key_event.h"
#include "core/rm_player.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_item_2ch.h"
#include "ui/rm_widget_map.h"
#include "widgets/rm_button.h"
#include "widgets/rm_widget_drag.h"
#include "widgets/title_widget.h"

namespace {
const int kWidth = 403;
const int kHeight = 493;
const int kMapHeight = 406;
const int kLegendHeight = 48;
const int kDragHeight = 39;
const double kRadiansPerDegree = 0.0174533;
const double kEarthRadius = 6378137.0;
const double kNone = -9999.0;
}  // namespace

RMDialogMap* RMDialogMap::instance(QWidget* parent) {
    // The main window owns it; should that window go, the next caller gets
    // a new one rather than a dangling pointer.
    static QPointer<RMDialogMap> dialog;
    if (!dialog) {
        dialog = new RMDialogMap(parent);
    }
    return dialog;
}

RMDialogMap::RMDialogMap(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setModal(false);
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    _title = new TitleWidget(this, "地図", QString(), true);
    layout->addWidget(_title);
    _mapArea = new QWidget(this);
    _mapArea->setFixedSize(kWidth, kMapHeight);
    auto* area = new QVBoxLayout(_mapArea);
    area->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_mapArea);
    _createLegend(layout);
    _drag = new RMWidgetDrag(this, kDragHeight);

    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP,
                                   _title->closeButton(), "Exit");
    connect(_title->closeButton(), SIGNAL(clicked()), this, SLOT(onClose()));
    connect(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)), this,
            SLOT(onAppEvent(RMApp::Event)));
    RMPlayer* player = RMPlayer::instance();
    connect(player, SIGNAL(positionChanged(qint64, qint64)), this,
            SLOT(onPositionChanged(qint64, qint64)));
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    // Starting the web engine holds the GUI thread 40 to 80 ms: it starts
    // here, while the main window is made and before it shows, and not when
    // the user opens the map during playback. The page loads at that opening.
    _createMapView();
    refreshLanguage();
    refreshSpeedBarUnit();
}

bool RMDialogMap::_openGLUsable() {
    // The web engine composites through the application's shared OpenGL
    // context; without one it would abort the process when it starts.
    QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    return shared != nullptr && shared->isValid();
}

void RMDialogMap::_createMapView() {
    if (!_openGLUsable()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no OpenGL: the map cannot be drawn";
        _noMap = new QLabel(_mapArea);
        _noMap->setObjectName("text");
        _noMap->setAlignment(Qt::AlignCenter);
        _noMap->setWordWrap(true);
        _mapArea->layout()->addWidget(_noMap);
        _noMap->show();
        return;
    }
    _map = new RMWidgetMap(_mapArea);
    _map->hide();  // until the window first opens
    // Script calls count only once the page can take them.
    connect(_map, SIGNAL(loadFinished(bool)), this, SLOT(_onLoadFinished(bool)));
    connect(_map, SIGNAL(titleChanged(QString)), this, SLOT(_onPageTitle(QString)));
}

void RMDialogMap::_showMapView() {
    if (!_map || _map->isVisibleTo(this)) {
        return;
    }
    _mapArea->layout()->addWidget(_map);
    _map->show();
    _map->loadMap();
}

void RMDialogMap::showEvent(QShowEvent* event) {
    _placeOnFirstShow();
    QDialog::showEvent(event);
    // The web view is shown and its page loaded once the window is up, in a
    // pass of the event loop of its own.
    QTimer::singleShot(0, this, &RMDialogMap::_showMapView);
}

void RMDialogMap::hideEvent(QHideEvent* event) {
    // Where the user left the window is where it opens next time.
    RMSettings::instance()->setMapWindowPosition(pos());
    QDialog::hideEvent(event);
}

void RMDialogMap::_placeOnFirstShow() {
    if (_placed) {
        return;
    }
    _placed = true;
    QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QList<QRect> screens;
    for (QScreen* each : QGuiApplication::screens()) {
        screens << each->availableGeometry();
    }
    QPoint stored;
    const bool known = RMSettings::instance()->mapWindowPosition(&stored);
    const QRect mainRect = main ? main->frameGeometry() : QRect();
    move(placement(mainRect, size(), screen->availableGeometry(), known ? &stored : nullptr,
                   screens));
}

QPoint RMDialogMap::placement(const QRect& mainWindow, const QSize& size, const QRect& screen,
                              const QPoint* stored, const QList<QRect>& screens) {
    const int kGap = 8;
    if (stored) {
        // Still reachable: its title bar lies on some screen.
        const QRect title(*stored, QSize(size.width(), kDragHeight));
        for (const QRect& each : screens) {
            if (each.intersected(title).width() >= size.width() / 3 &&
                each.contains(QPoint(title.center().x(), stored->y()))) {
                return *stored;
            }
        }
    }
    if (!mainWindow.isValid()) {
        return screen.center() - QPoint(size.width() / 2, size.height() / 2);
    }
    const int top = qBound(screen.top(), mainWindow.top(),
                           qMax(screen.top(), screen.bottom() + 1 - size.height()));
    if (mainWindow.right() + kGap + size.width() <= screen.right()) {
        return QPoint(mainWindow.right() + 1 + kGap, top);
    }
    if (mainWindow.left() - kGap - size.width() >= screen.left()) {
        return QPoint(mainWindow.left() - kGap - size.width(), top);
    }
    // No room beside it: over the list, on the right, rather than the video.
    return QPoint(qMax(screen.left(), screen.right() + 1 - size.width()), top);
}

void RMDialogMap::_createLegend(QVBoxLayout* layout) {
    auto* legend = new QWidget(this);
    legend->setObjectName("bg_widget");
    legend->setFixedHeight(kLegendHeight);
    auto* column = new QVBoxLayout(legend);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setAlignment(Qt::AlignCenter);
    auto* bar = new QLabel(legend);
    bar->setPixmap(QPixmap(":/image/speed_bar.png"));
    bar->setFixedSize(392, 22);
    column->addWidget(bar, 0, Qt::AlignHCenter);
    auto* texts = new QGridLayout;
    texts->setContentsMargins(3, 3, 3, 3);
    _lowLabel = new QLabel(legend);
    _lowLabel->setObjectName("text");
    _highLabel = new QLabel(legend);
    _highLabel->setObjectName("text");
    texts->addWidget(_lowLabel, 0, 0, Qt::AlignLeft);
    texts->addWidget(_highLabel, 0, 1, Qt::AlignRight);
    column->addLayout(texts);
    layout->addWidget(legend);
}

double RMDialogMap::distance(double lat1, double lon1, double lat2, double lon2) {
    const double dLat = (lat2 - lat1) * kRadiansPerDegree;
    const double dLon = (lon2 - lon1) * kRadiansPerDegree;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kRadiansPerDegree) * std::cos(lat2 * kRadiansPerDegree) *
                         std::sin(dLon / 2) * std::sin(dLon / 2);
    const double c = 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a));
    return kEarthRadius * c;
}

int RMDialogMap::speedLevel(double speedKmh) {
    return qBound(0, int(speedKmh / 13.0), 13);
}

bool RMDialogMap::isHiddenReal() {
    return isHidden();
}

void RMDialogMap::onClose() {
    _hiddenForFullScreen = false;
    hide();
    close();
    if (QWidget* window = RMApp::instance()->mainWindow()) {
        window->activateWindow();
        window->setFocus();
    }
}

void RMDialogMap::onAppEvent(RMApp::Event event) {
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        if (isVisible()) {
            hide();
            _hiddenForFullScreen = true;
        }
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        if (_hiddenForFullScreen && isHidden()) {
            _hiddenForFullScreen = false;
            show();
        }
    } else if (event == RMApp::EVENT_APP_CLOSING) {
        if (isVisible()) {
            RMSettings::instance()->setMapWindowPosition(pos());
        }
        _pageLoaded = false;
        delete _map;
        _map = nullptr;
    }
}

void RMDialogMap::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    if (event == PE_STARTED) {
        const RMSensorData* data = item ? item->sensorData : nullptr;
        if (data && data->hasGPS && data->gpsCount > 0) {
            // The last point stays, so consecutive recordings join up.
            _item = item;
            _data = data;
        } else {
            _item = nullptr;
            _data = nullptr;
            _lastPosition = -1;
            _lastLatitude = _lastLongitude = _lastSpeed = kNone;
        }
    } else if (event == PE_STOPPED) {
        _lastPosition = -1;
        _item = nullptr;
        _data = nullptr;
    }
}

void RMDialogMap::onPositionChanged(qint64 position, qint64 duration) {
    if (!_sensor()) {
        return;
    }
    const qint64 previous = _lastPosition;
    _lastPosition = position;
    const RMGPSSample* sample = _sensor()->gpsAt(position, duration);
    if (!sample) {
        return;
    }
    if (sample->latitude == _lastLatitude && sample->longitude == _lastLongitude &&
        sample->speed == _lastSpeed) {
        return;
    }
    const bool line = _lineAllowed(previous, position, sample->latitude, sample->longitude);
    _lastLatitude = sample->latitude;
    _lastLongitude = sample->longitude;
    _lastSpeed = sample->speed;
    moveTo(sample->longitude, sample->latitude, sample->speed, line);
}

bool RMDialogMap::_lineAllowed(qint64 previousPosition, qint64 position, double latitude,
                               double longitude) {
    if (previousPosition != -1 &&
        (position < previousPosition || position - previousPosition > kSeekMs)) {
        return false;
    }
    if (_lastLatitude == kNone ||
        distance(_lastLatitude, _lastLongitude, latitude, longitude) > kJoinMetres) {
        return false;
    }
    // Each coordinate as millionths of a degree, its 32 bits in hex.
    const auto micro = [](double degrees) { return uint(qint64(degrees * 1000000.0)); };
    const QString key = QString::asprintf("%X_%X_%X_%X", micro(_lastLongitude),
                                          micro(_lastLatitude), micro(longitude), micro(latitude));
    if (_drawn.contains(key)) {
        return false;
    }
    _drawn.insert(key, true);
    return true;
}

void RMDialogMap::moveTo(double longitude, double latitude, double speed, bool line) {
    if (!_pageLoaded || !_map) {
        return;
    }
    QString flags = ",0,1);";
    if (_firstCall) {
        flags = ",1,1);";
        _firstCall = false;
    } else if (line) {
        flags = ",0,0);";
    }
    _map->runScript("setLatLag(" + QString::number(latitude, 'f', 6) + "," +
                    QString::number(longitude, 'f', 6) + "," + QString::number(speedLevel(speed)) +
                    flags);
}

void RMDialogMap::_onLoadFinished(bool ok) {
    if (!ok || !_map) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "map page did not load";
        return;
    }
    _pageLoaded = true;
    _sendTileLayers();
    // A point that arrived while the page was loading is placed now.
    if (_lastLatitude != kNone) {
        moveTo(_lastLongitude, _lastLatitude, _lastSpeed, false);
    }
}

void RMDialogMap::_sendTileLayers() {
    if (!_pageLoaded || !_map) {
        return;
    }
    RMSettings* settings = RMSettings::instance();
    RMLanguage* language = RMLanguage::instance();
    const QJsonObject road{{"url", settings->mapTileUrl()},
                           {"attribution", settings->mapTileAttribution()},
                           {"name", language->text("道路地図", "Road map")}};
    const QJsonObject aerial{{"url", settings->mapAerialUrl()},
                             {"attribution", settings->mapAerialAttribution()},
                             {"name", language->text("航空写真", "Aerial")}};
    const QJsonObject layers{{"road", road}, {"aerial", aerial}, {"chosen", settings->mapLayer()}};
    _map->runScript("setTileLayers(" +
                    QString::fromUtf8(QJsonDocument(layers).toJson(QJsonDocument::Compact)) + ");");
}

void RMDialogMap::_onPageTitle(const QString& title) {
    // The page names the base layer the user chose in its title.
    const QString layer = title.section(':', 1);
    if (title.startsWith("layer:") && (layer == "road" || layer == "aerial")) {
        RMSettings::instance()->setMapLayer(layer);
    }
}

void RMDialogMap::onSpeedUnitChange() {
    refreshSpeedBarUnit();
}

void RMDialogMap::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    refreshLanguage();
    refreshSpeedBarUnit();
    _sendTileLayers();
}

void RMDialogMap::refreshLanguage() {
    RMLanguage* language = RMLanguage::instance();
    _title->titleLabel()->setText(language->text("地図", "MAP"));
    _lowLabel->setText(language->text("低速", "Low speed"));
    _highLabel->setText(language->text("高速 ( 130 Km/h 以上 )", "High speed (up to 130km/h)"));
    _title->closeButton()->setToolTip(language->text("閉じる", "Exit"));
    if (_noMap) {
        _noMap->setText(language->text("地図の表示には OpenGL が必要です。",
                                       "The map needs OpenGL, which is not available here."));
    }
}

void RMDialogMap::refreshSpeedBarUnit() {
    const QString unit = RMApp::isMPH ? "80 mph" : "130 km/h";
    _highLabel->setText(RMLanguage::instance()->text("高速 ( " + unit + " 以上 )",
                                                     "High speed ( up to " + unit + " )"));
}

void RMDialogMap::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        RMKeyEvent::instance()->pressed(RMKeyEvent::keyOf(event));
    }
    QDialog::keyPressEvent(event);
}

void RMDialogMap::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        RMKeyEvent::instance()->released(RMKeyEvent::keyOf(event));
    }
    QDialog::keyReleaseEvent(event);
}
