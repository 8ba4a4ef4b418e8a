// Recovery of recordings cut off by a power loss. Fixtures are recordings
// of the project's card generator with real encoding at a small size; a cut
// file is the first N bytes of a finished one with the media data's size
// zeroed, which is what the camera leaves. Every case checks the output with
// ffprobe and ffmpeg, frame by frame against the original, and the sensor
// records through the viewer's own reader.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "mp4/mov_format.h"
#include "mp4/rm_aac_sizer.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_key_frame_check.h"
#include "mp4/rm_mp4_index.h"
#include "mp4/rm_nal_scanner.h"
#include "recordings/rm_video_item_2ch.h"
#include "recovery/rm_last_group.h"
#include "recovery/rm_last_group_guess.h"
#include "recovery/rm_recover_moov.h"
#include "recovery/rm_recover_output.h"
#include "recovery/rm_recover_walker.h"
#include "recovery/rm_recovery.h"
#include "test_support.h"

namespace {

QString bin(const QString& name) {
    return qEnvironmentVariable("ORVIN_BIN_DIR") + "/" + name;
}

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    Run r;
    if (p.waitForFinished(120000)) {
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray sha256(const QString& path) {
    return QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256);
}

// Whether the system holds any page of the file in memory.
bool resident(int fd, qint64 size) {
    void* map = ::mmap(nullptr, size_t(size), PROT_NONE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        return true;
    }
    std::vector<unsigned char> pages(size_t((size + 4095) / 4096) + 1);
    bool any = ::mincore(map, size_t(size), pages.data()) != 0;
    for (unsigned char page : pages) {
        any = any || (page & 1);
    }
    ::munmap(map, size_t(size));
    return any;
}

// The video frames' hashes as ffmpeg decodes them.
QStringList frameHashes(const QString& path) {
    const Run r =
        run("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-f", "framemd5", "-"});
    QStringList hashes;
    for (const QByteArray& line : r.out.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#')) {
            hashes << QString::fromLatin1(line.split(',').last().trimmed());
        }
    }
    return hashes;
}

// The 64-byte records the viewer's reader extracts.
QByteArray sensorRecords(const QString& path) {
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!f) {
        return QByteArray();
    }
    QByteArray records;
    {
        MOVFormat reader(f, READ_SENSOR, nullptr);
        if (reader.sensorRecords()) {
            records = QByteArray(reinterpret_cast<const char*>(reader.sensorRecords()),
                                 int(reader.sensorRecordCount()) * MOVFormat::kRecordSize);
        }
    }
    std::fclose(f);
    return records;
}

quint32 durationMs(const QString& path) {
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "rb");
    _AVIPreInfo info = {};
    if (f) {
        MOVFormat::duration(f, &info);
        std::fclose(f);
    }
    return info.durationMs;
}

// Samples of a track that end at or before `cut`.
int wholeBefore(const RMMp4Index::Track& t, qint64 cut) {
    int n = 0;
    for (size_t i = 0; i < t.sizes.size(); ++i) {
        n += qint64(t.offsets[i] + t.sizes[i]) <= cut ? 1 : 0;
    }
    return n;
}

const RMMp4Index::Track* trackOf(const RMMp4Index& index, RMMp4Index::Kind kind) {
    for (const RMMp4Index::Track& t : index.tracks()) {
        if (t.kind == kind) {
            return &t;
        }
    }
    return nullptr;
}

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray box(const char* type, const QByteArray& body) {
    return be32(quint32(8 + body.size())) + QByteArray(type, 4) + body;
}

// A full box: version 0, no flags.
QByteArray full(const char* type, const QByteArray& body) {
    return box(type, be32(0) + body);
}

// The box of `type` at the top level of `bytes`, whole.
QByteArray topBox(const QByteArray& bytes, const char* type) {
    for (int pos = 0; pos + 8 <= bytes.size();) {
        const quint32 size = qFromBigEndian<quint32>(bytes.constData() + pos);
        if (bytes.mid(pos + 4, 4) == type) {
            return bytes.mid(pos, int(size));
        }
        if (size < 8) {
            break;
        }
        pos += int(size);
    }
    return QByteArray();
}

// A movie box of one video track whose "stsz" gives `count` samples of one
// constant size, and whose other tables agree.
QByteArray constantSizeMovie(quint32 count) {
    const QByteArray entry = box("avc1", QByteArray(78, '\0') + box("avcC", QByteArray(8, '\0')));
    const QByteArray stbl =
        box("stbl", full("stsd", be32(1) + entry) + full("stts", be32(1) + be32(count) + be32(1)) +
                        full("stsc", be32(1) + be32(1) + be32(count) + be32(1)) +
                        full("stsz", be32(1) + be32(count)) + full("stco", be32(1) + be32(64)));
    const QByteArray mdia =
        box("mdia", full("mdhd", QByteArray(8, '\0') + be32(1000) + be32(count) + be32(0)) +
                        full("hdlr", be32(0) + "vide" + QByteArray(13, '\0')) + box("minf", stbl));
    return box("moov",
               full("mvhd", QByteArray(8, '\0') + be32(1000) + be32(count) + QByteArray(80, '\0')) +
                   box("trak", mdia));
}

enum CutKind { CUT_RANDOM, CUT_BOUNDARY, CUT_PREFIX, CUT_SOUND, CUT_SENSOR, CUT_STALE, CUT_ZEROS };

}  // namespace

Q_DECLARE_METATYPE(CutKind)

class TestRecover : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    QString _type1;  // cards with the two sensor layouts
    QString _type2;

    QString card(const QString& layout) const { return layout == "type1" ? _type1 : _type2; }

    // The recordings of a card with the given channel suffix, in name order.
    QStringList files(const QString& card, const QString& channel) const {
        QStringList out;
        const QDir dir(card + "/DCIM");
        for (const QString& name :
             dir.entryList({"*" + channel + ".mp4"}, QDir::Files, QDir::Name)) {
            out << dir.filePath(name);
        }
        return out;
    }

    // A recording of another make, made once: HEVC pictures and AAC sound
    // as FFmpeg writes them (the sound first in the media data, no sensor
    // tracks). Empty when FFmpeg cannot encode HEVC here.
    QString hevc() const {
        const QString path = _dir.filePath("hevc/NNF_240517-090000-000001_1.mp4");
        if (QFileInfo::exists(path)) {
            return path;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        const Run made = run("ffmpeg", {"-v",
                                        "error",
                                        "-y",
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "testsrc2=size=320x240:rate=30:duration=4",
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "sine=frequency=880:duration=4",
                                        "-c:v",
                                        "libx265",
                                        "-x265-params",
                                        "bframes=0:keyint=30:log-level=error",
                                        "-tag:v",
                                        "hvc1",
                                        "-c:a",
                                        "aac",
                                        "-shortest",
                                        path});
        return made.code == 0 ? path : QString();
    }

    // Writes the first `cut` bytes of `source` with the media data's size
    // zeroed, then `tail`.
    static bool makeCut(const QString& source, const QString& target, qint64 cut,
                        const QByteArray& tail) {
        RMMp4Index index;
        if (!index.open(source) || !index.mdat()) {
            return false;
        }
        QByteArray bytes = readAll(source).left(int(cut));
        const qint64 at = index.mdat()->pos;
        for (int i = 0; i < 4; ++i) {
            bytes[int(at) + i] = 0;
        }
        return writeAll(target, bytes + tail);
    }

    // Recovers `cutPath` (the first `cut` bytes of `source`, perhaps with a
    // tail) and checks the result against the original.
    void verifyRecovered(const QString& source, const QString& reference, const QString& cutPath,
                         qint64 cut, bool tail, const QString& outFolder) {
        RMMp4Index original;
        QVERIFY(original.open(source));
        const RMMp4Index::Track* video = trackOf(original, RMMp4Index::KIND_VIDEO);
        const RMMp4Index::Track* audio = trackOf(original, RMMp4Index::KIND_AUDIO);
        const RMMp4Index::Track* sensor = trackOf(original, RMMp4Index::KIND_SENSOR);
        const QByteArray before = sha256(cutPath);

        RMRecovery recovery;
        const RMRecovery::Result r = recovery.recover(cutPath, reference, outFolder, false);
        QVERIFY2(r.recovered, qPrintable(r.message));
        QCOMPARE(sha256(cutPath), before);
        const QString out = r.output;
        QCOMPARE(out, QDir(outFolder).filePath(QFileInfo(source).fileName()));

        const Run probe = run("ffprobe", {"-v", "error", "-show_format", "-show_streams", out});
        QVERIFY2(probe.code == 0 && probe.err.isEmpty(), probe.err.constData());
        const Run decode = run("ffmpeg", {"-v", "error", "-xerror", "-i", out, "-f", "null", "-"});
        QVERIFY2(decode.code == 0 && decode.err.isEmpty(), decode.err.constData());

        // Every picture written whole before the cut, identical.
        const int frames = wholeBefore(*video, cut);
        QCOMPARE(r.videoFrames, frames);
        const QStringList got = frameHashes(out);
        QCOMPARE(got, frameHashes(source).mid(0, frames));
        // At most one sound frame lost at the cut.
        RMMp4Index recovered;
        QVERIFY(recovered.open(out));
        if (audio) {
            const int whole = wholeBefore(*audio, cut);
            const int kept = int(trackOf(recovered, RMMp4Index::KIND_AUDIO)->sizes.size());
            QVERIFY2(kept <= whole && kept >= whole - 1,
                     qPrintable(QString("%1 of %2 sound frames").arg(kept).arg(whole)));
        }
        // The sensor records as the viewer reads them: the original's, in
        // order, all of them but the one a tail may hide.
        const QByteArray records = sensorRecords(out);
        const QByteArray expected = sensorRecords(source);
        QCOMPARE(records, expected.left(records.size()));
        if (sensor) {
            int whole = 0;
            for (const RMMp4Index::Track& t : original.tracks()) {
                if (t.kind == RMMp4Index::KIND_SENSOR && t.format != RMMp4Index::fourcc("gpsr")) {
                    for (size_t i = 0; i < t.sizes.size(); ++i) {
                        whole += t.sizes[i] != 12 && qint64(t.offsets[i] + t.sizes[i]) <= cut;
                    }
                }
            }
            const int kept = records.size() / MOVFormat::kRecordSize;
            QVERIFY2(kept >= whole - (tail ? 1 : 0) && kept <= whole,
                     qPrintable(QString("%1 of %2 sensor records").arg(kept).arg(whole)));
        }
        // The duration is that of the pictures.
        const double frameMs = 1000.0 / 30;
        QVERIFY2(qAbs(durationMs(out) - frames * frameMs) <= frameMs,
                 qPrintable(QString("%1 ms for %2 frames").arg(durationMs(out)).arg(frames)));
    }

private slots:
    void initTestCase() {
        QVERIFY(_dir.isValid());
        // ORVIN_RECOVER_KEEP=1 keeps the files for a closer look.
        _dir.setAutoRemove(!qEnvironmentVariableIsSet("ORVIN_RECOVER_KEEP"));
        _type1 = _dir.filePath("type1");
        _type2 = _dir.filePath("type2");
        for (const QString& layout : {QString("type1"), QString("type2")}) {
            const Run r = run(bin("orvin-make-card"),
                              {card(layout), "--quiet", "--recordings", "3", "--seconds", "4",
                               "--front-size", "320x240", "--rear-size", "192x128", "--seed",
                               layout == "type1" ? "7" : "8", "--sensor", layout, "--jobs", "1"});
            QVERIFY2(r.code == 0, r.err.constData());
        }
    }

    // On every healthy file the walker finds exactly the samples its index
    // lists: the same sizes at the same offsets, track by track.
    void rebuildsHealthyTables_data() {
        QTest::addColumn<QString>("path");
        for (const QString& layout : {QString("type1"), QString("type2")}) {
            for (const QString& channel : {QString("_1"), QString("_2")}) {
                for (const QString& path : files(card(layout), channel)) {
                    QTest::newRow(qPrintable(layout + "/" + QFileInfo(path).fileName())) << path;
                }
            }
        }
    }
    void rebuildsHealthyTables() {
        QFETCH(QString, path);
        RMMp4Index index;
        QVERIFY(index.open(path));
        QVERIFY(index.isComplete());
        RMRecoverWalker walker;
        QString error;
        QVERIFY2(walker.setReference(index, &error), qPrintable(error));
        RMFileWindow file;
        QVERIFY(file.open(path));
        const RMMp4Index::Box* mdat = index.mdat();
        walker.walk(file, mdat->pos + mdat->header, mdat->pos + mdat->size);
        QCOMPARE(int(walker.stop()), int(RMRecoverWalker::STOP_END_OF_FILE));
        for (int t = 0; t < walker.trackCount(); ++t) {
            const RMMp4Index::Track& expected = index.tracks()[size_t(t)];
            const auto& got = walker.samples(t);
            QCOMPARE(got.size(), expected.sizes.size());
            for (size_t i = 0; i < got.size(); ++i) {
                QCOMPARE(got[i].size, expected.sizes[i]);
                QCOMPARE(quint64(got[i].offset), expected.offsets[i]);
                QCOMPARE(got[i].key, bool(expected.sync[i]));
            }
        }
    }

    // A walk through data the system holds in memory reads little more
    // than the samples' headers; through data still on the device (a
    // card), whole windows, so that the device sees few large reads.
    // Either way it finds every sample.
    void readsWhatTheWalkNeeds() {
        const QString path = _dir.filePath("sparse/NNF_240517-150000-000001_1.mp4");
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        const Run made = run(
            "ffmpeg",
            {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=2",
             "-vf", "noise=alls=80:allf=t", "-c:v", "libx264", "-bf", "0", "-crf", "8", path});
        QVERIFY2(made.code == 0, made.err.constData());
        RMMp4Index index;
        QVERIFY(index.open(path));
        const RMMp4Index::Box* mdat = index.mdat();
        QVERIFY(mdat->size > 2 * RMFileWindow::kWindow);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        for (const bool held : {true, false}) {
            if (!held) {
                ::fsync(fd);
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                if (resident(fd, QFileInfo(path).size())) {
                    ::close(fd);
                    QSKIP("the system keeps this file in memory");
                }
            }
            RMRecoverWalker walker;
            QString error;
            QVERIFY(walker.setReference(index, &error));
            RMFileWindow file;
            QVERIFY(file.open(path));
            walker.walk(file, mdat->pos + mdat->header, mdat->pos + mdat->size);
            QCOMPARE(walker.samples(0).size(), index.tracks()[0].sizes.size());
            QCOMPARE(quint64(walker.samples(0).back().offset), index.tracks()[0].offsets.back());
            QVERIFY2((file.bytesRead() < mdat->size / 2) == held,
                     qPrintable(QString("%1 of %2 bytes").arg(file.bytesRead()).arg(mdat->size)));
        }
        ::close(fd);
    }

    void recoversCuts_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<CutKind>("kind");
        QTest::addColumn<int>("seed");
        const struct {
            const char* name;
            CutKind kind;
        } kinds[] = {{"random", CUT_RANDOM},  {"boundary", CUT_BOUNDARY}, {"prefix", CUT_PREFIX},
                     {"sound", CUT_SOUND},    {"sensor", CUT_SENSOR},     {"stale tail", CUT_STALE},
                     {"zero tail", CUT_ZEROS}};
        // ORVIN_RECOVER_REPEATS=N runs every case N times with other seeds.
        const int repeats = qMax(1, qEnvironmentVariableIntValue("ORVIN_RECOVER_REPEATS"));
        int seed = 1;
        for (const QString& layout : {QString("type1"), QString("type2")}) {
            for (const QString& channel : {QString("_1"), QString("_2")}) {
                for (const auto& k : kinds) {
                    const bool rear = channel == "_2";
                    if ((k.kind == CUT_SOUND && rear) ||
                        (k.kind == CUT_SENSOR && rear && layout == "type2")) {
                        continue;  // rear files have no sound; type2 rear files no sensors
                    }
                    for (int repeat = 0; repeat < (k.kind == CUT_RANDOM ? 3 : 1) * repeats;
                         ++repeat) {
                        QTest::newRow(qPrintable(QString("%1 %2 %3 #%4")
                                                     .arg(layout, rear ? "rear" : "front", k.name)
                                                     .arg(seed)))
                            << layout << channel << k.kind << seed;
                        ++seed;
                    }
                }
            }
        }
    }
    void recoversCuts() {
        QFETCH(QString, layout);
        QFETCH(QString, channel);
        QFETCH(CutKind, kind);
        QFETCH(int, seed);
        QRandomGenerator random{quint32(seed)};
        const QStringList all = files(card(layout), channel);
        const QString source = all.at(1 + int(random.bounded(quint32(all.size() - 1))));
        RMMp4Index original;
        QVERIFY(original.open(source));
        const RMMp4Index::Box* mdat = original.mdat();
        const qint64 body = mdat->pos + mdat->header;
        const qint64 mdatEnd = mdat->pos + mdat->size;
        const RMMp4Index::Track* video = trackOf(original, RMMp4Index::KIND_VIDEO);
        const RMMp4Index::Track* audio = trackOf(original, RMMp4Index::KIND_AUDIO);
        const RMMp4Index::Track* sensor = trackOf(original, RMMp4Index::KIND_SENSOR);
        // Cut somewhere after the first key frames.
        const qint64 low = body + (mdatEnd - body) / 5;
        qint64 cut = low + qint64(random.generate64() % quint64(mdatEnd - low));
        auto sampleAfter = [&](const RMMp4Index::Track& t) {
            size_t i = 0;
            while (i + 1 < t.offsets.size() && qint64(t.offsets[i]) < cut) {
                ++i;
            }
            return i;
        };
        QByteArray tail;
        switch (kind) {
            case CUT_BOUNDARY:
                cut = qint64(video->offsets[sampleAfter(*video)]);
                break;
            case CUT_PREFIX:
                cut = qint64(video->offsets[sampleAfter(*video)]) + 1;
                break;
            case CUT_SOUND: {
                const size_t i = sampleAfter(*audio);
                cut = qint64(audio->offsets[i]) + audio->sizes[i] / 2;
                break;
            }
            case CUT_SENSOR: {
                const size_t i = sampleAfter(*sensor);
                cut = qint64(sensor->offsets[i]) + sensor->sizes[i] / 2;
                break;
            }
            case CUT_STALE: {
                // Bytes of another recording, as a reused cluster holds them.
                const QByteArray other = readAll(all.at(0));
                const int from = 4096 + int(random.bounded(quint32(other.size() / 2)));
                tail = other.mid(from, 40000);
                break;
            }
            case CUT_ZEROS:
                tail = QByteArray(40000, '\0');
                break;
            default:
                break;
        }
        const QString cutPath =
            _dir.filePath("cut" + QString::number(seed)) + "/" + QFileInfo(source).fileName();
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(source, cutPath, cut, tail));
        qInfo("%s cut at %lld of %s", qPrintable(cutPath), cut, qPrintable(source));
        QVERIFY(RMRecovery::isCutOff(cutPath));
        verifyRecovered(source, all.at(0), cutPath, cut, !tail.isEmpty(),
                        _dir.filePath("out" + QString::number(seed)));
    }

    // Recordings of another make (hevc()) are recovered as well.
    void recoversHevc() {
        const QString source = hevc();
        if (source.isEmpty()) {
            QSKIP("ffmpeg cannot encode HEVC here");
        }
        RMMp4Index original;
        QVERIFY(original.open(source));
        const qint64 body = original.mdat()->pos + original.mdat()->header;
        const qint64 length = original.mdat()->size - original.mdat()->header;
        QRandomGenerator random{42};
        for (int i = 0; i < 3; ++i) {
            const qint64 cut = body + length / 5 + qint64(random.bounded(quint32(length * 4 / 5)));
            const QString cutPath =
                _dir.filePath("hevc-cut%1/%2").arg(i).arg(QFileInfo(source).fileName());
            QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
            QVERIFY(makeCut(source, cutPath, cut, {}));
            verifyRecovered(source, source, cutPath, cut, false,
                            _dir.filePath("hevc-out%1").arg(i));
            if (QTest::currentTestFailed()) {
                return;
            }
        }
    }

    // A reference whose pictures are reordered (B-frames) is refused.
    void refusesReorderedPictures() {
        const QString source = _dir.filePath("bframes/NNF_240517-100000-000001_1.mp4");
        QVERIFY(QDir().mkpath(QFileInfo(source).absolutePath()));
        const Run made = run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc2=size=160x120:rate=30:duration=2", "-c:v",
                                        "libx264", "-bf", "2", source});
        QVERIFY2(made.code == 0, made.err.constData());
        const QString cutPath = _dir.filePath("bframes-cut/" + QFileInfo(source).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(source, cutPath, QFileInfo(source).size() / 2, {}));
        RMRecovery recovery;
        const RMRecovery::Result r =
            recovery.recover(cutPath, source, _dir.filePath("bframes-out"), false);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("B-frames"), qPrintable(r.message));
    }

    // The media data's size goes into its header; beyond 4 GiB with 64 bits,
    // taking the room from a free box before it, or not at all.
    void writesTheMediaHeader() {
        const quint32 mdat = RMMp4Index::fourcc("mdat");
        const quint32 free = RMMp4Index::fourcc("free");
        const qint64 big = 5LL << 30;
        std::vector<RMRecovery::Patch> p;

        QVERIFY(RMRecovery::mediaHeader({{RMMp4Index::fourcc("ftyp"), 0, 32, 8}, {mdat, 32, 0, 8}},
                                        1000, &p));
        QCOMPARE(p.size(), size_t(1));
        QCOMPARE(p[0].pos, qint64(32));
        QCOMPARE(p[0].bytes, QByteArray::fromHex("000003c86d646174"));

        QVERIFY(!RMRecovery::mediaHeader(
            {{RMMp4Index::fourcc("usea"), 16, 16, 8}, {mdat, 32, 0, 8}}, big, &p));

        QVERIFY(RMRecovery::mediaHeader({{free, 24, 8, 8}, {mdat, 32, 0, 8}}, big, &p));
        QCOMPARE(p.size(), size_t(1));
        QCOMPARE(p[0].pos, qint64(24));
        // Size 1, "mdat", then 5 GiB - 32 + 8 in 64 bits.
        QCOMPARE(p[0].bytes, QByteArray::fromHex("000000016d646174000000013fffffe8"));

        QVERIFY(RMRecovery::mediaHeader({{free, 16, 16, 8}, {mdat, 32, 0, 8}}, big, &p));
        QCOMPARE(p.size(), size_t(2));
        QCOMPARE(p[0].pos, qint64(16));
        QCOMPARE(p[0].bytes, QByteArray::fromHex("00000008"));
        QCOMPARE(p[1].pos, qint64(24));

        QVERIFY(RMRecovery::mediaHeader({{mdat, 32, 0, 16}}, 2000, &p));
        QCOMPARE(p[0].bytes, QByteArray::fromHex("000000016d64617400000000000007b0"));
    }

    // Inputs the fuzzer or a review found troublesome (a reference and a
    // cut-off file, the first four bytes giving the reference's length): each
    // comes to its own end quickly, the one it was kept for.
    void fuzzFindings_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("outcome");
        // A constant sample size whose count times the size overflowed.
        QTest::newRow("constant size") << "constant-size-overflow.bin"
                                       << "reference refused";
        // Sensor cycles that made the walk back out for minutes.
        QTest::newRow("slow cycles") << "slow-cycles.bin"
                                     << "walked";
        // A sound description nested 150,000 deep overflowed the stack.
        QTest::newRow("deep esds") << "deep-esds.bin"
                                   << "the reference's sound is not AAC";
        // 20,000 tiny top-level boxes before the media data.
        QTest::newRow("tiny boxes") << "tiny-boxes.bin"
                                    << "walked";
    }
    void fuzzFindings() {
        QFETCH(QString, name);
        QFETCH(QString, outcome);
        const QByteArray input = readAll(QStringLiteral(ORVIN_TEST_DATA "/recover/") + name);
        QVERIFY(input.size() >= 4);
        const int length = qMin(input.size() - 4, int(qFromBigEndian<quint32>(input.constData())));
        const QString reference = _dir.filePath("fuzz-reference.mp4");
        const QString cut = _dir.filePath("fuzz-cut.mp4");
        QVERIFY(writeAll(reference, input.mid(4, length)));
        QVERIFY(writeAll(cut, input.mid(4 + length)));
        QElapsedTimer timer;
        timer.start();
        RMMp4Index ref;
        RMMp4Index damaged;
        QVERIFY(damaged.open(cut));
        QVERIFY(damaged.topLevel().size() <= 3);
        QString got = "reference refused";
        if (ref.open(reference) && ref.isComplete()) {
            RMRecoverWalker walker;
            if (walker.setReference(ref, &got)) {
                RMFileWindow file;
                QVERIFY(file.open(cut));
                walker.walk(file, damaged.mdat()->pos + damaged.mdat()->header);
                QVERIFY(walker.dataEnd() <= file.size());
                RMRecoverMoov moov(ref, walker);
                QVERIFY(!moov.build().isEmpty());
                got = "walked";
            }
        }
        QCOMPARE(got, outcome);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    // Inputs made to hang the recovery or exhaust the machine end at once.
    void hostileInputs() {
        // A card pulled while the question is open: its folders are gone.
        QCOMPARE(
            QFileInfo(RMRecovery::recoveredFolder("/no-such-card/DCIM/1/NNF_1.mp4")).fileName(),
            QString("1"));
        // A sound description nested 400,000 descriptors deep.
        QByteArray nested;
        for (int i = 0; i < 400000; ++i) {
            nested += QByteArray::fromHex("03ffffff7f000100");
        }
        QVERIFY(RMAacSizer::audioConfig(box("mp4a", QByteArray(28, '\0') + full("esds", nested)))
                    .isEmpty());
        // 64 million one-byte samples that every table agrees on, in 64 MiB.
        const QString path = _dir.filePath("constant-size.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(box("ftyp", "isom") + constantSizeMovie(64 << 20));
        QVERIFY(file.resize(64 << 20));
        file.close();
        RMMp4Index index;
        QVERIFY(!index.open(path));
        QVERIFY2(index.errorString().contains("damaged sample tables"),
                 qPrintable(index.errorString()));
    }

    // Every shape the one rule calls cut off is recovered: a whole media
    // box followed by one running to the end, media data without a movie
    // box, a movie box cut short.
    void recoversEveryShapeOfCutOff_data() {
        QTest::addColumn<int>("shape");
        QTest::newRow("media to the end after a whole media box") << 0;
        QTest::newRow("whole media, no movie box") << 1;
        QTest::newRow("movie box cut short") << 2;
    }
    void recoversEveryShapeOfCutOff() {
        QFETCH(int, shape);
        const QStringList all = files(_type1, "_1");
        RMMp4Index original;
        QVERIFY(original.open(all.at(1)));
        const qint64 at = original.mdat()->pos;
        const qint64 mdatEnd = at + original.mdat()->size;
        QByteArray bytes = readAll(all.at(1));
        qint64 cut = mdatEnd;
        if (shape == 0) {
            // The box before the media data becomes a media box of its own.
            QCOMPARE(bytes.mid(int(at) - 12, 4), QByteArray("usea"));
            bytes.replace(int(at) - 12, 4, "mdat");
            cut = at + (mdatEnd - at) * 2 / 3;
            bytes = bytes.left(int(cut));
            bytes.replace(int(at), 4, be32(0));
        } else {
            const QByteArray moov = topBox(bytes, "moov");
            bytes = bytes.left(int(mdatEnd) + (shape == 1 ? 0 : moov.size() / 2));
        }
        const QString cutPath =
            _dir.filePath(QString("shape%1/").arg(shape) + QFileInfo(all.at(1)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(writeAll(cutPath, bytes));
        QVERIFY(RMRecovery::isCutOff(cutPath));
        // A whole media box leaves nothing incomplete, whatever follows it.
        const QString said = RMRecovery().recover(cutPath, all.at(0), QString(), true).message;
        QVERIFY2(shape == 0 || !said.contains("incomplete"), qPrintable(said));
        verifyRecovered(all.at(1), all.at(0), cutPath, cut, false,
                        _dir.filePath(QString("shape%1-out").arg(shape)));
    }

    // A stream that carries its own parameter sets is held against the
    // reference's: another resolution is refused instead of being given the
    // reference's description. The recovered recording has its own times
    // and none of the reference's user data.
    void inBandParameterSetsTimesAndUserData() {
        auto make = [this](const QString& name, const QString& size) {
            const QString path = _dir.filePath("inband/" + name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            const Run r =
                run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc2=size=" + size + ":rate=30:duration=2", "-c:v", "libx264",
                               "-bf", "0", "-g", "15", "-x264-params", "repeat-headers=1", path});
            return r.code == 0 ? path : QString();
        };
        const QString reference = make("NNF_240517-110000-000001_1.mp4", "320x240");
        const QString small = make("NNF_240517-110100-000002_1.mp4", "160x120");
        const QString same = make("NNF_240518-130500-000003_1.mp4", "320x240");
        QVERIFY(!reference.isEmpty() && !small.isEmpty() && !same.isEmpty());
        QVERIFY(readAll(reference).contains("udta"));
        const QString cutFolder = _dir.filePath("inband-cut");
        QVERIFY(QDir().mkpath(cutFolder));
        const QString smallCut = cutFolder + "/" + QFileInfo(small).fileName();
        const QString sameCut = cutFolder + "/" + QFileInfo(same).fileName();
        QVERIFY(makeCut(small, smallCut, QFileInfo(small).size() / 2, {}));
        QVERIFY(makeCut(same, sameCut, QFileInfo(same).size() / 2, {}));
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        QFile touched(sameCut);
        QVERIFY(touched.open(QIODevice::ReadWrite) &&
                touched.setFileTime(modified, QFileDevice::FileModificationTime));
        touched.close();

        RMRecovery recovery;
        const QString out = _dir.filePath("inband-out");
        RMRecovery::Result r = recovery.recover(smallCut, reference, out, false);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("does not match"), qPrintable(r.message));
        r = recovery.recover(sameCut, reference, out, false);
        QVERIFY2(r.recovered, qPrintable(r.message));
        const QByteArray moov = topBox(readAll(r.output), "moov");
        QVERIFY(!moov.isEmpty());
        QVERIFY(!moov.contains("udta"));
        const int mvhd = moov.indexOf("mvhd");
        QDateTime named;
        QVERIFY(RMVideoItem::IsFeasible(sameCut, &named) != GROUP_NONE);
        const quint32 epoch1904 = 2082844800u;
        QCOMPARE(qFromBigEndian<quint32>(moov.constData() + mvhd + 8),
                 quint32(named.toSecsSinceEpoch() + epoch1904));
        QCOMPARE(qFromBigEndian<quint32>(moov.constData() + mvhd + 12),
                 quint32(modified.toSecsSinceEpoch() + epoch1904));
    }

    // The last group's pictures are guessed and decoded while the walk
    // runs: from a key picture found looking back from the end (parameter
    // sets before it included), the guess takes the very pictures the
    // check takes, and decodes them as the check does. A guess is used
    // only for the same pictures, byte for byte.
    void theLastGroupIsGuessed_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reference");
        for (const QString& layout : {QString("type1"), QString("type2")}) {
            for (const QString& channel : {QString("_1"), QString("_2")}) {
                const QStringList all = files(card(layout), channel);
                QTest::newRow(qPrintable(layout + channel)) << all.at(1) << all.at(0);
            }
        }
        const QString inBand = _dir.filePath("guess/NNF_240517-120000-000001_1.mp4");
        QDir().mkpath(QFileInfo(inBand).absolutePath());
        const Run made =
            run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc2=size=320x240:rate=30:duration=2", "-c:v", "libx264", "-bf",
                           "0", "-g", "15", "-x264-params", "repeat-headers=1", inBand});
        QTest::newRow("parameter sets in the stream")
            << (made.code == 0 ? inBand : QString()) << inBand;
        QTest::newRow("HEVC") << hevc() << hevc();
    }
    void theLastGroupIsGuessed() {
        QFETCH(QString, source);
        QFETCH(QString, reference);
        if (source.isEmpty()) {
            QSKIP("ffmpeg cannot make this recording here");
        }
        RMMp4Index original;
        QVERIFY(original.open(source));
        const RMMp4Index::Track* picture = trackOf(original, RMMp4Index::KIND_VIDEO);
        const size_t cutIn = picture->sizes.size() * 2 / 3;
        const QString cutPath = _dir.filePath("guess-cut/" + QFileInfo(source).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(source, cutPath,
                        qint64(picture->offsets[cutIn] + picture->sizes[cutIn] / 2), {}));
        RMMp4Index cut;
        RMMp4Index ref;
        QVERIFY(cut.open(cutPath) && ref.open(reference));
        const qint64 start = cut.mdat()->pos + cut.mdat()->header;
        RMLastGroupGuess guess;
        RMLastGroupGuess wrongPictures;
        RMLastGroupGuess wrongBytes;
        for (RMLastGroupGuess* g : {&guess, &wrongPictures, &wrongBytes}) {
            g->start(cutPath, ref, start, -1);
        }
        RMRecoverWalker walker;
        QString error;
        QVERIFY(walker.setReference(ref, &error));
        RMFileWindow file;
        QVERIFY(file.open(cutPath));
        walker.walk(file, start);
        RMNalScanner scanner;
        QVERIFY(scanner.configure(trackOf(ref, RMMp4Index::KIND_VIDEO)->sampleEntry));
        const RMLastGroup::Plan plan =
            RMLastGroup::plan(walker.samples(walker.videoTrack()), scanner.codec());
        QVERIFY(plan.decoded.size() > 1);
        std::vector<QByteArray> bytes;
        for (const RMRecoverWalker::Sample& s : plan.decoded) {
            bytes.push_back(file.read(s.offset, s.size));
        }
        int clean = -1;
        QVERIFY(guess.take(plan.decoded, bytes, &clean));
        QCOMPARE(clean,
                 RMKeyFrameCheck::cleanPictures(scanner.codec(), scanner.configRecord(), bytes));
        std::vector<RMRecoverWalker::Sample> shorter = plan.decoded;
        shorter.pop_back();
        QVERIFY(!wrongPictures.take(shorter, {bytes.begin(), bytes.end() - 1}, &clean));
        bytes.back()[0] = char(bytes.back()[0] ^ 1);
        QVERIFY(!wrongBytes.take(plan.decoded, bytes, &clean));
    }

    // The last group of pictures is checked by decoding it, but no more of
    // it than a bound: one key frame followed by 900 pictures ends after
    // the pictures checked.
    void aLongLastGroupIsCheckedUpToABound() {
        const QString source = _dir.filePath("long-gop/NNF_240517-140000-000001_1.mp4");
        QVERIFY(QDir().mkpath(QFileInfo(source).absolutePath()));
        const Run made = run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc2=size=64x64:rate=30:duration=32", "-c:v",
                                        "libx264", "-bf", "0", "-g", "2000", source});
        QVERIFY2(made.code == 0, made.err.constData());
        const QString cutPath = _dir.filePath("long-gop-cut/" + QFileInfo(source).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(source, cutPath, QFileInfo(source).size() * 95 / 100, {}));
        const RMRecovery::Result r =
            RMRecovery().recover(cutPath, source, _dir.filePath("long-gop-out"), true);
        QVERIFY2(r.recovered, qPrintable(r.message));
        QCOMPARE(r.videoFrames, int(RMLastGroup::kMaxPictures));
    }

    // Samples beyond 4 GiB (a sparse file): the walk finds them there and
    // the new movie box gives their chunks 64-bit offsets.
    void samplesBeyondFourGiB() {
        const QStringList all = files(_type1, "_1");
        RMMp4Index original;
        QVERIFY(original.open(all.at(1)));
        const RMMp4Index::Box* mdat = original.mdat();
        const QByteArray bytes = readAll(all.at(1));
        const QByteArray data =
            bytes.mid(int(mdat->pos + mdat->header), int((mdat->size - mdat->header) * 2 / 3));
        const qint64 gap = (qint64(1) << 32) + 4096;
        const QString path = _dir.filePath("big/" + QFileInfo(all.at(1)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // ftyp, a free box of 64-bit size over the gap, media data of size 0.
        QByteArray head = box("ftyp", "isom");
        QByteArray free = be32(1) + "free" + QByteArray(8, '\0');
        qToBigEndian(quint64(gap), free.data() + 8);
        file.write(head + free);
        QVERIFY(file.seek(head.size() + gap));
        file.write(be32(0) + "mdat" + data);
        file.close();
        RMMp4Index cut;
        QVERIFY(cut.open(path));
        QVERIFY(cut.isCutOff());
        const qint64 start = cut.mdat()->pos + 8;
        QCOMPARE(start, head.size() + gap + 8);
        RMMp4Index reference;
        QVERIFY(reference.open(all.at(0)));
        RMRecoverWalker walker;
        QString error;
        QVERIFY(walker.setReference(reference, &error));
        RMFileWindow window;
        QVERIFY(window.open(path));
        walker.walk(window, start);
        const auto& pictures = walker.samples(walker.videoTrack());
        QVERIFY(pictures.size() > 10);
        QCOMPARE(pictures.front().offset, start);
        const QByteArray moov = RMRecoverMoov(reference, walker).build();
        QVERIFY(moov.contains("co64"));
        QVERIFY(!moov.contains("stco"));
        // The first chunk's offset, in 64 bits.
        const int co64 = moov.indexOf("co64");
        bool found = false;
        for (int at = co64; at >= 0 && !found; at = moov.indexOf("co64", at + 4)) {
            const quint32 count = qFromBigEndian<quint32>(moov.constData() + at + 8);
            for (quint32 i = 0; i < count && !found; ++i) {
                found = qFromBigEndian<quint64>(moov.constData() + at + 12 + int(i) * 8) ==
                        quint64(start);
            }
        }
        QVERIFY(found);
        // The header room: a 32-bit media header stays 32-bit, sized.
        std::vector<RMRecovery::Patch> patches;
        QVERIFY(RMRecovery::mediaHeader(cut.topLevel(), walker.dataEnd(), &patches));
        QCOMPARE(patches.size(), size_t(1));
        QCOMPARE(patches[0].pos, cut.mdat()->pos);
    }

    // A read error during the walk is not the end of the data: it is
    // reported with its offset and nothing is written.
    void aReadErrorWritesNothing() {
        const QStringList all = files(_type1, "_1");
        const QString cutPath = _dir.filePath("eio/" + QFileInfo(all.at(1)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        const qint64 size = QFileInfo(all.at(1)).size();
        QVERIFY(makeCut(all.at(1), cutPath, size * 3 / 4, {}));
        const qint64 bad = size / 2;
        RMFileWindow::setReadFault(bad);
        RMRecovery recovery;
        const RMRecovery::Result r =
            recovery.recover(cutPath, all.at(0), _dir.filePath("eio-out"), false);
        RMFileWindow::setReadFault(-1);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("read error at byte " + QString::number(bad)),
                 qPrintable(r.message));
        QVERIFY(!QFileInfo::exists(_dir.filePath("eio-out")));
    }

    // Writing the output: a buffered copy (between file systems) and a
    // rename where links fail give the same file; a full disk, a device
    // error or a folder that cannot be flushed fail, say why, and leave no
    // temporary file.
    void outputFaults_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("between file systems") << 0 << true << QString("recovered") << true;
        QTest::newRow("buffered copy") << 1 << true << QString("recovered") << true;
        QTest::newRow("no hard links") << 2 << true << QString("recovered") << true;
        QTest::newRow("disk full") << 3 << false << QString(std::strerror(ENOSPC)) << false;
        QTest::newRow("device error") << 4 << false << QString(std::strerror(EIO)) << false;
        QTest::newRow("new folder not flushed")
            << 5 << false << QString("flushing the folder") << false;
        QTest::newRow("folder not flushed") << 6 << false << QString("may not survive") << true;
    }
    void outputFaults() {
        QFETCH(int, fault);
        QFETCH(bool, recovered);
        QFETCH(QString, says);
        QFETCH(bool, inPlace);
        const QStringList all = files(_type2, "_1");
        const QString name = QFileInfo(all.at(1)).fileName();
        const QString cutPath = _dir.filePath("faults/" + name);
        const QString normal = _dir.filePath("faults-normal");
        if (!QFileInfo::exists(cutPath)) {
            QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
            QVERIFY(makeCut(all.at(1), cutPath, QFileInfo(all.at(1)).size() * 2 / 3, {}));
            QVERIFY(RMRecovery().recover(cutPath, all.at(0), normal, false).recovered);
        }
        const QString out = _dir.filePath(QString("faults-out%1").arg(fault));
        if (fault != 5) {
            QVERIFY(QDir().mkpath(out));
        }
        RMRecoverOutput::setKernelCopy(fault != 1);
        RMRecoverOutput::setLinkFault(fault == 2 ? EPERM : 0);
        RMRecoverOutput::setWriteFault([fault](qint64 at) {
            return fault == 3 ? ENOSPC : fault == 4 && at > 0 ? EIO : 0;
        });
        if (fault < 3) {
            RMRecoverOutput::setWriteFault(nullptr);
        }
        RMRecoverOutput::setFolderSyncFault(fault >= 5 ? EIO : 0);
        // A card stands on another file system, where the kernel cannot
        // copy within one; the copy keeps the time the output takes.
        QTemporaryDir card("/dev/shm/card-XXXXXX");
        const QString source = fault == 0 ? card.filePath(name) : cutPath;
        QFile copy(source);
        if (fault == 0 &&
            (!card.isValid() || !QFile::copy(cutPath, source) || !copy.open(QIODevice::ReadWrite) ||
             !copy.setFileTime(QFileInfo(cutPath).lastModified(),
                               QFileDevice::FileModificationTime))) {
            QSKIP("no second file system for the card");
        }
        copy.close();
        const RMRecovery::Result r = RMRecovery().recover(source, all.at(0), out, false);
        RMRecoverOutput::setKernelCopy(true);
        RMRecoverOutput::setLinkFault(0);
        RMRecoverOutput::setWriteFault(nullptr);
        RMRecoverOutput::setFolderSyncFault(0);
        QCOMPARE(r.recovered, recovered);
        QVERIFY2(r.message.contains(says), qPrintable(r.message));
        const QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, inPlace ? QStringList({name}) : QStringList());
        if (inPlace) {
            QCOMPARE(sha256(out + "/" + name), sha256(normal + "/" + name));
        }
    }

    // A picture of the last group whose slice data went bad while its
    // NAL units still read well (the walk takes it) fails to decode: the
    // recording ends before it, whether it is the group's key frame or a
    // later picture.
    void aDamagedLastPictureIsLeftOut_data() {
        QTest::addColumn<bool>("key");
        QTest::newRow("a later picture") << false;
        QTest::newRow("the key frame") << true;
    }
    void aDamagedLastPictureIsLeftOut() {
        QFETCH(bool, key);
        const QStringList all = files(_type1, "_1");
        RMMp4Index original;
        QVERIFY(original.open(all.at(1)));
        const RMMp4Index::Track* video = trackOf(original, RMMp4Index::KIND_VIDEO);
        size_t damaged = video->sizes.size() / 2;
        while (bool(video->sync[damaged]) != key || video->sync[damaged + 1]) {
            ++damaged;
        }
        QByteArray bytes = readAll(all.at(1));
        const int from = int(video->offsets[damaged] + video->sizes[damaged] / 2);
        for (int i = from; i < int(video->offsets[damaged] + video->sizes[damaged]); ++i) {
            bytes[i] = char(bytes[i] ^ 0x5A);
        }
        const QString damagedPath = _dir.filePath("damaged.mp4");
        QVERIFY(writeAll(damagedPath, bytes));
        const QString cutPath =
            _dir.filePath(QString("damaged%1/").arg(key) + QFileInfo(all.at(1)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(damagedPath, cutPath, qint64(video->offsets[damaged + 1]), {}));
        const RMRecovery::Result r = RMRecovery().recover(cutPath, all.at(0), QString(), true);
        QVERIFY2(r.recovered, qPrintable(r.message));
        QCOMPARE(r.videoFrames, int(damaged));
    }

    // A cut before the first whole key frame gives nothing, and says so.
    void nothingBeforeTheFirstKeyFrame() {
        const QStringList all = files(_type1, "_1");
        RMMp4Index original;
        QVERIFY(original.open(all.at(1)));
        const RMMp4Index::Track* video = trackOf(original, RMMp4Index::KIND_VIDEO);
        const QString cutPath = _dir.filePath("early/" + QFileInfo(all.at(1)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(all.at(1), cutPath, qint64(video->offsets[0]) + video->sizes[0] / 2, {}));
        RMRecovery recovery;
        const RMRecovery::Result r =
            recovery.recover(cutPath, all.at(0), _dir.filePath("early-out"), false);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("nothing to recover"), qPrintable(r.message));
        QVERIFY(!QFileInfo::exists(_dir.filePath("early-out")));
    }

    // The other channel's recording cannot serve as the reference.
    void refusesTheWrongChannel() {
        const QStringList front = files(_type1, "_1");
        const QStringList rear = files(_type1, "_2");
        const QString cutPath = _dir.filePath("wrong/" + QFileInfo(front.at(2)).fileName());
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(front.at(2), cutPath, QFileInfo(front.at(2)).size() / 2, {}));
        RMRecovery recovery;
        const RMRecovery::Result r =
            recovery.recover(cutPath, rear.at(0), _dir.filePath("wrong-out"), false);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("does not match"), qPrintable(r.message));
        QVERIFY(!QFileInfo::exists(_dir.filePath("wrong-out")));
    }

    // The reference is the nearest earlier complete recording of the same
    // channel, else a later one; cut-off files never serve.
    void choosesTheReference() {
        const QString folder = _dir.filePath("choose");
        QVERIFY(QDir().mkpath(folder));
        const QStringList front = files(_type1, "_1");
        const QStringList rear = files(_type1, "_2");
        for (const QString& path : front + rear) {
            QVERIFY(QFile::copy(path, folder + "/" + QFileInfo(path).fileName()));
        }
        const QString name1 = QFileInfo(front.at(1)).fileName();
        const QString name0 = QFileInfo(front.at(0)).fileName();
        const QString name2 = QFileInfo(front.at(2)).fileName();
        QFile::remove(folder + "/" + name1);
        QVERIFY(makeCut(front.at(1), folder + "/" + name1, QFileInfo(front.at(1)).size() / 2, {}));
        QCOMPARE(QFileInfo(RMRecovery::findReference(folder + "/" + name1)).fileName(), name0);
        // Without an earlier one, the later one.
        QFile::remove(folder + "/" + name0);
        QCOMPARE(QFileInfo(RMRecovery::findReference(folder + "/" + name1)).fileName(), name2);
        // A cut-off file is no reference.
        QFile::remove(folder + "/" + name2);
        QVERIFY(makeCut(front.at(2), folder + "/" + name2, QFileInfo(front.at(2)).size() / 2, {}));
        QVERIFY(RMRecovery::findReference(folder + "/" + name1).isEmpty());
        QCOMPARE(RMRecovery::cutOffFiles(folder).size(), 2);
    }

    // An existing file of the same name is left alone, and no temporary
    // file stays behind.
    void neverReplacesAFile() {
        const QStringList front = files(_type1, "_1");
        const QString name = QFileInfo(front.at(1)).fileName();
        const QString cutPath = _dir.filePath("keep/" + name);
        QVERIFY(QDir().mkpath(QFileInfo(cutPath).absolutePath()));
        QVERIFY(makeCut(front.at(1), cutPath, QFileInfo(front.at(1)).size() * 2 / 3, {}));
        const QString outFolder = _dir.filePath("keep-out");
        QVERIFY(QDir().mkpath(outFolder));
        QVERIFY(writeAll(outFolder + "/" + name, "precious"));
        RMRecovery recovery;
        const RMRecovery::Result r = recovery.recover(cutPath, front.at(0), outFolder, false);
        QVERIFY(!r.recovered);
        QVERIFY2(r.message.contains("already exists"), qPrintable(r.message));
        QCOMPARE(readAll(outFolder + "/" + name), QByteArray("precious"));
        QCOMPARE(QDir(outFolder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // The command line: a dry run writes nothing; a run writes one line per
    // file and the recordings under their own names.
    void commandLine() {
        const QString folder = _dir.filePath("cli");
        QVERIFY(QDir().mkpath(folder));
        for (const QString& path : files(_type2, "_1") + files(_type2, "_2")) {
            QVERIFY(QFile::copy(path, folder + "/" + QFileInfo(path).fileName()));
        }
        const QStringList names = {QFileInfo(files(_type2, "_1").at(2)).fileName(),
                                   QFileInfo(files(_type2, "_2").at(2)).fileName()};
        for (const QString& name : names) {
            const QString path = folder + "/" + name;
            const QByteArray whole = readAll(path);
            QFile::remove(path);
            QVERIFY(makeCut(files(_type2, name.right(6).left(2)).at(2), path, whole.size() * 3 / 4,
                            {}));
        }
        const QString out = _dir.filePath("cli-out");
        Run r = run(bin("orvin-tool"), {"recover", folder, "--out", out, "--dry-run"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.count('\n'), 2);
        QVERIFY2(r.out.contains("could recover"), r.out.constData());
        QVERIFY(!QFileInfo::exists(out));
        r = run(bin("orvin-tool"), {"recover", folder, "--out", out});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains(names.at(0).toUtf8() + ": recovered "), r.out.constData());
        QCOMPARE(r.out.count('\n'), 2);
        QVERIFY(r.out.contains(" s of sound and "));
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
                 QStringList({names.at(0), names.at(1)}));
        // Again: the outputs exist, nothing is replaced, nothing done.
        r = run(bin("orvin-tool"), {"recover", folder, "--out", out});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains("already exists"));
        // A healthy file is not recovered.
        r = run(bin("orvin-tool"), {"recover", files(_type2, "_1").at(0), "--out", out});
        QCOMPARE(r.code, 2);
    }
};

QTEST_GUILESS_MAIN(TestRecover)
#include "test_recover.moc"
