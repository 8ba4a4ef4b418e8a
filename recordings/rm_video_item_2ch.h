#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class RMSensorData;

// Group of a recording, from the prefix of its file name.
enum GROUP_TYPE : qint32 {
    GROUP_NNF = 0,
    GROUP_NEF = 1,
    GROUP_PNF = 3,
    GROUP_PEF = 4,
    GROUP_NONE = 9999,
};

// One recording: a front file and an optional rear file of the same moment,
// its start time from the name, its duration from the container, its group,
// the backup tick and, once loaded, its GPS and G-sensor samples.
class RMVideoItem : public QObject {
    Q_OBJECT
public:
    RMVideoItem(QString path, bool isRear, QDateTime* dateTime);
    ~RMVideoItem() override;

    static bool FileExist(QString path);
    // The group of a usable recording name (the file must exist), or 9999.
    static int IsFeasible(QString path, QDateTime* dateTime = nullptr);
    static QDateTime _fileNameToDateTime(QString rest);
    // The group of a name's prefix, and the name without it (upper case), or
    // an empty name and GROUP_NONE.
    static QString groupFromFilePath(QString path, GROUP_TYPE* group);
    static QString fileNameWithoutChannel(QString path);
    static QString durationString(unsigned int ms, bool = false);

    // frontPath when there is one, else rearPath.
    QString primaryPath() const { return frontPath.isEmpty() ? rearPath : frontPath; }

    // Repairs a file that will not open (see MOVFormat::fix); disk work, for
    // a worker thread. True when something was repaired.
    static bool repairFile(const QString& path);
    // Reads the GPS and G-sensor samples here and now (command line, export).
    void loadAVIInfo();
    // Reads them on a worker thread; loadAVIInfoEnd() follows on this item's
    // thread once sensorData is set, or loadAVIInfoFail() when the file cannot
    // be read. At once when they are loaded already.
    void loadAVIInfoInBackground();
    bool isLoadingAVIInfo() const { return _sensorRequest != 0; }
    void clearSensorData();
    void testBitrate2CH();

    QString titlePrefix() const;
    QString title() const;
    QString titleDuration() const;
    QString titleFrontRear() const;
    QString typeString() const;
    QString titleCapture(qint64 ms) const;

    GROUP_TYPE groupType = GROUP_NONE;
    bool checked = false;
    QString frontPath;
    bool repairTried = false;
    bool rearAsFront = false;
    QString rearPath;
    QDateTime dateTime;
    quint32 durationMs = 0;
    RMSensorData* sensorData = nullptr;

private:
    quint64 _sensorRequest = 0;  // the background read awaited, 0: none

public Q_SLOTS:
    void onChecked();

Q_SIGNALS:
    void loadAVIInfoStarted();
    void loadAVIInfoEnd();
    void loadAVIInfoFail();

private:
    static RMSensorData* _readSensorData(const QString& path, quint32 durationMs);
    void _takeSensorData(quint64 request, RMSensorData* data);
    void _loadDuration();
    QString _baseName() const;
};

// Sort order of the list: start time, then group.
bool RMVideoItemCompare(const RMVideoItem* a, const RMVideoItem* b);
