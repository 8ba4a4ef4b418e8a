#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Everything the command line decides about a card.
struct CardOptions {
    enum class Layout { Side, Folders };
    enum class Sensor { SingleTrack, TwoTrack };
    enum class Parse { Ok, Help, Error };
    // simple: constant quality on the fastest settings, cheap to decode;
    // camera: what a dash camera writes (High profile, CABAC, a fixed bit
    // rate, grain in every picture), as costly to decode as real footage.
    enum class Profile { Simple, Camera };

    QString outDir;
    int recordings = 3;
    int seconds = 60;
    quint64 seed = 1;
    Layout layout = Layout::Side;
    Sensor sensor = Sensor::SingleTrack;
    bool tiny = false;
    QSize frontSize{1920, 1080};
    QSize rearSize{1280, 720};
    int fps = 30;
    int gop = 30;
    int crf = 23;
    Profile profile = Profile::Simple;
    int frontKbps = 0;  // fixed bit rates of the camera profile; 0: constant quality
    int rearKbps = 0;
    int bframes = 0;  // B-frames between reference frames
    bool rear = true;
    // Start of the first recording in the camera's local time (the names
    // carry local time, the GPS records UTC). Held as a UTC QDateTime so no
    // time zone of this machine gets in the way.
    QDateTime start = QDateTime(QDate(2024, 5, 17), QTime(8, 30, 0), Qt::UTC);
    int utcOffsetMinutes = 9 * 60;
    // Seconds the camera's clock runs ahead of GPS time beyond the zone
    // (negative: behind): the names and the GPS records then disagree.
    int clockSkewSeconds = 0;
    int jobs = 1;  // files encoded at the same time; the command line defaults to the cores
    bool force = false;
    bool quiet = false;
    QString truthFile;  // empty: none
    // A stretch without a fix in the middle of the drive (a tunnel): its
    // start in seconds from the start of the drive and its length; 0: none.
    int fixGapStart = 0;
    int fixGapSeconds = 0;

    // Fills `out` from the arguments (program name first). On Help, `text`
    // is the help; on Error, a one-line message.
    static Parse parse(const QStringList& arguments, CardOptions* out, QString* text);
};
