// The sample card generator as a process: what ffprobe and ffmpeg make of its
// files, the box layout the viewer's reader relies on (first track video, one
// sensor sample per chunk, the rear-video flag), the sensor records against
// the file names, both folder layouts, repeatability and tiny cards.
#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "test_support.h"

#ifdef ORVIN_HAVE_MOV_READER
#include "mp4/mov_format.h"
#include "recordings/rm_sensor_data.h"
#endif

namespace {

// One track as its sample tables describe it.
struct Track {
    QByteArray entry;  // type of the first sample description
    QByteArray handler;
    QVector<quint32> sizes;
    QVector<quint32> offsets;          // chunk offsets
    QVector<quint32> samplesPerChunk;  // expanded from stsc, one per chunk
    QVector<quint32> syncSamples;      // empty when every sample is a sync sample
    bool hasSyncTable = false;
};

struct Box {
    QByteArray type;
    int pos = 0;   // header start
    int size = 0;  // whole box
    int body() const { return pos + 8; }
};

quint32 be32(const QByteArray& d, int pos) {
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(d.constData()) + pos);
}

QVector<Box> children(const QByteArray& d, int start, int end) {
    QVector<Box> boxes;
    for (int pos = start; pos + 8 <= end;) {
        const int size = int(be32(d, pos));
        if (size < 8 || pos + size > end) {
            break;
        }
        boxes.push_back(Box{d.mid(pos + 4, 4), pos, size});
        pos += size;
    }
    return boxes;
}

Box child(const QByteArray& d, const Box& parent, const char* type, int skip = 0) {
    for (const Box& b : children(d, parent.body() + skip, parent.pos + parent.size)) {
        if (b.type == type) {
            return b;
        }
    }
    return Box();
}

// Top-level boxes and the tracks of a whole file.
struct Mp4File {
    QByteArray data;
    QVector<Box> top;
    QVector<Track> tracks;

    bool load(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            return false;
        }
        data = f.readAll();
        top = children(data, 0, data.size());
        for (const Box& moov : top) {
            if (moov.type != "moov") {
                continue;
            }
            for (const Box& trak : children(data, moov.body(), moov.pos + moov.size)) {
                if (trak.type == "trak") {
                    tracks.push_back(track(trak));
                }
            }
        }
        return true;
    }

    Track track(const Box& trak) const {
        Track t;
        const Box mdia = child(data, trak, "mdia");
        const Box hdlr = child(data, mdia, "hdlr");
        t.handler = data.mid(hdlr.body() + 8, 4);
        const Box stbl = child(data, child(data, mdia, "minf"), "stbl");
        const Box stsd = child(data, stbl, "stsd");
        t.entry = data.mid(stsd.body() + 12, 4);
        const Box stsz = child(data, stbl, "stsz");
        for (quint32 i = 0, n = be32(data, stsz.body() + 8); i < n; ++i) {
            t.sizes << be32(data, stsz.body() + 12 + 4 * int(i));
        }
        const Box stco = child(data, stbl, "stco");
        for (quint32 i = 0, n = be32(data, stco.body() + 4); i < n; ++i) {
            t.offsets << be32(data, stco.body() + 8 + 4 * int(i));
        }
        const Box stsc = child(data, stbl, "stsc");
        const quint32 runs = be32(data, stsc.body() + 4);
        for (quint32 r = 0; r < runs; ++r) {
            const quint32 first = be32(data, stsc.body() + 8 + 12 * int(r));
            const quint32 next = r + 1 < runs ? be32(data, stsc.body() + 8 + 12 * int(r + 1))
                                              : quint32(t.offsets.size()) + 1;
            for (quint32 c = first; c < next; ++c) {
                t.samplesPerChunk << be32(data, stsc.body() + 12 + 12 * int(r));
            }
        }
        const Box stss = child(data, stbl, "stss");
        t.hasSyncTable = !stss.type.isEmpty();
        for (quint32 i = 0, n = t.hasSyncTable ? be32(data, stss.body() + 4) : 0; i < n; ++i) {
            t.syncSamples << be32(data, stss.body() + 8 + 4 * int(i));
        }
        return t;
    }

    QByteArray topOrder() const {
        QByteArray order;
        for (const Box& b : top) {
            order += b.type + ' ';
        }
        return order.trimmed();
    }

    QByteArray moov() const {
        for (const Box& b : top) {
            if (b.type == "moov") {
                return data.mid(b.pos, b.size);
            }
        }
        return QByteArray();
    }

    // Whether the picture parameter set of the video's avcC box selects CABAC
    // (x264 numbers its sets 0: both ids are the one-bit code "1").
    bool cabac() const {
        const QByteArray m = moov();
        const int at = m.indexOf("avcC");
        if (at < 0 || at + 10 > m.size()) {
            return false;
        }
        const int spsSize = qFromBigEndian<quint16>(m.constData() + at + 10);
        const int ppsAt = at + 12 + spsSize + 3;  // count, then a 16-bit size
        if (ppsAt + 2 > m.size()) {
            return false;
        }
        const quint8 bits = quint8(m[ppsAt + 1]);
        return (bits & 0xC0) == 0xC0 && (bits & 0x20) != 0;
    }

    int usea() const {
        for (const Box& b : top) {
            if (b.type == "usea") {
                return quint8(data[b.body()]);
            }
        }
        return -1;
    }

    // The samples of a track in order, each read at its place in the file.
    QVector<QByteArray> samples(const Track& t) const {
        QVector<QByteArray> out;
        int s = 0;
        for (int c = 0; c < t.offsets.size(); ++c) {
            quint32 pos = t.offsets[c];
            for (quint32 k = 0; k < t.samplesPerChunk.value(c); ++k, ++s) {
                out << data.mid(int(pos), int(t.sizes[s]));
                pos += t.sizes[s];
            }
        }
        return out;
    }
};

double fromNmea(double v) {
    const double d = std::trunc(v / 100);
    return d + (v - 100 * d) / 60;
}

double readDouble(const QByteArray& r, int pos) {
    const quint64 bits =
        qFromLittleEndian<quint64>(reinterpret_cast<const uchar*>(r.constData()) + pos);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Local start time from a recording's name.
QDateTime nameTime(const QString& fileName) {
    const QString stamp = fileName.mid(4, 13);
    return QDateTime(QDate::fromString("20" + stamp.left(6), "yyyyMMdd"),
                     QTime::fromString(stamp.mid(7, 6), "HHmmss"), Qt::UTC);
}

QStringList mp4Files(const QString& dir) {
    QStringList files;
    QDirIterator it(dir, {"*.mp4"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    return files;
}

}  // namespace

class TestMakeCard : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_full;  // a small card of real video, written once
    static constexpr int kSeconds = 3;

    QString tool() const { return qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card"; }

    // Runs the generator; returns its exit code, its standard error and output
    // in *err and *out.
    int make(const QStringList& args, QString* err = nullptr, QString* out = nullptr) {
        QProcess p;
        p.start(tool(), args);
        if (!p.waitForFinished(100000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (err) {
            *err = QString::fromUtf8(p.readAllStandardError());
        }
        if (out) {
            *out = QString::fromUtf8(p.readAllStandardOutput());
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QString card(const QString& name, QStringList args) {
        const QString dir = m_dir.filePath(name);
        args.prepend(dir);
        args << "--quiet";
        QString err;
        const int rc = make(args, &err);
        if (rc != 0) {
            qWarning() << "orvin-make-card" << args << "failed:" << err;
            return QString();
        }
        return dir;
    }

    // Standard output of a program that must succeed.
    QByteArray run(const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            return QByteArray();
        }
        return p.readAllStandardOutput();
    }

    QJsonObject probe(const QString& file) {
        QProcess p;
        p.start("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", file});
        p.waitForFinished(30000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

    static QByteArray digest(const QString& dir) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext()) {
            files << it.next();
        }
        files.sort();
        for (const QString& f : files) {
            QFile file(f);
            file.open(QIODevice::ReadOnly);
            hash.addData(QDir(dir).relativeFilePath(f).toUtf8());
            hash.addData(file.readAll());
        }
        return hash.result().toHex();
    }

    static QVector<int> countTo(int n) {
        QVector<int> v(n);
        std::iota(v.begin(), v.end(), 0);
        return v;
    }

    // The number in the strip of sixteen blocks of each picture of a gray
    // decoding.
    static QVector<int> frameNumbers(const QByteArray& gray, int w, int h) {
        QVector<int> numbers;
        const int block = w / 32;
        const int top = h * 94 / 100 + (h * 6 / 100 - block / 2) / 2;
        for (int frame = 0; (frame + 1) * w * h <= gray.size(); ++frame) {
            const uchar* picture = reinterpret_cast<const uchar*>(gray.constData()) + frame * w * h;
            int number = 0;
            for (int bit = 0; bit < 16; ++bit) {
                const int x = w / 4 + bit * block + block / 2 - 1;
                number = number * 2 + (picture[(top + block / 4) * w + x] > 150 ? 1 : 0);
            }
            numbers << number;
        }
        return numbers;
    }

    QVector<int> frameNumbers(const QString& file, int w, int h) {
        return frameNumbers(run("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-f", "rawvideo",
                                           "-pix_fmt", "gray", "-"}),
                            w, h);
    }

    // Mean absolute change from one picture to the next in a patch of sky
    // that the test picture never redraws.
    static double stillAreaChange(const QByteArray& gray, int w, int h) {
        const int frames = gray.size() / (w * h);
        const auto* d = reinterpret_cast<const uchar*>(gray.constData());
        double sum = 0;
        qint64 count = 0;
        for (int f = 1; f < frames; ++f) {
            for (int y = h * 49 / 100; y < h * 54 / 100; ++y) {
                for (int x = w * 55 / 100; x < w * 80 / 100; ++x) {
                    const qint64 at = qint64(f) * w * h + qint64(y) * w + x;
                    sum += std::abs(int(d[at]) - int(d[at - w * h]));
                    ++count;
                }
            }
        }
        return count > 0 ? sum / count : 0;
    }

private Q_SLOTS:
    void initTestCase() {
        if (!QFileInfo::exists(tool())) {
            QSKIP("orvin-make-card not built");
        }
        if (QStandardPaths::findExecutable("ffprobe").isEmpty()) {
            QSKIP("ffprobe not installed");
        }
        m_full = card("full",
                      {"--recordings", "2", "--seconds", QString::number(kSeconds), "--front-size",
                       "640x360", "--rear-size", "320x240", "--gop", "15", "--seed", "3"});
        QVERIFY(!m_full.isEmpty());
    }

    void ffprobeReadsFrontAndRear() {
        const QStringList files = mp4Files(m_full);
        QCOMPARE(files.size(), 4);
        for (const QString& file : files) {
            const bool rear = file.endsWith("_2.mp4");
            const QJsonObject info = probe(file);
            const double duration = info["format"].toObject()["duration"].toString().toDouble();
            QVERIFY2(std::abs(duration - kSeconds) <= 1.0 / 30, qPrintable(file));
            const QJsonArray streams = info["streams"].toArray();
            const QJsonObject video = streams[0].toObject();
            QCOMPARE(video["codec_name"].toString(), QString("h264"));
            QCOMPARE(video["pix_fmt"].toString(), QString("yuv420p"));
            QCOMPARE(video["width"].toInt(), rear ? 320 : 640);
            QCOMPARE(video["nb_frames"].toString().toInt(), 30 * kSeconds);
            QVERIFY(std::abs(video["duration"].toString().toDouble() - kSeconds) <= 1.0 / 30);
            int audio = 0;
            for (const QJsonValue& s : streams) {
                if (s.toObject()["codec_type"].toString() == "audio") {
                    ++audio;
                    QCOMPARE(s.toObject()["codec_name"].toString(), QString("aac"));
                    QCOMPARE(s.toObject()["sample_rate"].toString(), QString("44100"));
                    QVERIFY(std::abs(s.toObject()["duration"].toString().toDouble() - kSeconds) <=
                            1.0 / 30);
                }
            }
            QCOMPARE(audio, rear ? 0 : 1);
        }
    }

    void ffmpegDecodesWithoutErrors() {
        for (const QString& file : mp4Files(m_full)) {
            QProcess p;
            p.start("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-f", "null", "-"});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        }
    }

    void boxLayoutForTheReader() {
        for (const QString& file : mp4Files(m_full)) {
            const bool rear = file.endsWith("_2.mp4");
            Mp4File mp4;
            QVERIFY(mp4.load(file));
            // Only the four top-level boxes the reader's repair leaves alone.
            QCOMPARE(mp4.topOrder(), QByteArray("ftyp usea mdat moov"));
            QCOMPARE(mp4.usea(), rear ? 1 : 0);
            QCOMPARE(mp4.tracks.size(), rear ? 2 : 3);
            const Track& video = mp4.tracks[0];
            QCOMPARE(video.entry, QByteArray("avc1"));
            QCOMPARE(video.sizes.size(), 30 * kSeconds);
            // A key frame every 15 frames, and only there.
            QVERIFY(video.hasSyncTable);
            QCOMPARE(video.syncSamples, QVector<quint32>({1, 16, 31, 46, 61, 76}));
            if (!rear) {
                QCOMPARE(mp4.tracks[1].handler, QByteArray("soun"));
                QCOMPARE(mp4.tracks[1].entry, QByteArray("mp4a"));
            }
            const Track& sensor = mp4.tracks.last();
            QCOMPARE(sensor.entry, QByteArray("gpmd"));
            QCOMPARE(sensor.offsets.size(), sensor.sizes.size());
            QVERIFY(std::all_of(sensor.samplesPerChunk.begin(), sensor.samplesPerChunk.end(),
                                [](quint32 n) { return n == 1; }));
            QCOMPARE(sensor.sizes.count(64), 10 * kSeconds);
            QCOMPARE(sensor.sizes.count(12), 10 * kSeconds / 60);
            QCOMPARE(sensor.sizes.count(64) + sensor.sizes.count(12), sensor.sizes.size());
            // Every sample of every track lies inside the media data.
            const Box mdat = mp4.top[2];
            for (const Track& t : mp4.tracks) {
                int s = 0;
                for (int c = 0; c < t.offsets.size(); ++c) {
                    quint32 end = t.offsets[c];
                    for (quint32 k = 0; k < t.samplesPerChunk[c]; ++k) {
                        end += t.sizes[s++];
                    }
                    QVERIFY(int(t.offsets[c]) >= mdat.body() && int(end) <= mdat.pos + mdat.size);
                }
                QCOMPARE(s, t.sizes.size());
            }
        }
    }

    void sensorRecordsMatchTheNames() {
        // GPS times are UTC: the names' local time minus the default nine hours.
        const QStringList fronts = mp4Files(m_full).filter("_1.mp4");
        QCOMPARE(fronts.size(), 2);
        for (const QString& file : fronts) {
            Mp4File mp4;
            QVERIFY(mp4.load(file));
            const QVector<QByteArray> samples = mp4.samples(mp4.tracks.last());
            QVector<QByteArray> records;
            for (const QByteArray& s : samples) {
                if (s.size() == 64) {
                    records << s;
                }
            }
            QCOMPARE(records.size(), 10 * kSeconds);
            const QDateTime utc = nameTime(QFileInfo(file).fileName()).addSecs(-9 * 3600);
            for (int i = 0; i < records.size(); i += 10) {
                const QByteArray& r = records[i];
                const QDateTime t(QDate(2000 + quint8(r[34]), quint8(r[35]), quint8(r[36])),
                                  QTime(quint8(r[37]), quint8(r[38]), quint8(r[39])), Qt::UTC);
                QCOMPARE(t, utc.addSecs(i / 10));
                // The first recording starts without a fix; then the position is in Tokyo.
                if (r[41] == 1) {
                    QVERIFY(std::abs(fromNmea(readDouble(r, 8)) - 35.68) < 0.1);
                    QVERIFY(std::abs(fromNmea(readDouble(r, 16)) - 139.76) < 0.1);
                } else {
                    QCOMPARE(int(r[41]), 0);
                    QVERIFY(file.contains("-000001_1"));
                }
            }
            // Vertical acceleration sits near 1 g without clamping at the top.
            int vertical = 0;
            for (const QByteArray& r : records) {
                vertical += qint8(r[53]);
            }
            vertical /= records.size();
            QVERIFY2(vertical >= 100 && vertical < 127, qPrintable(QString::number(vertical)));
        }
    }

    void systemFiles() {
        QFile cfg(m_full + "/__SYSTEM.CFG");
        QVERIFY(cfg.open(QIODevice::ReadOnly));
        const QByteArray record = cfg.readAll();
        QCOMPARE(record.size(), 96);
        QCOMPARE(record.left(7), QByteArray("VK7300\0", 7));
        QCOMPARE(record.mid(16, 6), QByteArray::fromHex("000302010103"));
        QCOMPARE(int(record[71]), 5);                                  // speed warning
        QCOMPARE(record.mid(73, 4), QByteArray::fromHex("004b0032"));  // 7.5 t, 5.0 m
        QCOMPARE(int(record[79]), 25);                                 // automatic time zone
        QCOMPARE(int(record[83]), 1);                                  // direction off
        QCOMPARE(record.mid(85), QByteArray(11, '\0'));
        QFile version(m_full + "/VERSION.TXT");
        QVERIFY(version.open(QIODevice::ReadOnly));
        QVERIFY(version.readAll().startsWith("VK7300 FW "));
    }

    void namesAndGroups() {
        QString out;
        const QString dir = m_dir.filePath("names");
        QCOMPARE(make({dir, "--tiny", "--recordings", "13", "--seconds", "30", "--quiet"}, nullptr,
                      &out),
                 0);
        QVERIFY(out.contains("recordings:"));
        static const QRegularExpression grammar(
            "^(NNF|NEF|PNF|PMF|PEF)_(\\d{6}-\\d{6})-(\\d{6})_([12])\\.mp4$");
        QMap<QString, int> groups;
        QList<QDateTime> starts;
        int number = 0;
        for (const QString& file : QDir(dir + "/DCIM").entryList({"*_1.mp4"}, QDir::Files)) {
            const QRegularExpressionMatch m = grammar.match(file);
            QVERIFY2(m.hasMatch(), qPrintable(file));
            QVERIFY(QFileInfo::exists(dir + "/DCIM/" + QString(file).replace("_1.mp4", "_2.mp4")));
            ++groups[m.captured(1)];
            number = std::max(number, m.captured(3).toInt());
            starts << nameTime(file);
        }
        // Consecutive recordings start the recording length apart.
        std::sort(starts.begin(), starts.end());
        for (int i = 1; i < starts.size(); ++i) {
            QCOMPARE(starts[i - 1].secsTo(starts[i]), 30);
        }
        QCOMPARE(number, 13);
        QCOMPARE(groups.keys(), QStringList({"NEF", "NNF", "PEF", "PMF", "PNF"}));
        QVERIFY(groups["NNF"] > groups["NEF"]);
        QCOMPARE(groups["NNF"] + groups["NEF"] + 3, 13);
    }

    void layouts() {
        const QString side = card("side", {"--tiny", "--recordings", "2", "--seconds", "10"});
        QVERIFY(!side.isEmpty());
        QCOMPARE(QDir(side + "/DCIM").entryList({"*_1.mp4"}).size(), 2);
        QCOMPARE(QDir(side + "/DCIM").entryList({"*_2.mp4"}).size(), 2);

        const QString folders = card(
            "folders", {"--tiny", "--recordings", "2", "--seconds", "10", "--layout", "folders"});
        QVERIFY(!folders.isEmpty());
        QCOMPARE(QDir(folders + "/DCIM").entryList({"*.mp4"}).size(), 0);
        QCOMPARE(QDir(folders + "/DCIM/1").entryList({"*.mp4"}),
                 QDir(folders + "/DCIM/1").entryList({"*_1.mp4"}));
        QCOMPARE(QDir(folders + "/DCIM/2").entryList({"*.mp4"}),
                 QDir(folders + "/DCIM/2").entryList({"*_2.mp4"}));
        QCOMPARE(QDir(folders + "/DCIM/1").entryList({"*.mp4"}).size(), 2);
        QCOMPARE(QDir(folders + "/DCIM/2").entryList({"*.mp4"}).size(), 2);

        const QString frontOnly = card("front-only", {"--tiny", "--recordings", "2", "--no-rear"});
        QCOMPARE(mp4Files(frontOnly).filter("_2.mp4").size(), 0);
    }

    void sameSeedSameBytes() {
        // Two workers against one: files must not depend on which worker
        // drew them or what it drew before.
        const QStringList args = {"--recordings", "2", "--seconds", "2", "--seed", "11"};
        const QString a = card("seed-a", args + QStringList{"--jobs", "2"});
        const QString b = card("seed-b", args + QStringList{"--jobs", "1"});
        const QString c = card("seed-c", {"--recordings", "2", "--seconds", "2", "--seed", "12"});
        QVERIFY(!a.isEmpty() && !b.isEmpty() && !c.isEmpty());
        QCOMPARE(digest(a), digest(b));
        QVERIFY(digest(a) != digest(c));

        const QStringList tiny = {"--tiny", "--recordings", "3", "--sensor", "type2"};
        QCOMPARE(digest(card("tiny-a", tiny)), digest(card("tiny-b", tiny)));

        // A fixed bit rate too, which x264 spreads over its frame threads by
        // their timing.
        const QStringList camera = {"--recordings", "1",         "--seconds", "1",
                                    "--no-rear",    "--profile", "camera"};
        QCOMPARE(digest(card("camera-a", camera)), digest(card("camera-b", camera)));
    }

    void twoTrackSensorLayout() {
        const QString dir = card("type2", {"--tiny", "--recordings", "2", "--seconds", "20",
                                           "--sensor", "type2", "--start", "2021-12-31 23:59:50"});
        QVERIFY(!dir.isEmpty());
        const QStringList files = mp4Files(dir);
        Mp4File rear;
        QVERIFY(rear.load(files.filter("000001_2").value(0)));
        QCOMPARE(rear.tracks.size(), 1);  // the layout's tracks are placed by position

        Mp4File front;
        QVERIFY(front.load(files.filter("000001_1").value(0)));
        QCOMPARE(front.tracks.size(), 4);
        const Track& gps = front.tracks[2];
        const Track& g = front.tracks[3];
        QCOMPARE(gps.sizes, QVector<quint32>(20, 32));
        QCOMPARE(g.sizes, QVector<quint32>(200, 14));
        QCOMPARE(gps.offsets.size(), gps.sizes.size());
        QCOMPARE(g.offsets.size(), g.sizes.size());
        // Years from 1900 and months from 0; UTC is nine hours behind the name.
        const QVector<QByteArray> records = front.samples(gps);
        const QByteArray last = records.last();
        QCOMPARE(int(quint8(last[22])), 121);
        QCOMPARE(int(quint8(last[23])), 11);
        QCOMPARE(int(last[24]), 31);
        QCOMPARE(int(last[25]), 15);
        QCOMPARE(int(last[27]), 9);
        int vertical = 0;
        for (const QByteArray& a : front.samples(g)) {
            vertical += qint8(a[5]);
        }
        vertical /= g.sizes.size();
        QVERIFY(vertical >= 100 && vertical < 127);
    }

    void tinyCardsAreSmallButComplete() {
        const QString dir = card("tiny", {"--tiny", "--recordings", "20", "--seconds", "60"});
        QVERIFY(!dir.isEmpty());
        const QStringList files = mp4Files(dir);
        QCOMPARE(files.size(), 40);
        for (const QString& file : files) {
            QVERIFY2(QFileInfo(file).size() < 120 * 1024, qPrintable(file));
        }
        Mp4File front;
        QVERIFY(front.load(files.filter("_1.mp4").first()));
        QCOMPARE(front.tracks[0].sizes.size(), 1800);
        QCOMPARE(front.tracks[0].syncSamples.size(), 60);
        // The same audio packets as a real encoder gives for 60 s.
        QCOMPARE(front.tracks[1].sizes.size(), 2585);
        QCOMPARE(front.tracks[2].sizes.count(64), 600);
        const double duration =
            probe(files.first())["format"].toObject()["duration"].toString().toDouble();
        QCOMPARE(duration, 60.0);
    }

    void burnedInFrameNumbers() {
        // The strip of sixteen blocks at the bottom holds each frame's number:
        // decoded frame n must show n, or the channels cannot be lined up.
        const QString front = mp4Files(m_full).filter("_1.mp4").first();
        QCOMPARE(frameNumbers(front, 640, 360), countTo(30 * kSeconds));
    }

    void bFramesKeepTheOrderAndTheStart() {
        // Pictures are stored in decoding order with composition offsets; an
        // edit list starts the video at 0. The simple profile has neither.
        const QString dir = card("bframes", {"--recordings", "1", "--seconds", "2", "--front-size",
                                             "640x360", "--no-rear", "--bframes", "2"});
        QVERIFY(!dir.isEmpty());
        const QString file = mp4Files(dir).first();
        const QJsonObject video = probe(file)["streams"].toArray()[0].toObject();
        QVERIFY(video["has_b_frames"].toInt() >= 1);
        QCOMPARE(video["start_time"].toString().toDouble(), 0.0);
        QCOMPARE(video["nb_frames"].toString().toInt(), 60);
        QVERIFY(std::abs(video["duration"].toString().toDouble() - 2) <= 1.0 / 30);
        QCOMPARE(frameNumbers(file, 640, 360), countTo(60));
        Mp4File mp4;
        QVERIFY(mp4.load(file));
        QVERIFY(mp4.moov().contains("ctts"));
        Mp4File simple;
        QVERIFY(simple.load(mp4Files(m_full).first()));
        QVERIFY(!simple.moov().contains("ctts"));
    }

    void cameraProfile() {
        // High profile with CABAC at a fixed rate, 1080p in both channels,
        // grain that changes every picture, and the frame numbers still
        // readable through it.
        const QString dir =
            card("camera", {"--recordings", "1", "--seconds", "2", "--profile", "camera"});
        QVERIFY(!dir.isEmpty());
        for (const QString& file : mp4Files(dir)) {
            const bool rear = file.endsWith("_2.mp4");
            const QJsonObject video = probe(file)["streams"].toArray()[0].toObject();
            QCOMPARE(video["profile"].toString(), QString("High"));
            QCOMPARE(video["width"].toInt(), 1920);
            QCOMPARE(video["height"].toInt(), 1080);
            QCOMPARE(video["has_b_frames"].toInt(), 0);
            const double target = rear ? 8e6 : 12e6;
            const double rate = video["bit_rate"].toString().toDouble();
            QVERIFY2(std::abs(rate - target) <= 0.2 * target,
                     qPrintable(QString("%1: %2 bit/s").arg(file).arg(rate)));
            Mp4File mp4;
            QVERIFY(mp4.load(file));
            QVERIFY2(mp4.cabac(), qPrintable(file));
            const QByteArray gray = run("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-f",
                                                   "rawvideo", "-pix_fmt", "gray", "-"});
            QCOMPARE(frameNumbers(gray, 1920, 1080), countTo(60));
            QVERIFY2(stillAreaChange(gray, 1920, 1080) > 0.3, qPrintable(file));
        }
        // The simple profile: the same area stands still, CAVLC.
        const QString front = mp4Files(m_full).filter("_1.mp4").first();
        const QByteArray gray = run("ffmpeg", {"-v", "error", "-nostdin", "-i", front, "-f",
                                               "rawvideo", "-pix_fmt", "gray", "-"});
        QVERIFY(stillAreaChange(gray, 640, 360) < 0.1);
        Mp4File simple;
        QVERIFY(simple.load(front));
        QVERIFY(!simple.cabac());
    }

    void beepsOnTheSecond() {
        // A beep starts every second; the encoder's priming must not shift it.
        const QString front = mp4Files(m_full).filter("_1.mp4").first();
        const QByteArray pcm = run("ffmpeg", {"-v", "error", "-nostdin", "-i", front, "-f", "s16le",
                                              "-ac", "1", "-ar", "44100", "-"});
        const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
        const int count = pcm.size() / 2;
        QVERIFY(std::abs(count - 44100 * kSeconds) <= 1024);
        for (int second = 0; second < kSeconds; ++second) {
            int onset = -1;
            for (int i = std::max(0, second * 44100 - 4000); i < count && onset < 0; ++i) {
                onset = std::abs(int(samples[i])) > 3000 ? i : -1;
            }
            QVERIFY2(std::abs(onset - second * 44100) < 441,
                     qPrintable(QString("second %1 beeps at sample %2").arg(second).arg(onset)));
        }
    }

    void driveRunsOnAcrossRecordings() {
        // Eight one-minute recordings: events brake hard, the parked ones stand
        // still, and each recording picks up where the one before ended.
        const QString dir = card("drive", {"--tiny", "--recordings", "8", "--seed", "5"});
        QVERIFY(!dir.isEmpty());
        QByteArray previous;
        bool sawFix = false;
        QStringList fronts = mp4Files(dir).filter("_1.mp4");
        std::sort(fronts.begin(), fronts.end(), [](const QString& a, const QString& b) {
            return nameTime(QFileInfo(a).fileName()) < nameTime(QFileInfo(b).fileName());
        });
        for (const QString& file : fronts) {
            Mp4File mp4;
            QVERIFY(mp4.load(file));
            QVector<QByteArray> records;
            for (const QByteArray& s : mp4.samples(mp4.tracks.last())) {
                if (s.size() == 64) {
                    records << s;
                }
            }
            QCOMPARE(records.size(), 600);
            const QString name = QFileInfo(file).fileName();
            int hardest = 0;
            int fastest = 0;
            for (const QByteArray& r : records) {
                hardest = std::min(hardest, int(qint8(r[51])));
                fastest = std::max(fastest, int(qFromLittleEndian<quint16>(r.constData() + 32)));
            }
            QVERIFY2(fastest <= 130, qPrintable(name));
            if (name.startsWith("NEF_")) {
                QVERIFY2(hardest < -64, qPrintable(name));  // harder than 0.5 g
            }
            if (name.startsWith("P")) {
                QCOMPARE(fastest, 0);
            }
            const QByteArray& first = records.first();
            if (!previous.isEmpty() && first.at(41) == 1 && previous.at(41) == 1) {
                sawFix = true;
                const double north =
                    (fromNmea(readDouble(first, 8)) - fromNmea(readDouble(previous, 8))) * 111320;
                const double east =
                    (fromNmea(readDouble(first, 16)) - fromNmea(readDouble(previous, 16))) *
                    111320 * std::cos(35.68 * M_PI / 180);
                QVERIFY2(std::hypot(north, east) < 50,
                         qPrintable(name));  // one second at 130 km/h is 36 m
            }
            previous = records[590];
        }
        QVERIFY(sawFix);
    }

    void fixGapIsATunnelInTheDrive() {
        // Two 20 s recordings; the fix goes at 25 s of the drive for 4 s.
        const QString dir =
            card("gap", {"--tiny", "--recordings", "2", "--seconds", "20", "--fix-gap", "25:4"});
        QVERIFY(!dir.isEmpty());
        QStringList fronts = mp4Files(dir).filter("_1.mp4");
        std::sort(fronts.begin(), fronts.end(), [](const QString& a, const QString& b) {
            return nameTime(QFileInfo(a).fileName()) < nameTime(QFileInfo(b).fileName());
        });
        QCOMPARE(fronts.size(), 2);
        Mp4File mp4;
        QVERIFY(mp4.load(fronts.last()));
        QString fixes;
        int record = 0;
        for (const QByteArray& s : mp4.samples(mp4.tracks.last())) {
            if (s.size() == 64 && record++ % 10 == 0) {
                fixes += QString::number(int(s.at(41)));
            }
        }
        QCOMPARE(fixes, QString("11111000011111111111"));
        QString err;
        QCOMPARE(make({m_dir.filePath("bad-gap"), "--fix-gap", "5"}, &err), 2);
        QVERIFY(err.contains("--fix-gap"));
        QCOMPARE(make({m_dir.filePath("bad-gap2"), "--fix-gap", "5:0"}, &err), 2);
    }

    void badInput() {
        QString err;
        QCOMPARE(make({m_dir.filePath("bad1"), "--layout", "sideways"}, &err), 2);
        QVERIFY(err.contains("--layout"));
        QCOMPARE(err.trimmed().count('\n'), 0);
        QCOMPARE(make({m_dir.filePath("bad2"), "--front-size", "641x360"}, &err), 2);
        QCOMPARE(make({m_dir.filePath("bad3"), "--start", "2024-02-30 10:00:00"}, &err), 2);
        QCOMPARE(make({}, &err), 2);
        QCOMPARE(make({m_dir.filePath("bad4"), "--profile", "phone"}, &err), 2);
        QCOMPARE(make({m_dir.filePath("bad5"), "--bframes", "5"}, &err), 2);
        // The camera profile has a fixed rate: a quality makes no sense there.
        QCOMPARE(make({m_dir.filePath("bad6"), "--profile", "camera", "--crf", "20"}, &err), 2);
        // A folder that already holds something is not written into.
        QCOMPARE(make({m_full, "--tiny"}, &err), 1);
        QVERIFY(err.contains("not empty"));
        QCOMPARE(mp4Files(m_full).size(), 4);
        // A card that cannot be written is one error line and no card.
        const QString blocked = m_dir.filePath("blocked");
        QFile(blocked).open(QIODevice::WriteOnly);
        QCOMPARE(make({blocked + "/card", "--tiny"}, &err), 1);
        QCOMPARE(err.trimmed().count('\n'), 0);
        QVERIFY(!QFileInfo::exists(blocked + "/card"));
    }

#ifdef ORVIN_HAVE_MOV_READER
    void theViewersReaderAgrees() {
        for (const QString& file : mp4Files(m_full)) {
            FILE* f = fopen(QFile::encodeName(file).constData(), "rb");
            QVERIFY(f);
            _AVIPreInfo info = {};
            QVERIFY(MOVFormat::duration(f, &info));
            QCOMPARE(info.durationMs, quint32(kSeconds * 1000));
            RMSensorData sensor(f, FILE_TYPE_MP4);
            sensor.clipWithDuration(info.durationMs);
            QCOMPARE(sensor.sensorCount, quint32(10 * kSeconds));
            QCOMPARE(sensor.gpsCount, quint32(kSeconds));
            fclose(f);
        }
        const QString dir = card(
            "reader2", {"--tiny", "--recordings", "2", "--seconds", "30", "--sensor", "type2"});
        for (const QString& file : mp4Files(dir).filter("_1.mp4")) {
            FILE* f = fopen(QFile::encodeName(file).constData(), "rb");
            QVERIFY(f);
            RMSensorData sensor(f, FILE_TYPE_MP4);
            fclose(f);
            QCOMPARE(sensor.sensorCount, 300u);
            QCOMPARE(sensor.gpsCount, 30u);
            QVERIFY(sensor.hasGPS);
            const RMGPSSample& last = sensor.gps[29];
            QCOMPARE(int(last.fixStatus), 1);
            QVERIFY(std::abs(last.latitude - 35.68) < 0.1);
            QCOMPARE(int(last.year), 2024);
        }
        // Rear files longer than five seconds are judged by their flag.
        const QString rear = mp4Files(dir).filter("_2.mp4").first();
        FILE* f = fopen(QFile::encodeName(rear).constData(), "rb");
        _AVIPreInfo info = {};
        QVERIFY(MOVFormat::movSize(f, &info));
        QCOMPARE(info.moviSize, 1000000000u);
        fclose(f);
    }
#endif
};

ORVIN_TEST_MAIN(TestMakeCard)
#include "test_make_card.moc"
