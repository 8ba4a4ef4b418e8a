#include "card_options.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>

namespace {

bool parseSize(const QString& text, QSize* size) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) {
        return false;
    }
    *size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    return true;
}

bool parseInt(const QString& text, int low, int high, int* value) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

CardOptions::Parse CardOptions::parse(const QStringList& arguments, CardOptions* out,
                                      QString* text) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes an SD card folder of dash camera recordings (front and rear H.264 video, AAC "
        "audio in the front file, GPS and G-sensor tracks), with the camera's settings file."));
    parser.addPositionalArgument(QStringLiteral("OUT_DIR"),
                                 QStringLiteral("the card's root folder"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption recordings(QStringLiteral("recordings"),
                                        QStringLiteral("Number of recordings (default 3)."),
                                        QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of each recording (default 60)."),
                                     QStringLiteral("S"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the drive (default 1)."),
                                  QStringLiteral("K"));
    const QCommandLineOption layout(
        QStringLiteral("layout"),
        QStringLiteral("side: front and rear files in DCIM; folders: DCIM/1 and DCIM/2 "
                       "(default side)."),
        QStringLiteral("side|folders"));
    const QCommandLineOption sensor(
        QStringLiteral("sensor"),
        QStringLiteral("type1: one track of 64-byte records; type2: a GPS and a G-sensor track "
                       "(default type1)."),
        QStringLiteral("type1|type2"));
    const QCommandLineOption tiny(
        QStringLiteral("tiny"),
        QStringLiteral("Full box structure and sample tables, a few bytes per video and audio "
                       "sample (for list benchmarks)."));
    const QCommandLineOption frontSize(QStringLiteral("front-size"),
                                       QStringLiteral("Front picture size (default 1920x1080)."),
                                       QStringLiteral("WxH"));
    const QCommandLineOption rearSize(QStringLiteral("rear-size"),
                                      QStringLiteral("Rear picture size (default 1280x720)."),
                                      QStringLiteral("WxH"));
    const QCommandLineOption fps(QStringLiteral("fps"),
                                 QStringLiteral("Frames per second (default 30)."),
                                 QStringLiteral("F"));
    const QCommandLineOption gop(
        QStringLiteral("gop"),
        QStringLiteral("Frames from one key frame to the next (default 30)."), QStringLiteral("G"));
    const QCommandLineOption crf(QStringLiteral("crf"),
                                 QStringLiteral("H.264 quality, 0 to 51 (default 23)."),
                                 QStringLiteral("Q"));
    const QCommandLineOption profile(
        QStringLiteral("profile"),
        QStringLiteral("simple: constant quality, quick to decode; camera: High profile at "
                       "12 (front) and 8 (rear) Mbit/s, 1920x1080 both, with grain in every "
                       "picture (default simple)."),
        QStringLiteral("simple|camera"));
    const QCommandLineOption bframes(
        QStringLiteral("bframes"),
        QStringLiteral("B-frames between reference frames, 0 to 4 (default 0)."),
        QStringLiteral("N"));
    const QCommandLineOption noRear(QStringLiteral("no-rear"),
                                    QStringLiteral("Write front files only."));
    const QCommandLineOption start(
        QStringLiteral("start"),
        QStringLiteral("Local start time of the first recording (default 2024-05-17 08:30:00)."),
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QCommandLineOption utcOffset(
        QStringLiteral("utc-offset"),
        QStringLiteral("Hours the camera's local time is ahead of UTC (default 9)."),
        QStringLiteral("H"));
    const QCommandLineOption clockSkew(
        QStringLiteral("clock-skew"),
        QStringLiteral("Seconds the camera's clock runs ahead of GPS time, beyond the UTC offset "
                       "(negative: behind; default 0)."),
        QStringLiteral("S"));
    const QCommandLineOption jobs(
        QStringLiteral("jobs"),
        QStringLiteral("Files encoded at the same time (default: one per core)."),
        QStringLiteral("J"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Write into a folder that is not empty."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress on standard error."));
    const QCommandLineOption truth(
        QStringLiteral("truth"),
        QStringLiteral("Also write the GPS samples as recorded to FILE (CSV), for checking "
                       "exports."),
        QStringLiteral("FILE"));
    const QCommandLineOption fixGap(
        QStringLiteral("fix-gap"),
        QStringLiteral("The receiver loses its fix for L seconds from S seconds into the drive "
                       "(a tunnel; default none)."),
        QStringLiteral("S:L"));
    parser.addOptions({help,      recordings, seconds, seed,  layout,  sensor,  tiny,     frontSize,
                       rearSize,  fps,        gop,     crf,   profile, bframes, noRear,   start,
                       utcOffset, jobs,       force,   quiet, truth,   fixGap,  clockSkew});

    if (!parser.parse(arguments)) {
        *text = parser.errorText();
        return Parse::Error;
    }
    if (parser.isSet(help)) {
        *text = parser.helpText();
        return Parse::Help;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        *text = QStringLiteral("expected one output folder (see --help)");
        return Parse::Error;
    }
    CardOptions o;
    o.outDir = positional.first();
    o.truthFile = parser.value(truth);

    auto bad = [&](const QCommandLineOption& option, const QString& expected) {
        *text = QStringLiteral("--%1 %2: expected %3")
                    .arg(option.names().constLast(), parser.value(option), expected);
        return Parse::Error;
    };
    if (parser.isSet(recordings) && !parseInt(parser.value(recordings), 1, 100000, &o.recordings)) {
        return bad(recordings, QStringLiteral("a number from 1 to 100000"));
    }
    if (parser.isSet(seconds) && !parseInt(parser.value(seconds), 1, 3600, &o.seconds)) {
        return bad(seconds, QStringLiteral("a number of seconds from 1 to 3600"));
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        o.seed = parser.value(seed).toULongLong(&ok);
        if (!ok) {
            return bad(seed, QStringLiteral("a non-negative number"));
        }
    }
    if (parser.isSet(layout)) {
        const QString v = parser.value(layout);
        if (v != QLatin1String("side") && v != QLatin1String("folders")) {
            return bad(layout, QStringLiteral("side or folders"));
        }
        o.layout = v == QLatin1String("side") ? Layout::Side : Layout::Folders;
    }
    if (parser.isSet(sensor)) {
        const QString v = parser.value(sensor);
        if (v != QLatin1String("type1") && v != QLatin1String("type2")) {
            return bad(sensor, QStringLiteral("type1 or type2"));
        }
        o.sensor = v == QLatin1String("type1") ? Sensor::SingleTrack : Sensor::TwoTrack;
    }
    o.tiny = parser.isSet(tiny);
    for (const auto& [option, size] :
         {std::make_pair(&frontSize, &o.frontSize), std::make_pair(&rearSize, &o.rearSize)}) {
        if (parser.isSet(*option)) {
            QSize s;
            if (!parseSize(parser.value(*option), &s) || s.width() % 2 || s.height() % 2 ||
                s.width() < 64 || s.height() < 64 || s.width() > 8192 || s.height() > 8192) {
                return bad(*option, QStringLiteral("WIDTHxHEIGHT, even, from 64 to 8192"));
            }
            *size = s;
        }
    }
    if (parser.isSet(fps) && !parseInt(parser.value(fps), 1, 120, &o.fps)) {
        return bad(fps, QStringLiteral("a rate from 1 to 120"));
    }
    if (parser.isSet(gop) && !parseInt(parser.value(gop), 1, 1000, &o.gop)) {
        return bad(gop, QStringLiteral("a number of frames from 1 to 1000"));
    }
    if (parser.isSet(crf) && !parseInt(parser.value(crf), 0, 51, &o.crf)) {
        return bad(crf, QStringLiteral("a number from 0 to 51"));
    }
    if (parser.isSet(profile)) {
        const QString v = parser.value(profile);
        if (v != QLatin1String("simple") && v != QLatin1String("camera")) {
            return bad(profile, QStringLiteral("simple or camera"));
        }
        if (v == QLatin1String("camera")) {
            if (parser.isSet(crf)) {
                *text = QStringLiteral("--crf: the camera profile encodes at a fixed bit rate");
                return Parse::Error;
            }
            o.profile = Profile::Camera;
            o.frontKbps = 12000;
            o.rearKbps = 8000;
            if (!parser.isSet(rearSize)) {
                o.rearSize = QSize(1920, 1080);
            }
        }
    }
    if (parser.isSet(bframes) && !parseInt(parser.value(bframes), 0, 4, &o.bframes)) {
        return bad(bframes, QStringLiteral("a number from 0 to 4"));
    }
    o.rear = !parser.isSet(noRear);
    if (parser.isSet(start)) {
        // Date and time separately: a time this machine's zone skips is still
        // a valid camera time.
        const QStringList parts = parser.value(start).split(QLatin1Char(' '));
        const QDateTime t =
            parts.size() != 2
                ? QDateTime()
                : QDateTime(QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd")),
                            QTime::fromString(parts[1], QStringLiteral("HH:mm:ss")), Qt::UTC);
        if (!t.isValid() || t.date().year() < 2000 || t.date().year() > 2099) {
            return bad(start, QStringLiteral("yyyy-MM-dd HH:mm:ss in the years 2000 to 2099"));
        }
        o.start = t;
    }
    if (parser.isSet(utcOffset)) {
        int hours = 0;
        if (!parseInt(parser.value(utcOffset), -12, 14, &hours)) {
            return bad(utcOffset, QStringLiteral("whole hours from -12 to 14"));
        }
        o.utcOffsetMinutes = hours * 60;
    }
    if (parser.isSet(clockSkew) &&
        !parseInt(parser.value(clockSkew), -86400, 86400, &o.clockSkewSeconds)) {
        return bad(clockSkew, QStringLiteral("whole seconds from -86400 to 86400"));
    }
    // The names hold two-digit years: the last recording must still fit.
    const QDateTime last = o.start.addSecs(qint64(o.recordings) * o.seconds);
    if (last.date().year() > 2099) {
        *text = QStringLiteral("the recordings would run past the year 2099");
        return Parse::Error;
    }
    o.jobs = std::max(1, QThread::idealThreadCount());
    if (parser.isSet(jobs) && !parseInt(parser.value(jobs), 1, 64, &o.jobs)) {
        return bad(jobs, QStringLiteral("a number from 1 to 64"));
    }
    if (parser.isSet(fixGap)) {
        const QStringList parts = parser.value(fixGap).split(QLatin1Char(':'));
        if (parts.size() != 2 || !parseInt(parts[0], 0, 360000000, &o.fixGapStart) ||
            !parseInt(parts[1], 1, 360000000, &o.fixGapSeconds)) {
            return bad(fixGap, QStringLiteral("START:LENGTH in whole seconds, a length above 0"));
        }
    }
    o.force = parser.isSet(force);
    o.quiet = parser.isSet(quiet);
    *out = o;
    return Parse::Ok;
}
