#pragma once

#include <QObject>
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
    QString lastMoviePath();
    void setLastMoviePath(QString& path);
    int language();
    void setLanguage(int language);
    bool autoLanguage();
    void setAutoLanguage(bool isAuto);

private:
    RMSettings() = default;
    QString _loadString(const char* group, const char* key);
    void _setString(const char* group, const char* key, QString value);
    QVariant _loadValue(const char* group, const char* key, const QVariant& fallback);
    void _setValue(const char* group, const char* key, const QVariant& value);

    QSettings* _settings = nullptr;
};
