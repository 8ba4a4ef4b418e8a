// MP4 reader: durations against ffprobe, the size pass, the repair, both
// sensor-track layouts decoded end to end, and a corpus of damaged files that
// must give their empty results at once. Files are built here box by box.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <cstring>
#include <memory>

#include "mp4/mov_format.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_sensor_data.h"
#include "test_support.h"

namespace {

template <typename T>
QByteArray be(T v) {
    QByteArray b(sizeof v, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray box(const char* type, const QByteArray& body) {
    return be(quint32(8 + body.size())) + QByteArray(type, 4) + body;
}

QByteArray ftyp() {
    return box("ftyp", QByteArray("isom") + be(0x200u) + "isom");
}

// Media data starts after ftyp (20 bytes) and the mdat header.
constexpr quint32 kPayload = 28;

QByteArray mp4(const QByteArray& payload, const QByteArray& moovBody, const QByteArray& tail = {}) {
    return ftyp() + box("mdat", payload) + box("moov", moovBody) + tail;
}

QByteArray mvhd(quint32 timeScale, quint32 duration) {
    return box("mvhd", be(0u) + be(0u) + be(0u) + be(timeScale) + be(duration) + QByteArray(80, 0));
}

QByteArray table(const char* type, const QVector<quint32>& entries) {
    // "stsz" carries a constant sample size (0: sizes follow) before its count.
    QByteArray body = be(0u) + (type == QByteArray("stsz") ? be(0u) : QByteArray());
    body += be(quint32(entries.size()));
    for (quint32 e : entries) {
        body += be(e);
    }
    return box(type, body);
}

QByteArray track(const char* entry, const QByteArray& stsz, const QByteArray& stco,
                 const QByteArray& more = {}) {
    const QByteArray stsd = box("stsd", be(0u) + be(1u) + box(entry, QByteArray(8, 0)));
    return box("trak", box("mdia", box("minf", box("stbl", stsd + stsz + stco + more))));
}

QByteArray co64(const QVector<quint64>& offsets) {
    QByteArray body = be(0u) + be(quint32(offsets.size()));
    for (quint64 o : offsets) {
        body += be(o);
    }
    return box("co64", body);
}

// Sample-to-chunk entries: first chunk (from 1) and samples per chunk.
QByteArray stsc(const QVector<QPair<quint32, quint32>>& runs) {
    QByteArray body = be(0u) + be(quint32(runs.size()));
    for (const auto& run : runs) {
        body += be(run.first) + be(run.second) + be(1u);
    }
    return box("stsc", body);
}

// A compact sample size table of 4, 8 or 16-bit fields.
QByteArray stz2(int bits, const QVector<quint32>& sizes) {
    QByteArray body = be(0u) + QByteArray(3, 0) + char(bits) + be(quint32(sizes.size()));
    for (int i = 0; i < sizes.size(); ++i) {
        if (bits == 16) {
            body += be(quint16(sizes[i]));
        } else if (bits == 8) {
            body += char(sizes[i]);
        } else if (i % 2 == 0) {
            body += char((sizes[i] << 4) | (i + 1 < sizes.size() ? sizes[i + 1] : 0));
        }
    }
    return box("stz2", body);
}

bool hasEncoder(const QString& name) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-hide_banner", "-encoders"});
    return ffmpeg.waitForFinished(30000) && ffmpeg.readAllStandardOutput().contains(name.toUtf8());
}

// A track whose samples lie back to back from `offset`, one per chunk.
QByteArray track(const char* entry, const QByteArrayList& samples, quint32 offset) {
    QVector<quint32> sizes, offsets;
    for (const QByteArray& s : samples) {
        sizes << quint32(s.size());
        offsets << offset;
        offset += quint32(s.size());
    }
    return track(entry, table("stsz", sizes), table("stco", offsets));
}

using Stream = std::unique_ptr<FILE, int (*)(FILE*)>;

Stream open(const QString& path, const char* mode = "rb") {
    return Stream(fopen(QFile::encodeName(path).constData(), mode), fclose);
}

_AVIPreInfo durationOf(const QString& path) {
    _AVIPreInfo info = {};
    MOVFormat::duration(open(path).get(), &info);
    return info;
}

_AVIPreInfo sizeOf(const QString& path, bool* ok) {
    _AVIPreInfo info = {};
    *ok = MOVFormat::movSize(open(path).get(), &info);
    return info;
}

// Record u of the single-track layout: GPS in every tenth, sample 0 unfixed.
QByteArray record(int u) {
    // Built in a plain buffer: writing through QByteArray::data() trips a
    // false stringop-overflow warning in GCC 12.
    char r[64] = {};
    if (u % 10 == 0) {
        const int j = u / 10;
        qToLittleEndian(3540.5, r + 8);
        qToLittleEndian(13945.25, r + 16);
        qToLittleEndian<quint16>(quint16(30 + j), r + 32);
        const char when[] = {20, 1, 31, 23, 59, char(j % 60), 5, char(j == 0 ? 0 : 1)};
        memcpy(r + 34, when, sizeof when);
    }
    r[51] = char(u % 50);
    r[52] = char(-(u % 30));
    r[53] = char(64);
    return QByteArray(r, sizeof r);
}

}  // namespace

class TestMovFormat : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    int _files = 0;

    QString write(const QByteArray& bytes) {
        const QString path = _dir.filePath(QString("f%1.mp4").arg(++_files));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            return {};
        }
        f.close();
        // Seeds for the fuzz target, when asked for.
        const QString corpus = qEnvironmentVariable("ORVIN_CORPUS_DIR");
        if (!corpus.isEmpty()) {
            QFile::copy(path, corpus + QString("/mov_%1.mp4").arg(_files));
        }
        return path;
    }

private Q_SLOTS:
    void durationFromMovieHeader_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("ms");
        QTest::newRow("scale 1000") << mp4({}, mvhd(1000, 60000)) << 60000u;
        QTest::newRow("scale 90000") << mp4({}, mvhd(90000, 5400000)) << 60000u;
        QTest::newRow("truncates") << mp4({}, mvhd(3, 5)) << 1666u;
        const QByteArray v1 = box("mvhd", be(0x01000000u) + be(0ull) + be(0ull) + be(600u) +
                                              be(36000ull) + QByteArray(80, 0));
        QTest::newRow("version 1") << mp4({}, v1) << 60000u;
        const QByteArray body = mvhd(1000, 2500);
        QTest::newRow("64-bit moov size")
            << ftyp() + be(1u) + "moov" + be(16ull + quint64(body.size())) + body << 2500u;
    }
    void durationFromMovieHeader() {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, ms);
        const _AVIPreInfo info = durationOf(write(bytes));
        QVERIFY(info.found);
        QCOMPARE(info.durationMs, ms);
    }

    // Encoder output against ffprobe: the duration, the size pass against
    // the sum of the video packets, and a repair that must not happen.
    void agreesWithFfprobe_data() {
        QTest::addColumn<QString>("timescale");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("movflags");
        QTest::addColumn<QString>("codec");  // encoder, then the sample entry's tag
        for (const char* scale : {"1000", "90000", "12800", "44100"}) {
            for (bool audio : {false, true}) {
                for (bool fast : {false, true}) {
                    QTest::addRow("%s%s%s", scale, audio ? " aac" : "", fast ? " faststart" : "")
                        << QString(scale) << audio << QString(fast ? "+faststart" : "")
                        << QString("libx264");
                }
            }
        }
        // Short HEVC rear clips come with either sample entry.
        QTest::newRow("hevc hvc1") << "90000" << false << QString() << "libx265:hvc1";
        QTest::newRow("hevc hev1") << "1000" << true << QString() << "libx265:hev1";
        // Fragmented files keep most samples in "moof" boxes after the movie.
        QTest::newRow("fragmented") << "12800" << false << "frag_keyframe"
                                    << "libx264";
        QTest::newRow("fragmented aac") << "90000" << true << "frag_keyframe"
                                        << "libx264";
        QTest::newRow("fragmented empty moov") << "1000" << false << "frag_keyframe+empty_moov"
                                               << "libx264";
    }
    void agreesWithFfprobe() {
        QFETCH(QString, timescale);
        QFETCH(bool, audio);
        QFETCH(QString, movflags);
        QFETCH(QString, codec);
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
            QStandardPaths::findExecutable("ffprobe").isEmpty()) {
            QSKIP("ffmpeg or ffprobe not installed");
        }
        const QString encoder = codec.section(':', 0, 0);
        if (encoder != "libx264" && !hasEncoder(encoder)) {
            QSKIP("this ffmpeg has no HEVC encoder");
        }
        const bool fragmented = movflags.contains("frag");
        const QString path = _dir.filePath(QString("ff%1.mp4").arg(++_files));
        QStringList args{"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30"};
        if (audio) {
            args << "-f"
                 << "lavfi"
                 << "-i"
                 << "sine=sample_rate=44100"
                 << "-c:a"
                 << "aac";
        }
        args << "-t" << (audio ? "1.37" : (fragmented ? "3" : "2")) << "-c:v" << encoder
             << "-preset"
             << "ultrafast"
             << "-pix_fmt"
             << "yuv420p"
             << "-video_track_timescale" << timescale;
        if (encoder == "libx265") {
            args << "-tag:v" << codec.section(':', 1) << "-x265-params"
                 << "log-level=error";
        }
        if (fragmented) {
            args << "-g"
                 << "10";
        }
        if (!movflags.isEmpty()) {
            args << "-movflags" << movflags;
        }
        QCOMPARE(QProcess::execute("ffmpeg", args << path), 0);
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "format=duration:packet=size", "-of", "default=nw=1", path});
        QVERIFY(probe.waitForFinished(60000));
        double probed = -1;
        quint64 packetBytes = 0;
        for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
            if (line.startsWith("duration=")) {
                probed = line.mid(9).toDouble() * 1000.0;
            } else if (line.startsWith("size=")) {
                packetBytes += line.mid(5).toULongLong();
            }
        }
        QVERIFY(probed > 0);

        const _AVIPreInfo info = durationOf(path);
        QVERIFY2(qAbs(double(info.durationMs) - probed) <= 1.0,
                 qPrintable(QString("%1 vs %2").arg(info.durationMs).arg(probed)));
        bool ok = false;
        if (fragmented) {
            // Only the samples the movie box lists are summed.
            QVERIFY(quint64(sizeOf(path, &ok).moviSize) <= packetBytes);
        } else {
            QCOMPARE(quint64(sizeOf(path, &ok).moviSize), packetBytes);
            QVERIFY(ok);
        }

        // The encoder puts a "free" box before its media data, and fragments
        // after it; zeroing one would hide the rest of the file.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(!MOVFormat::fix(open(path, "r+b").get()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == before);
    }

    void sizePass() {
        const auto clip = [](quint32 ms, const QVector<quint32>& sizes) {
            return mvhd(1000, ms) + track("avc1", table("stsz", sizes), table("stco", {0, 0, 0}));
        };
        bool ok = false;
        _AVIPreInfo info = sizeOf(write(mp4({}, clip(3000, {1000, 2000, 500}))), &ok);
        QVERIFY(ok && info.moviFound);
        QCOMPARE(info.moviSize, 3500u);
        // A sum past 2^32 saturates instead of wrapping to a small size.
        info = sizeOf(write(mp4({}, clip(3000, {0xFFFFFFF0u, 0x20u}))), &ok);
        QVERIFY(ok);
        QCOMPARE(info.moviSize, 0xFFFFFFFFu);

        // Longer clips are judged by the camera's rear-video flag alone.
        info = sizeOf(write(mp4({}, clip(60000, {1}), box("usea", QByteArray(1, 1)))), &ok);
        QVERIFY(ok);
        QCOMPARE(info.moviSize, 1000000000u);
        info = sizeOf(write(mp4({}, clip(60000, {1}), box("usea", QByteArray(1, 0)))), &ok);
        QVERIFY(!ok && !info.moviFound);
        info = sizeOf(write(mp4({}, clip(60000, {1}))), &ok);
        QVERIFY(!ok && !info.moviFound && info.durationMs == 60000);
    }

    // Garbage is what cannot be a box: a type that is not four printable
    // characters, or a size past the end of the file. The undo line comes
    // first.
    void repairHidesOnlyGarbage_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<bool>("garbage");
        for (const char* type : {"free", "uuid", "udta", "meta", "moof", "mfra", "skip"}) {
            QTest::addRow("well-formed %s", type) << box(type, QByteArray(40, 'x')) << false;
        }
        QTest::newRow("type not printable")
            << be(48u) + QByteArray("\x01\xff\0z", 4) + QByteArray(40, 'x') << true;
        QTest::newRow("size past the end") << be(4096u) + "free" + QByteArray(40, 'x') << true;
        QTest::newRow("64-bit size past the end")
            << be(1u) + "moof" + be(quint64(1) << 33) + QByteArray(40, 'x') << true;
    }
    void repairHidesOnlyGarbage() {
        QFETCH(QByteArray, tail);
        QFETCH(bool, garbage);
        const QByteArray good = mp4(QByteArray(16, 'v'), mvhd(1000, 60000));
        const QString path = write(good + tail);
        const QString log = _dir.filePath(QString("report%1/repair.log").arg(_files));
        QCOMPARE(MOVFormat::fix(open(path, "r+b").get(), log, path), garbage);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray after = file.readAll();
        QCOMPARE(durationOf(path).durationMs, 60000u);
        if (!garbage) {
            QVERIFY(after == good + tail);
            QVERIFY(!QFile::exists(log));
            return;
        }
        QVERIFY(after == good + QByteArray(8, 0) + tail.mid(8));
        QFile undo(log);
        QVERIFY(undo.open(QIODevice::ReadOnly));
        const QString line = QString::fromUtf8(undo.readAll());
        QVERIFY2(line.contains(path) && line.contains(QString("offset=%1").arg(good.size())) &&
                     line.contains("original=" + tail.left(8).toHex()),
                 qPrintable(line));
        QVERIFY(!MOVFormat::fix(open(path, "r+b").get(), log, path));
    }

    // The one rule the list, the recovery offer and the command line share:
    // media data and no whole movie box.
    void cutOffRecordingsAreRecognised_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("cutOff");
        const QByteArray media = box("mdat", QByteArray(3000, 'v'));
        const QByteArray moov = box("moov", mvhd(1000, 60000));
        QTest::newRow("media of size 0")
            << ftyp() + be(0u) + "mdat" + QByteArray(3000, 'v') << true;
        QTest::newRow("media past the end")
            << ftyp() + be(900000u) + "mdat" + QByteArray(3000, 'v') << true;
        QTest::newRow("64-bit size 0")
            << ftyp() + be(1u) + "mdat" + be(0ull) + QByteArray(3000, 'v') << true;
        QTest::newRow("whole media, then media to the end")
            << ftyp() + media + be(0u) + "mdat" + QByteArray(3000, 'v') << true;
        QTest::newRow("whole media, no movie box") << ftyp() + media << true;
        QTest::newRow("movie box cut short") << ftyp() + media + moov.left(moov.size() - 3) << true;
        const QByteArray tracks =
            box("moov", mvhd(1000, 60000) + box("trak", QByteArray(200, 't')));
        QTest::newRow("movie box cut short after a whole movie header")
            << ftyp() + media + tracks.left(tracks.size() - 100) << true;
        QTest::newRow("movie box of size 0")
            << ftyp() + media + be(0u) + "moov" + mvhd(1000, 60000) << true;
        QTest::newRow("complete") << mp4(QByteArray(16, 'v'), mvhd(1000, 60000)) << false;
        QTest::newRow("movie box first, media to the end")
            << ftyp() + moov + be(0u) + "mdat" << false;
        QTest::newRow("no media") << ftyp() + box("free", QByteArray(10, 0)) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void cutOffRecordingsAreRecognised() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, cutOff);
        QCOMPARE(RMMp4Index::isCutOff(write(bytes)), cutOff);
    }

    // The top level of a file of millions of tiny boxes keeps only the
    // boxes that are used.
    void tinyBoxesCostNoMemory() {
        QByteArray bytes = ftyp();
        for (int i = 0; i < 200000; ++i) {
            bytes += be(8u) + "free";
        }
        bytes += box("mdat", QByteArray(100, 'v')) + be(8u) + "skip";
        RMMp4Index index;
        QVERIFY(index.open(write(bytes), false));
        QVERIFY(index.topLevel().size() <= 3);
        QVERIFY(index.isCutOff());
        QCOMPARE(index.mdat()->pos, qint64(ftyp().size() + 200000 * 8));
    }

    // One "gpmd" track of 64-byte records with a 12-byte placeholder after
    // every 59 records.
    void singleTrackSensorData() {
        QByteArrayList samples;
        for (int i = 0, u = 0; i < 600; ++i) {
            samples << (i % 60 == 59 ? QByteArray(12, char(0xEE)) : record(u++));
        }
        const QByteArray video = track("avc1", table("stsz", {}), table("stco", {}));
        Stream f = open(write(
            mp4(samples.join(), mvhd(1000, 59000) + video + track("gpmd", samples, kPayload))));
        RMSensorData data(f.get(), FILE_TYPE_MP4);
        QCOMPARE(data.sensorCount, 590u);
        QCOMPARE(data.gpsCount, 59u);
        QVERIFY(data.hasGPS);
        const RMGPSSample& s = data.gps[1];
        QCOMPARE(s.year, quint16(2020));
        QCOMPARE(s.second, quint8(1));
        QCOMPARE(s.speed, 31.0);
        QCOMPARE(s.gpsAux, quint8(5));
        QVERIFY(qAbs(s.latitude - 35.675) < 1e-12);
        QVERIFY(qAbs(s.longitude - (139.0 + 45.25 / 60.0)) < 1e-12);
        QCOMPARE(data.sensor[0], 0.0f);
        QCOMPARE(data.sensor[59 * 3], 1.0f / 128);       // across the placeholder
        QCOMPARE(data.sensor[30 * 3 + 1], 29.0f / 128);  // -29 to 0, read signed
        QCOMPARE(data.sensor[5 * 3 + 2], 0.0f);

        data.clipWithDuration(30500);
        data.fixGPS();
        QCOMPARE(data.sensorCount, 305u);
        QCOMPARE(data.gpsCount, 30u);
        QCOMPARE(data.gps[0].fixStatus, quint8(1));
        QCOMPARE(data.gps[0].second, quint8(1));
    }

    // Third track GPS (32 bytes), fourth track G-sensor (14 bytes); a "gpmd"
    // track among them does not matter once there are four tracks.
    void twoTrackSensorData() {
        QByteArrayList gSamples, gpsSamples;
        for (int i = 0; i < 25; ++i) {
            const char b[14] = {0, 0, 0, char(i), char(-2 * i), 100};
            gSamples << QByteArray(b, sizeof b);
        }
        for (int j = 0; j < 5; ++j) {
            QByteArray g(32, 0);
            qToLittleEndian(-3540.5, g.data());
            qToLittleEndian<qint32>(-7, g.data() + 16);
            qToLittleEndian<quint16>(quint16(88 + j), g.data() + 20);
            const char when[] = {120, 5, 9, 7, 30, char(j), 3, 1};
            memcpy(g.data() + 22, when, sizeof when);
            gpsSamples << g;
        }
        const QByteArray moov =
            mvhd(1000, 2500) + track("avc1", table("stsz", {}), table("stco", {})) +
            track("gpmd", QByteArrayList{record(0)}, 0u) +
            track("gps ", gpsSamples, kPayload + 25 * 14) + track("gsen", gSamples, kPayload);
        Stream f = open(write(mp4(gSamples.join() + gpsSamples.join(), moov)));
        MOVFormat reader(f.get(), READ_SENSOR, nullptr);
        QCOMPARE(reader.sensorRecordCount(), 25u);
        QCOMPARE(reader.gpsCount(), 3);  // five GPS samples, but three carriers
        QCOMPARE(qFromLittleEndian<qint64>(reader.sensorRecords() + 10 * 64 + 24), qint64(-7));

        RMSensorData data(f.get(), FILE_TYPE_MP4);
        QCOMPARE(data.sensorCount, 25u);
        QCOMPARE(data.gpsCount, 3u);
        const RMGPSSample& s = data.gps[1];
        QCOMPARE(s.year, quint16(2020));
        QCOMPARE(s.month, quint8(6));
        QCOMPARE(s.day, quint8(9));
        QCOMPARE(s.second, quint8(1));
        QCOMPARE(s.speed, 89.0);
        QCOMPARE(s.fixStatus, quint8(1));
        QCOMPARE(s.gpsAux, quint8(3));
        QVERIFY(qAbs(s.latitude + 35.675) < 1e-12);
        QCOMPARE(data.sensor[7 * 3], 1.0f / 128);
        QCOMPARE(data.sensor[7 * 3 + 1], -2.0f / 128);
    }

    // Sample tables as real cameras write them: several records per chunk,
    // compact or constant sizes, 64-bit chunk offsets.
    void sensorTablesOfRealCameras_data() {
        QTest::addColumn<QByteArray>("stbl");  // stsz or stz2, the chunk table, stsc
        QByteArrayList samples;
        QVector<quint32> sizes;
        for (int u = 0; u < 30; ++u) {
            samples << record(u);
            sizes << 64;
        }
        // Chunks of 4, 4, 4 samples, then of 9: 3 * 4 + 2 * 9 = 30.
        const QVector<quint32> chunks = {kPayload, kPayload + 256, kPayload + 512, kPayload + 768,
                                         kPayload + 768 + 576};
        const QByteArray runs = stsc({{1, 4}, {4, 9}});
        QTest::newRow("stsc") << table("stsz", sizes) + table("stco", chunks) + runs;
        QTest::newRow("stsc, constant size")
            << box("stsz", be(0u) + be(64u) + be(30u)) + table("stco", chunks) + runs;
        QTest::newRow("stsc, stz2 16-bit") << stz2(16, sizes) + table("stco", chunks) + runs;
        QTest::newRow("stsc, co64") << table("stsz", sizes) +
                                           co64({kPayload, kPayload + 256, kPayload + 512,
                                                 kPayload + 768, kPayload + 768 + 576}) +
                                           runs;
        QTest::newRow("one chunk for all")
            << stz2(8, sizes) + table("stco", {kPayload}) + stsc({{1, 30}});
    }
    void sensorTablesOfRealCameras() {
        QFETCH(QByteArray, stbl);
        QByteArrayList samples;
        for (int u = 0; u < 30; ++u) {
            samples << record(u);
        }
        const QByteArray stsd = box("stsd", be(0u) + be(1u) + box("gpmd", QByteArray(8, 0)));
        const QByteArray trak = box("trak", box("mdia", box("minf", box("stbl", stsd + stbl))));
        Stream f = open(write(mp4(samples.join(), mvhd(1000, 3000) + trak)));
        // The same records one per chunk, as the reader has always read them.
        Stream plain =
            open(write(mp4(samples.join(), mvhd(1000, 3000) + track("gpmd", samples, kPayload))));
        RMSensorData data(f.get(), FILE_TYPE_MP4);
        RMSensorData expected(plain.get(), FILE_TYPE_MP4);
        QCOMPARE(expected.sensorCount, 30u);
        QCOMPARE(data.sensorCount, 30u);
        QCOMPARE(data.gpsCount, expected.gpsCount);
        for (quint32 i = 0; i < 30 * 3; ++i) {
            QCOMPARE(data.sensor[i], expected.sensor[i]);
        }
        for (quint32 j = 0; j < data.gpsCount; ++j) {
            QCOMPARE(data.gps[j].second, expected.gps[j].second);
            QCOMPARE(data.gps[j].latitude, expected.gps[j].latitude);
        }
    }

    // A long recording: sensor records beyond 4 GB, reached through "co64"
    // (the file is sparse, so it takes no room).
    void offsetsAbove4GB() {
        const qint64 far = (qint64(5) << 30) + 123;
        QByteArrayList samples;
        for (int u = 0; u < 10; ++u) {
            samples << record(u);
        }
        const QByteArray payload = samples.join();
        const qint64 moovAt = far + payload.size();
        const QByteArray stsd = box("stsd", be(0u) + be(1u) + box("gpmd", QByteArray(8, 0)));
        const QByteArray stbl =
            stsd + table("stsz", QVector<quint32>(10, 64)) + co64({quint64(far)}) + stsc({{1, 10}});
        const QByteArray moov = box(
            "moov", mvhd(1000, 1000) + box("trak", box("mdia", box("minf", box("stbl", stbl)))));
        const QString path = _dir.filePath("sparse.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ftyp() + be(1u) + "mdat" + be(quint64(moovAt - 20)));
        QVERIFY(file.seek(far));
        file.write(payload);
        file.write(moov);
        file.close();
        QCOMPARE(durationOf(path).durationMs, 1000u);
        Stream f = open(path);
        MOVFormat reader(f.get(), READ_SENSOR, nullptr);
        QCOMPARE(reader.sensorRecordCount(), 10u);
        QVERIFY(memcmp(reader.sensorRecords(), payload.constData(), size_t(payload.size())) == 0);
        QFile::remove(path);
    }

    // Fragmented files: the length in "mehd", else the sum of the fragments.
    void fragmentedDuration() {
        const QByteArray mehd = box("mehd", be(0u) + be(42000u));
        const QByteArray mvex =
            box("mvex", mehd + box("trex", be(0u) + be(1u) + be(1u) + be(0u) + be(0u) + be(0u)));
        QCOMPARE(durationOf(write(mp4({}, mvhd(1000, 0) + mvex))).durationMs, 42000u);

        // No "mehd": track 1 at 90 kHz, one second in the movie box; two
        // fragments of 10 samples of 9000 ticks (default in "tfhd"), and one
        // with durations per sample.
        const QByteArray tkhd = box("tkhd", be(0u) + be(0u) + be(0u) + be(1u) + QByteArray(68, 0));
        const QByteArray mdhd =
            box("mdhd", be(0u) + be(0u) + be(0u) + be(90000u) + be(90000u) + be(0u));
        const QByteArray trak = box("trak", tkhd + box("mdia", mdhd));
        const QByteArray trex =
            box("mvex", box("trex", be(0u) + be(1u) + be(1u) + be(0u) + be(0u) + be(0u)));
        const auto fragment = [](bool perSample) {
            const QByteArray tfhd = box("tfhd", be(0x000008u) + be(1u) + be(9000u));
            QByteArray trun = be(perSample ? 0x000101u : 0x000001u) + be(10u) + be(0u);
            for (int i = 0; perSample && i < 10; ++i) {
                trun += be(18000u);
            }
            return box("moof",
                       box("mfhd", be(0u) + be(1u)) + box("traf", tfhd + box("trun", trun))) +
                   box("mdat", QByteArray(10, 0));
        };
        const QByteArray file = mp4({}, mvhd(1000, 1000) + trak + trex) + fragment(false) +
                                fragment(false) + fragment(true);
        QCOMPARE(durationOf(write(file)).durationMs, 1000u + 1000u + 1000u + 2000u);
    }

    // Every input the fuzzer was seeded with or ever crashed on: every pass
    // (on a copy, since the repair writes) must end at once without harm.
    void fuzzCorpusReplays() {
        const QString folder = QStringLiteral(ORVIN_TEST_DATA "/fuzz-corpus");
        const QFileInfoList inputs = QDir(folder).entryInfoList(QDir::Files);
        QVERIFY(inputs.size() >= 50);
        for (const QFileInfo& input : inputs) {
            const QString copy = _dir.filePath("replay.mp4");
            QFile::remove(copy);
            QVERIFY(QFile::copy(input.filePath(), copy));
            QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
            QElapsedTimer timer;
            timer.start();
            RMMp4Index::isCutOff(copy);
            Stream f = open(copy, "r+b");
            _AVIPreInfo info = {};
            MOVFormat::duration(f.get(), &info);
            info = {};
            MOVFormat::movSize(f.get(), &info);
            {
                RMSensorData data(f.get(), FILE_TYPE_MP4);
                data.clipWithDuration(info.durationMs);
                data.fixGPS();
            }
            if (MOVFormat::fix(f.get())) {
                info = {};
                MOVFormat::duration(f.get(), &info);
                RMSensorData again(f.get(), FILE_TYPE_MP4);
            }
            QVERIFY2(timer.elapsed() < 2000, qPrintable(input.fileName()));
        }
    }

    // Damaged files give their empty (or clamped) results at once, with
    // every pass run on each. Columns: duration and sensor record count.
    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("ms");
        QTest::addColumn<uint>("records");
        QTest::addColumn<bool>("sized");  // what the size pass returns
        const QByteArray head = mvhd(1000, 60000);
        const QByteArray good = mp4({}, head);
        const auto gpmd = [&](const QByteArray& stsz, const QByteArray& stco) {
            return mp4(QByteArray(64, 1), head + track("gpmd", stsz, stco));
        };
        QTest::newRow("empty") << QByteArray() << 0u << 0u << false;
        QTest::newRow("size 0") << ftyp() + be(0u) + "free" + box("moov", head) << 0u << 0u
                                << false;
        for (quint32 n = 2; n < 8; ++n) {
            QTest::addRow("size %u", n) << ftyp() + be(n) + "moov" + head << 0u << 0u << false;
        }
        QTest::newRow("64-bit size 8") << be(1u) + "moov" + be(8ull) + head << 0u << 0u << false;
        QTest::newRow("64-bit size past file")
            << be(1u) + "moov" + be(1ull << 40) + head << 60000u << 0u << false;
        QTest::newRow("cut in 64-bit header")
            << ftyp() + be(1u) + "moov" + be(0u) << 0u << 0u << false;
        QTest::newRow("cut in header")
            << good.left(good.size() - head.size() - 3) << 0u << 0u << false;
        QTest::newRow("cut in mvhd") << good.left(good.size() - 90) << 0u << 0u << false;
        // The time scale and duration would come from the next box if the
        // header were not cut to its parent.
        QTest::newRow("child larger than parent")
            << ftyp() + box("moov", be(1000u) + "mvhd" + head.mid(8, 12)) + be(1000u) + be(60000u) +
                   QByteArray(100, 0)
            << 0u << 0u << false;
        QTest::newRow("child larger than file")
            << ftyp() + box("moov", be(1000u) + "mvhd" + head.mid(8, 20)) << 60000u << 0u << false;
        QTest::newRow("mvhd time scale 0") << mp4({}, mvhd(0, 60000)) << 0u << 0u << false;
        QTest::newRow("mvhd version 1 cut short")
            << mp4({}, box("mvhd", be(0x01000000u) + be(0ull) + be(0ull) + be(1000u))) << 0u << 0u
            << false;
        QTest::newRow("4 GB box in 1 KB")
            << ftyp() + be(0xFFFFFFF0u) + "mdat" + QByteArray(1000, 0) + box("moov", head) << 0u
            << 0u << false;
        QByteArray nested = head;
        for (int i = 0; i < 20; ++i) {
            nested = box("trak", nested);
        }
        QTest::newRow("nested 20 deep") << mp4({}, head + nested) << 60000u << 0u << false;
        for (quint32 count : {0xFFFFFFFFu, 0x40000000u}) {
            const QByteArray stsz = box("stsz", be(0u) + be(0u) + be(count) + be(64u));
            QTest::addRow("stsz count %x", count)
                << gpmd(stsz, table("stco", {kPayload})) << 60000u << 0u << false;
            const QByteArray stco = box("stco", be(0u) + be(count) + be(kPayload));
            QTest::addRow("stco count %x", count)
                << gpmd(table("stsz", {64}), stco) << 60000u << 0u << false;
        }
        // Short clips: the size pass reads their video sample sizes.
        const auto clip = [&](const QByteArray& sizes) {
            return mp4({}, mvhd(1000, 3000) + track("hvc1", sizes, table("stco", {kPayload})));
        };
        QTest::newRow("short clip") << clip(table("stsz", {5, 7})) << 3000u << 0u << true;
        QTest::newRow("short clip, 4-bit stz2") << clip(stz2(4, {5, 7, 9})) << 3000u << 0u << true;
        QTest::newRow("short clip, stz2 field size 3")
            << clip(box("stz2", be(0u) + QByteArray(3, 0) + char(3) + be(2u) + be(0u))) << 3000u
            << 0u << false;
        QTest::newRow("short clip, stz2 count past box")
            << clip(box("stz2", be(0u) + QByteArray(3, 0) + char(16) + be(0x10000000u) + be(0u)))
            << 3000u << 0u << false;
        QTest::newRow("stsc count past box")
            << gpmd(table("stsz", {64}),
                    table("stco", {kPayload}) + box("stsc", be(0u) + be(0x40000000u) + be(1u)))
            << 60000u << 0u << false;
        QTest::newRow("stsc samples per chunk huge")
            << gpmd(table("stsz", {64, 64}), table("stco", {kPayload}) + stsc({{1, 0xFFFFFFFFu}}))
            << 60000u << 2u << false;
        QTest::newRow("trun count past box")
            << mp4({}, head + box("mvex", box("trex", be(0u) + be(1u) + QByteArray(16, 0)))) +
                   box("moof", box("traf", box("tfhd", be(0u) + be(1u)) +
                                               box("trun", be(0x100u) + be(0xFFFFFFFFu))))
            << 60000u << 0u << false;
        QTest::newRow("stsz and stco counts differ")
            << gpmd(table("stsz", {64, 64, 64, 64}), table("stco", {kPayload, kPayload})) << 60000u
            << 2u << false;
        QTest::newRow("chunk offsets past end")
            << gpmd(table("stsz", {64, 64}), table("stco", {0xFFFFFF00u, kPayload + 40})) << 60000u
            << 2u << false;
    }
    void damagedFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, ms);
        QFETCH(uint, records);
        QFETCH(bool, sized);
        const QString path = write(bytes);
        QElapsedTimer timer;
        timer.start();
        _AVIPreInfo info = {};
        QCOMPARE(MOVFormat::duration(open(path).get(), &info), ms != 0);
        QCOMPARE(info.durationMs, ms);
        bool ok = false;
        sizeOf(path, &ok);
        QCOMPARE(ok, sized);
        Stream f = open(path, "r+b");
        RMSensorData data(f.get(), FILE_TYPE_MP4);
        QCOMPARE(data.sensorCount, records);
        QVERIFY(!data.hasGPS && !data.gps);
        QVERIFY(!MOVFormat::fix(f.get()));
        QVERIFY(timer.elapsed() < 2000);
    }
};

ORVIN_CORE_TEST_MAIN(TestMovFormat)
#include "test_mov_format.moc"
