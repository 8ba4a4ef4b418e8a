#include "recordings/rm_video_item_2ch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QtDebug>
#include <cstdio>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "mp4/mov_format.h"
#include "recordings/rm_sensor_data.h"

namespace {
struct Prefix {
    const char* text;
    GROUP_TYPE group;
};
const Prefix kPrefixes[] = {
    {"NNF_", GROUP_NNF}, {"NEF_", GROUP_NEF}, {"PNF_", GROUP_PNF},
    {"PMF_", GROUP_PNF}, {"PEF_", GROUP_PEF},
};

// A rear file is kept when its video runs above this rate.
const int kMinRearKbps = 199;

FILE* openFile(const QString& path, const char* mode) {
    return std::fopen(QFile::encodeName(path).constData(), mode);
}

// The base name: no folder, nothing from the first ".".
QString baseNameOf(const QString& path) {
    return QFileInfo(path).baseName();
}

bool isJapanese() {
    return RMLanguage::instance()->language() == RMLanguage::LANGUAGE_JAPANESE;
}
}  // namespace

RMVideoItem::RMVideoItem(QString path, bool isRear, QDateTime* dateTime) {
    frontPath = path;
    if (!FileExist(path)) {
        return;
    }
    if (dateTime) {
        this->dateTime = *dateTime;
    }
    // Only MP4 files can be repaired; other files count as tried.
    repairTried = QFileInfo(path).suffix().compare("MP4", Qt::CaseInsensitive) != 0;
    _loadDuration();
    if (isRear) {
        rearPath = path;
        frontPath.clear();
    }
}

RMVideoItem::~RMVideoItem() {
    clearSensorData();
}

bool RMVideoItem::FileExist(QString path) {
    return QFileInfo::exists(path);
}

QString RMVideoItem::groupFromFilePath(QString path, GROUP_TYPE* group) {
    QString name = QFileInfo(path).baseName().toUpper();
    for (const Prefix& prefix : kPrefixes) {
        if (!name.startsWith(prefix.text)) {
            continue;
        }
        if (group) {
            *group = prefix.group;
        }
        // Both spellings of the P group are removed wherever they occur.
        for (const Prefix& other : kPrefixes) {
            if (other.group == prefix.group) {
                name.remove(other.text);
            }
        }
        return name;
    }
    if (group) {
        *group = GROUP_NONE;
    }
    return QString();
}

int RMVideoItem::IsFeasible(QString path, QDateTime* dateTime) {
    if (!FileExist(path)) {
        return GROUP_NONE;
    }
    GROUP_TYPE group = GROUP_NONE;
    const QString rest = groupFromFilePath(path, &group);
    if (rest.isEmpty()) {
        return GROUP_NONE;
    }
    const QDateTime parsed = _fileNameToDateTime(rest);
    if (!parsed.isValid()) {
        return GROUP_NONE;
    }
    if (dateTime) {
        *dateTime = parsed;
    }
    return group;
}

namespace {
// Six digits as three two-digit numbers, or false.
bool parsePairs(const QString& text, int* a, int* b, int* c) {
    if (text.size() != 6) {
        return false;
    }
    int value[3];
    for (int i = 0; i < 3; ++i) {
        const QChar high = text[2 * i];
        const QChar low = text[2 * i + 1];
        if (!high.isDigit() || !low.isDigit() || high.unicode() > '9' || low.unicode() > '9') {
            return false;
        }
        value[i] = (high.unicode() - '0') * 10 + (low.unicode() - '0');
    }
    *a = value[0];
    *b = value[1];
    *c = value[2];
    return true;
}

// "yyMMdd" and "HHmmss" as the camera writes them: the year in this century,
// the time as its clock reads (no zone, so no daylight-saving rule can make a
// real recording's name invalid).
QDateTime parseNameTime(const QString& date, const QString& time) {
    int year, month, day, hour, minute, second;
    if (!parsePairs(date, &year, &month, &day) || !parsePairs(time, &hour, &minute, &second)) {
        return QDateTime();
    }
    const QDate d(2000 + year, month, day);
    const QTime t(hour, minute, second);
    if (!d.isValid() || !t.isValid()) {
        return QDateTime();
    }
    return QDateTime(d, t, Qt::UTC);
}
}  // namespace

QDateTime RMVideoItem::_fileNameToDateTime(QString rest) {
    const QStringList pieces = rest.split('-');
    if (pieces.size() != 3) {
        return QDateTime();
    }
    const QDateTime parsed = parseNameTime(pieces[0], pieces[1]);
    if (parsed.isValid()) {
        return parsed;
    }
    // A day past the end of its month (30 February) rolls into the next
    // month, as the camera's clock does.
    const QDateTime firstOfMonth = parseNameTime(pieces[0].left(4) + "01", pieces[1]);
    if (!firstOfMonth.isValid()) {
        return QDateTime();
    }
    const int day = pieces[0].mid(4, 2).toInt();
    return firstOfMonth.addDays(day < 1 ? 0 : day - 1);
}

QString RMVideoItem::fileNameWithoutChannel(QString path) {
    QString name = baseNameOf(path);
    if (name.endsWith("_2") || name.endsWith("_1")) {
        name.chop(2);
    }
    return name;
}

QString RMVideoItem::durationString(unsigned int ms, bool) {
    const unsigned int seconds = ms / 1000;
    if (ms < 60000) {
        return QString::asprintf("00:%02u", seconds);
    }
    if (ms < 3600000) {
        return QString::asprintf("%02u:%02u", seconds / 60, seconds % 60);
    }
    return QString::asprintf("%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void RMVideoItem::_loadDuration() {
    FILE* file = openFile(primaryPath(), "rb");
    if (!file) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot open" << primaryPath();
        return;
    }
    _AVIPreInfo info = {};
    MOVFormat::duration(file, &info);
    durationMs = info.durationMs;
    std::fclose(file);
}

bool RMVideoItem::repairFile(const QString& path) {
    FILE* file = std::fopen(path.toUtf8().constData(), "r+b");
    if (!file) {
        return false;
    }
    // The undo line goes to the viewer's report folder.
    const QString undoLog = RMApp::appPath(RMApp::PATH_REPORT) + QDir::separator() + "repair.log";
    const bool repaired = MOVFormat::fix(file, undoLog, path);
    std::fclose(file);
    return repaired;
}

RMSensorData* RMVideoItem::_readSensorData(const QString& path, quint32 durationMs) {
    FILE* file = openFile(path, "rb");
    if (!file) {
        // The file vanished after the scan: the recording has no sensor data.
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot open" << path;
        return nullptr;
    }
    auto* data = new RMSensorData(file, FILE_TYPE_MP4);
    data->clipWithDuration(durationMs);
    data->fixGPS();
    std::fclose(file);
    return data;
}

void RMVideoItem::loadAVIInfo() {
    if (sensorData) {
        return;
    }
    _sensorRequest = 0;
    sensorData = _readSensorData(primaryPath(), durationMs);
    if (!sensorData) {
        Q_EMIT loadAVIInfoFail();
    }
}

void RMVideoItem::loadAVIInfoInBackground() {
    if (sensorData) {
        QMetaObject::invokeMethod(this, &RMVideoItem::loadAVIInfoEnd, Qt::QueuedConnection);
        return;
    }
    if (_sensorRequest != 0) {
        return;
    }
    static quint64 requests = 0;
    const quint64 request = ++requests;
    _sensorRequest = request;
    QPointer<RMVideoItem> self(this);
    const QString path = primaryPath();
    const quint32 duration = durationMs;
    QThreadPool::globalInstance()->start([self, request, path, duration] {
        RMSensorData* data = _readSensorData(path, duration);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, data] {
                if (self.isNull()) {
                    delete data;
                    return;
                }
                self->_takeSensorData(request, data);
            },
            Qt::QueuedConnection);
    });
}

void RMVideoItem::_takeSensorData(quint64 request, RMSensorData* data) {
    if (request != _sensorRequest || sensorData) {
        delete data;  // cleared or loaded otherwise meanwhile
        return;
    }
    _sensorRequest = 0;
    sensorData = data;
    if (data) {
        Q_EMIT loadAVIInfoEnd();
    } else {
        Q_EMIT loadAVIInfoFail();
    }
}

void RMVideoItem::clearSensorData() {
    delete sensorData;
    sensorData = nullptr;
    _sensorRequest = 0;
}

void RMVideoItem::testBitrate2CH() {
    if (rearPath.isEmpty()) {
        return;
    }
    FILE* file = openFile(rearPath, "rb");
    if (!file) {
        return;
    }
    _AVIPreInfo info = {};
    MOVFormat::movSize(file, &info);
    std::fclose(file);
    // A rear file without a measurable duration has no rate: it is not kept.
    bool keep = false;
    if (info.durationMs > 0) {
        const double kbps = double(info.moviSize) * 8 / (info.durationMs / 1000.0) / 1000;
        keep = kbps > kMinRearKbps;
    }
    if (!keep) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "rear file without video" << rearPath
                << info.durationMs << info.moviSize;
        rearPath.clear();
    }
}

QString RMVideoItem::_baseName() const {
    return baseNameOf(primaryPath());
}

QString RMVideoItem::titlePrefix() const {
    return _baseName().split('_').first();
}

QString RMVideoItem::title() const {
    const QStringList pieces = _baseName().split('-');
    return pieces.value(0) + "-" + pieces.value(1);
}

QString RMVideoItem::titleDuration() const {
    const quint32 minutes = durationMs / 60000;
    const quint32 seconds = durationMs / 1000 - 60 * minutes;
    return QString::asprintf("%02u:%02u", minutes, seconds);
}

// The channels that play: a recording left with its rear file only (none
// recorded, or the front one unplayable) says so.
QString RMVideoItem::titleFrontRear() const {
    if (!frontPath.isEmpty() && !rearPath.isEmpty()) {
        return isJapanese() ? "前後" : "F/R";
    }
    if (frontPath.isEmpty() && !rearPath.isEmpty()) {
        return isJapanese() ? "後" : "R";
    }
    return isJapanese() ? "前" : "F";
}

QString RMVideoItem::typeString() const {
    const QString prefix = titlePrefix();
    if (!isJapanese()) {
        return prefix;
    }
    const QString upper = prefix.toUpper();
    if (upper.startsWith("LDW")) {
        return "車線逸脱";
    }
    if (upper.startsWith("HMW")) {
        return "前方車間";
    }
    if (upper.startsWith("FCW")) {
        return "前方衝突";
    }
    if (upper.startsWith("MRE")) {
        return "手動";
    }
    if (upper.startsWith("ERE")) {
        return "イベント";
    }
    return "常時";
}

QString RMVideoItem::titleCapture(qint64 ms) const {
    const QDateTime at = dateTime.addMSecs(ms);
    const QDate date = at.date();
    const QTime time = at.time();
    return title().split('_').first() + "_" +
           QString::asprintf("%02d%02d%02d-%02d%02d%02d", date.year() - 2000, date.month(),
                             date.day(), time.hour(), time.minute(), time.second());
}

void RMVideoItem::onChecked() {}

bool RMVideoItemCompare(const RMVideoItem* a, const RMVideoItem* b) {
    if (a->dateTime != b->dateTime) {
        return a->dateTime < b->dateTime;
    }
    return a->groupType < b->groupType;
}
