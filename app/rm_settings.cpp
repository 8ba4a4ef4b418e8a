#include "app/rm_settings.h"

#include <QSettings>
#include <QStandardPaths>

#include "app/rm_app.h"

const char* const RMSettings::kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
const char* const RMSettings::kDefaultTileAttribution =
    "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> contributors";

RMSettings* RMSettings::instance() {
    static RMSettings* settings = new RMSettings();
    return settings;
}

void RMSettings::load() {
    if (_settings) {
        return;
    }
    _settings = new QSettings(RMApp::appPath(RMApp::PATH_CONFIG), QSettings::IniFormat, this);
}

QVariant RMSettings::_loadValue(const char* group, const char* key, const QVariant& fallback) {
    load();
    _settings->beginGroup(group);
    const QVariant value = _settings->value(key, fallback);
    _settings->endGroup();
    return value;
}

void RMSettings::_setValue(const char* group, const char* key, const QVariant& value) {
    load();
    _settings->beginGroup(group);
    _settings->setValue(key, value);
    _settings->endGroup();
    _settings->sync();
}

QString RMSettings::_loadString(const char* group, const char* key) {
    return _loadValue(group, key, QVariant()).toString();
}

void RMSettings::_setString(const char* group, const char* key, QString value) {
    _setValue(group, key, value);
}

QString RMSettings::lastBackupPath() {
    const QString stored = _loadString("/PATH", "BACKUP");
    return stored.isEmpty() ? RMApp::appPath(RMApp::PATH_BACKUP) : stored;
}

void RMSettings::setLastBackupPath(QString& path) {
    if (path != lastBackupPath()) {
        _setString("/PATH", "BACKUP", path);
    }
}

QString RMSettings::lastExportPath() {
    const QString stored = _loadString("/PATH", "EXPORT");
    return stored.isEmpty() ? RMApp::appPath(RMApp::PATH_EXPORT) : stored;
}

void RMSettings::setLastExportPath(const QString& path) {
    if (path != lastExportPath()) {
        _setString("/PATH", "EXPORT", path);
    }
}

QString RMSettings::lastBackupTargetPath() {
    const QString stored = _loadString("/PATH", "BACKUP_TARGET");
    return stored.isEmpty() ? RMApp::appPath(RMApp::PATH_BACKUP) : stored;
}

void RMSettings::setLastBackupTargetPath(const QString& path) {
    if (path != lastBackupTargetPath()) {
        _setString("/PATH", "BACKUP_TARGET", path);
    }
}

QString RMSettings::lastMoviePath() {
    const QString stored = _loadString("/PATH", "RECENT");
    return stored.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                            : stored;
}

void RMSettings::setLastMoviePath(QString& path) {
    if (path != lastMoviePath()) {
        _setString("/PATH", "RECENT", path);
    }
}

int RMSettings::language(int whenUnset) {
    return _loadValue("/APP", "LANGUAGE", whenUnset).toInt();
}

void RMSettings::setLanguage(int language) {
    _setValue("/APP", "LANGUAGE", language);
}

bool RMSettings::autoLanguage() {
    return _loadValue("/APP", "LANGUAGE_AUTO", true).toBool();
}

void RMSettings::setAutoLanguage(bool isAuto) {
    _setValue("/APP", "LANGUAGE_AUTO", isAuto);
}

QString RMSettings::mapTileUrl() {
    const QString stored = _loadString("/MAP", "TILE_URL").trimmed();
    return stored.isEmpty() ? QString::fromLatin1(kDefaultTileUrl) : stored;
}

QString RMSettings::mapTileAttribution() {
    const QString stored = _loadString("/MAP", "TILE_ATTRIBUTION");
    // A tile source of one's own carries only the credit given for it.
    if (stored.isEmpty() && _loadString("/MAP", "TILE_URL").trimmed().isEmpty()) {
        return QString::fromLatin1(kDefaultTileAttribution);
    }
    return stored;
}

QString RMSettings::mapAerialUrl() {
    return _loadString("/MAP", "AERIAL_URL").trimmed();
}

QString RMSettings::mapAerialAttribution() {
    return _loadString("/MAP", "AERIAL_ATTRIBUTION");
}

QString RMSettings::mapLayer() {
    return _loadString("/MAP", "LAYER") == "aerial" ? QStringLiteral("aerial")
                                                    : QStringLiteral("road");
}

void RMSettings::setMapLayer(const QString& layer) {
    if (layer != mapLayer()) {
        _setString("/MAP", "LAYER", layer);
    }
}

bool RMSettings::mapWindowPosition(QPoint* position) {
    bool okX = false;
    bool okY = false;
    const int x = _loadValue("/MAP", "WINDOW_X", QVariant()).toInt(&okX);
    const int y = _loadValue("/MAP", "WINDOW_Y", QVariant()).toInt(&okY);
    if (okX && okY) {
        *position = QPoint(x, y);
    }
    return okX && okY;
}

void RMSettings::setMapWindowPosition(const QPoint& position) {
    QPoint stored;
    if (mapWindowPosition(&stored) && stored == position) {
        return;
    }
    _setValue("/MAP", "WINDOW_X", position.x());
    _setValue("/MAP", "WINDOW_Y", position.y());
}
