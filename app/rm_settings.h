#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class QSettings;

// The viewer's own preferences in "conf.ini" under the documents folder.
// Every write is synced at once so a change is on disk when the call returns.
class RMSettings : public QObject {
    Q_OBJECT
public:
    static RMSettings* instance();

    void load();

    QString lastBackupPath();
    void setLastBackupPath(QString& path);
    // Folder of exported clips (group PATH, key EXPORT).
    QString lastExportPath();
    void setLastExportPath(const QString& path);
    // The folder the last backup of recordings went to; the viewer's own
    // backup folder before the first.
    QString lastBackupTargetPath();
    void setLastBackupTargetPath(const QString& path);
    QString lastMoviePath();
    void setLastMoviePath(QString& path);
    // The stored interface language, or whenUnset when none is stored.
    int language(int whenUnset);
    void setLanguage(int language);
    bool autoLanguage();
    void setAutoLanguage(bool isAuto);
    // The map's tile source: an URL template with {z}, {x} and {y} (group
    // MAP, key TILE_URL) and the credit shown for it (TILE_ATTRIBUTION);
    // the standard OpenStreetMap tiles and their credit when not set.
    QString mapTileUrl();
    QString mapTileAttribution();
    // An aerial tile source offered beside the road map (AERIAL_URL and
    // AERIAL_ATTRIBUTION); empty unless set.
    QString mapAerialUrl();
    QString mapAerialAttribution();
    // The base layer the user chose last ("road" or "aerial"; LAYER).
    QString mapLayer();
    void setMapLayer(const QString& layer);
    // Where the user left the map window (WINDOW_X, WINDOW_Y); false when
    // it was never placed.
    bool mapWindowPosition(QPoint* position);
    void setMapWindowPosition(const QPoint& position);

    static const char* const kDefaultTileUrl;
    static const char* const kDefaultTileAttribution;

private:
    RMSettings() = default;
    QString _loadString(const char* group, const char* key);
    void _setString(const char* group, const char* key, QString value);
    QVariant _loadValue(const char* group, const char* key, const QVariant& fallback);
    void _setValue(const char* group, const char* key, const QVariant& value);

    QSettings* _settings = nullptr;
};
