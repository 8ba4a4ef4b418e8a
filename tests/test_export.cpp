// Clips of generated cards: the original-quality cut against the source
// packets, the composites against the source pictures, the stamp, the range,
// and failures that must leave nothing under a final name.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QGuiApplication>
#include <QProcess>
#include <cmath>

#include "export/rm_clip_composer.h"
#include "export/rm_clip_range.h"
#include "export/rm_clip_reader.h"
#include "export/rm_clip_stamp.h"
#include "export/rm_export_file.h"
#include "export/rm_export_runner.h"
#include "recordings/rm_gps_sample.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_item_2ch.h"
#include "test_support.h"

extern "C" {
#include <libavutil/frame.h>
}

using namespace orvin_test;

namespace {
const QDateTime kCardStart = QDateTime::fromString("2024-05-17 08:30:00", "yyyy-MM-dd HH:mm:ss");
const int kW = 640;
const int kH = 360;

QByteArray run(const QString& program, const QStringList& arguments, int* code = nullptr) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(240000);
    if (code) {
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    return p.readAllStandardOutput();
}

QString tool() {
    return qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-tool";
}

// "stream size md5" of each packet of one stream, by ffmpeg's own demuxer.
QStringList packets(const QString& file, int stream) {
    QStringList out;
    const QByteArray md5 =
        run("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-map", QString("0:%1").arg(stream),
                       "-c", "copy", "-f", "framemd5", "-"});
    for (const QByteArray& line : md5.split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (!line.startsWith('#') && f.size() == 6) {
            out << f[4].trimmed() + ' ' + f[5].trimmed();
        }
    }
    return out;
}

// The luma of every picture of a video.
QList<QByteArray> pictures(const QString& file) {
    QList<QByteArray> out;
    RMClipReader reader;
    if (!reader.open(file, 0)) {
        return out;
    }
    while (AVFrame* f = reader.next()) {
        QByteArray y(f->width * f->height, '\0');
        for (int row = 0; row < f->height; ++row) {
            memcpy(y.data() + row * f->width, f->data[0] + row * f->linesize[0], size_t(f->width));
        }
        out << y;
    }
    return out;
}

// The source picture shown at ms.
QByteArray pictureAt(const QString& file, qint64 ms) {
    RMClipReader reader;
    reader.open(file, 0);
    reader.seek(ms);
    QByteArray shown;
    while (AVFrame* f = reader.next()) {
        if (reader.timeMs(f) > ms + 0.001) {
            break;
        }
        shown = QByteArray(f->width * f->height, '\0');
        for (int row = 0; row < f->height; ++row) {
            memcpy(shown.data() + row * f->width, f->data[0] + row * f->linesize[0],
                   size_t(f->width));
        }
    }
    return shown;
}

// PSNR of a rectangle of two luma planes of width w.
double psnr(const QByteArray& a, int aw, const QByteArray& b, int bw, const QRect& r) {
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const double d = quint8(a[y * aw + x]) - quint8(b[y * bw + x]);
            sum += d * d;
        }
    }
    const double mse = sum / (r.width() * r.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The frame number in the generator's strip of a picture drawn at rect r of
// a luma plane w wide.
int frameNumber(const QByteArray& y, int w, const QRect& r) {
    const double block = r.width() / 32.0;
    const double top = r.height() * 94 / 100.0 + (r.height() * 6 / 100.0 - block / 2) / 2;
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = r.x() + int(r.width() / 4.0 + bit * block + block / 2 - 1);
        const int row = r.y() + int(top + block / 4);
        number = number * 2 + (quint8(y[row * w + x]) > 128 ? 1 : 0);
    }
    return number;
}

QByteArray folderHash(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    for (const QString& path : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        hash.addData(path.toUtf8());
        hash.addData(&f);
    }
    return hash.result().toHex();
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}
}  // namespace

class TestExport : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    QString _card;
    QList<RMClipSource> _sources;

    QString out(const QString& name) {
        const QString folder = _dir.filePath(name);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    }

    RMExportJob job(qint64 fromMs, qint64 toMs, RMExportJob::Layout layout, const QString& dir) {
        RMExportJob j;
        j.parts =
            RMClipRange::resolve(_sources, kCardStart.addMSecs(fromMs), kCardStart.addMSecs(toMs));
        j.layout = layout;
        j.outDir = dir;
        j.cardRoot = _card;
        j.threads = 2;
        return j;
    }

private Q_SLOTS:
    void initTestCase() {
        isolateHome();
        _card = _dir.filePath("card");
        QProcess maker;
        maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                    {_card, "--quiet", "--recordings", "2", "--seconds", "10", "--front-size",
                     "640x360", "--rear-size", "640x360", "--gop", "15"});
        QVERIFY(maker.waitForFinished(240000) && maker.exitCode() == 0);
        QList<QUrl> urls;
        RMVideoFileList::appendFolderToList(_card, urls, 0);
        RMVideoFileList::instance()->loadFromList(urls);
        _sources = RMClipRange::sources(RMVideoFileList::instance()->allItems());
        QCOMPARE(_sources.size(), 2);
    }

    // Which recordings a range takes, and ranges that give nothing.
    void range_data() {
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<qint64>("fromMs");
        QTest::addColumn<qint64>("toMs");
        QTest::addColumn<QString>("parts");  // "from-to from-to", or empty
        QTest::newRow("inside one") << 0 << qint64(2000) << qint64(5000) << "2000-5000";
        QTest::newRow("across") << 0 << qint64(8000) << qint64(13000) << "8000-10000 0-3000";
        QTest::newRow("gap of 2 s joins")
            << 2000 << qint64(8000) << qint64(15000) << "8000-10000 0-3000";
        QTest::newRow("gap of 3 s ends it")
            << 3000 << qint64(8000) << qint64(16000) << "8000-10000";
        QTest::newRow("start in a gap") << 3000 << qint64(11000) << qint64(16000) << "0-3000";
        QTest::newRow("no recording") << 0 << qint64(30000) << qint64(40000) << "";
        QTest::newRow("start after end") << 0 << qint64(5000) << qint64(4000) << "";
    }
    void range() {
        QFETCH(int, gapMs);
        QFETCH(qint64, fromMs);
        QFETCH(qint64, toMs);
        QFETCH(QString, parts);
        RMClipSource a{"a_1.mp4", "a_2.mp4", kCardStart, 10000};
        RMClipSource b{"b_1.mp4", "b_2.mp4", kCardStart.addMSecs(10000 + gapMs), 10000};
        QString error;
        QStringList got;
        for (const RMClipPart& p : RMClipRange::resolve({a, b}, kCardStart.addMSecs(fromMs),
                                                        kCardStart.addMSecs(toMs), &error)) {
            got << QString("%1-%2").arg(p.fromMs).arg(p.toMs);
        }
        QCOMPARE(got.join(' '), parts);
        QCOMPARE(error.isEmpty(), !parts.isEmpty());
    }

    // The cut holds the camera's packets from the key frame before the start
    // to the end, joined across the two recordings, and opens as a recording.
    void originalCut() {
        const QString dir = out("original");
        const QByteArray card = folderHash(_card);
        // Key frames every 0.5 s: 6.3 s starts at the one at 6.0 s.
        const RMExportResult r =
            RMExportRunner(job(6300, 14250, RMExportJob::LAYOUT_ORIGINAL, dir)).run();
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.leadMs, qint64(300));
        QCOMPARE(folderHash(_card), card);
        const QString front = dir + "/NNF_240517-083006-000001_1.mp4";
        const QString rear = dir + "/NNF_240517-083006-000001_2.mp4";
        QCOMPARE(QSet<QString>(r.files.begin(), r.files.end()),
                 (QSet<QString>{front, rear, dir + "/NNF_240517-083006.gpx"}));
        QCOMPARE(filesIn(dir).size(), 3);

        for (int channel = 0; channel < 2; ++channel) {
            const QString clip = channel == 0 ? front : rear;
            const QString a = channel == 0 ? _sources[0].front : _sources[0].rear;
            const QString b = channel == 0 ? _sources[1].front : _sources[1].rear;
            // Pictures 180 (6.0 s) to the end of the first, 0 to 127 (4.233 s) of the second.
            QCOMPARE(packets(clip, 0), packets(a, 0).mid(180) + packets(b, 0).mid(0, 128));
            int code = 0;
            run("ffmpeg", {"-v", "error", "-xerror", "-nostdin", "-i", clip, "-f", "null", "-"},
                &code);
            QCOMPARE(code, 0);
        }
        // The sound: the end of the first recording's, then the start of the second's.
        const QStringList sound = packets(front, 1);
        const QStringList soundA = packets(_sources[0].front, 1);
        const QStringList soundB = packets(_sources[1].front, 1);
        const int i = soundA.indexOf(sound.value(0));
        QVERIFY(i > 0);
        const int n = soundA.size() - i;
        QCOMPARE(sound.mid(0, n), soundA.mid(i));
        const int j = soundB.indexOf(sound.value(n));
        QVERIFY(j >= 0 && j <= 1);
        QCOMPARE(sound.mid(n), soundB.mid(j, sound.size() - n));

        // The GPS samples of the whole seconds covered: 6..9, then 0..3
        // (utc, position, speed and fix of each; the index runs on in the clip).
        auto gps = [](const QString& file) {
            QStringList rows;
            for (const QByteArray& line :
                 run(tool(), {"gps", file, "--format", "csv"}).split('\n')) {
                if (!line.isEmpty() && !line.startsWith("recording")) {
                    rows << QString(line).section(',', 2);
                }
            }
            return rows;
        };
        const QStringList clipGps = gps(front);
        QCOMPARE(clipGps.size(), 8);
        QCOMPARE(clipGps, gps(_sources[0].front).mid(6, 4) + gps(_sources[1].front).mid(0, 4));

        // The viewer lists the clip as one recording with both channels and its sensors.
        QList<QUrl> urls;
        RMVideoFileList::appendFolderToList(dir, urls, 0);
        RMVideoFileList* list = RMVideoFileList::instance();
        list->loadFromList(urls);
        QCOMPARE(list->allItems().size(), 1);
        RMVideoItem* item = list->allItems().first();
        QCOMPARE(item->rearPath, rear);
        QVERIFY(qAbs(qint64(item->durationMs) - 8267) <= 1);
        item->loadAVIInfo();
        QVERIFY(item->sensorData && item->sensorData->hasGPS);
        QCOMPARE(item->sensorData->gpsCount, 8u);
    }

    // Composites: every picture of the range once, the first and the last
    // the ones shown at the marks, front and rear of one moment.
    void composite_data() {
        QTest::addColumn<int>("layout");
        QTest::newRow("inset") << int(RMExportJob::LAYOUT_INSET);
        QTest::newRow("side") << int(RMExportJob::LAYOUT_SIDE);
    }
    void composite() {
        QFETCH(int, layout);
        const QString dir = out("composite");
        RMExportJob j = job(8300, 12150, RMExportJob::Layout(layout), dir);
        j.gpx = false;
        RMExportResult r = RMExportRunner(j).run();
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.files.size(), 1);
        const QString clip = r.files.first();
        int code = 0;
        run("ffmpeg", {"-v", "error", "-xerror", "-nostdin", "-i", clip, "-f", "null", "-"}, &code);
        QCOMPARE(code, 0);
        const QList<QByteArray> shown = pictures(clip);
        // 8.3 s shows picture 249, 12.15 s shows picture 64 of the second: 51 + 65.
        QCOMPARE(shown.size(), 116);
        const int w = layout == RMExportJob::LAYOUT_SIDE ? 2 * kW : kW;
        const QRect clear(0, 0, kW / 2, kH / 2);  // neither inset nor stamp
        QVERIFY(psnr(shown.first(), w, pictureAt(_sources[0].front, 8300), kW, clear) > 30);
        QVERIFY(psnr(shown.last(), w, pictureAt(_sources[1].front, 2150), kW, clear) > 30);

        // Front and rear pictures of the same moment, read from the strips.
        j.stamp = false;
        j.replace = true;
        j.corner = RMExportJob::CORNER_TOP_RIGHT;  // off the front's strip
        r = RMExportRunner(j).run();
        QVERIFY(r.ok);
        const QRect rearAt = RMClipComposer::rearRect(j, QSize(w, kH), QSize(kW, kH));
        int index = 0;
        for (const QByteArray& picture : pictures(r.files.first())) {
            const int number = frameNumber(picture, w, QRect(0, 0, kW, kH));
            QCOMPARE(number, index < 51 ? 249 + index : index - 51);
            QCOMPARE(frameNumber(picture, w, rearAt), number);
            ++index;
        }
    }

    // The stamp's text, and its band as drawn before it is blended in.
    void stamp() {
        RMGPSSample fix{2024, 5, 16, 23, 30, 12, 35.681236, 139.767125, 52.4, 1, 0};
        RMGPSSample none = fix;
        none.fixStatus = 0;
        const QDateTime clock = kCardStart.addSecs(12);
        QCOMPARE(RMClipStamp::text(clock, &fix, false),
                 QString("2024/05/17 08:30:12   52 km/h   N35.681236 E139.767125"));
        QCOMPARE(RMClipStamp::text(clock, &fix, true),
                 QString("2024/05/17 08:30:12   33 mph   N35.681236 E139.767125"));
        QCOMPARE(RMClipStamp::text(clock, &none, false),
                 QString("2024/05/17 08:30:12   -- km/h   --"));
        QCOMPARE(RMClipStamp::text(clock, nullptr, true),
                 QString("2024/05/17 08:30:12   -- mph   --"));

        // The text is drawn whole inside the band, and another text draws otherwise.
        const QString text = RMClipStamp::text(clock, &fix, false);
        const QImage band = RMClipStamp::image(text, kW * 2, 40);
        int right = -1;
        for (int y = 0; y < band.height(); ++y) {
            for (int x = 0; x < band.width(); ++x) {
                if (qGray(band.pixel(x, y)) > 200) {
                    right = qMax(right, x);
                }
            }
        }
        QVERIFY(right > band.width() / 3 && right < band.width() - 10);
        QVERIFY(band != RMClipStamp::image(RMClipStamp::text(clock, &none, false), kW * 2, 40));
        QCOMPARE(band, RMClipStamp::image(text, kW * 2, 40));
    }

    // A cancel, a full disk, a vanished recording or a taken name: nothing
    // new under a final name, no temporary file, the card unchanged.
    void failures_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("layout");
        for (const char* fault : {"cancel", "full", "vanished", "taken"}) {
            QTest::newRow(qPrintable(QString(fault) + " original"))
                << fault << int(RMExportJob::LAYOUT_ORIGINAL);
            QTest::newRow(qPrintable(QString(fault) + " inset"))
                << fault << int(RMExportJob::LAYOUT_INSET);
        }
    }
    void failures() {
        QFETCH(QString, fault);
        QFETCH(int, layout);
        const QString dir = out("failures");
        const QString card = _dir.filePath("failing-card");
        QDir(card).removeRecursively();
        QDir().mkpath(card + "/DCIM");
        for (const RMClipSource& s : _sources) {
            QFile::copy(s.front, card + "/DCIM/" + QFileInfo(s.front).fileName());
            QFile::copy(s.rear, card + "/DCIM/" + QFileInfo(s.rear).fileName());
        }
        QList<RMClipSource> sources = _sources;
        for (RMClipSource& s : sources) {
            s.front = card + "/DCIM/" + QFileInfo(s.front).fileName();
            s.rear = card + "/DCIM/" + QFileInfo(s.rear).fileName();
        }
        RMExportJob j;
        j.parts =
            RMClipRange::resolve(sources, kCardStart.addMSecs(8000), kCardStart.addMSecs(12000));
        j.layout = RMExportJob::Layout(layout);
        j.outDir = dir;
        j.cardRoot = card;
        const QByteArray before = folderHash(card);
        if (fault == "taken") {
            QFile taken(dir + (layout == RMExportJob::LAYOUT_ORIGINAL
                                   ? "/NNF_240517-083008-000001_2.mp4"
                                   : "/NNF_240517-083008_inset.mp4"));
            QVERIFY(taken.open(QIODevice::WriteOnly));
            taken.write("mine");
        }
        std::atomic<bool> cancel{false};
        int writes = 0;
        RMExportFile::setWriteFault([&](qint64, qint64) {
            ++writes;
            return fault == "full" && writes > 1 ? ENOSPC : 0;
        });
        RMExportRunner runner(j, &cancel);
        const RMExportResult r = runner.run([&](double fraction) {
            if (fault == "cancel" && fraction > 0.2) {
                cancel = true;
            }
            if (fault == "vanished" && fraction > 0.1) {
                QFile::remove(sources[1].front);
                QFile::remove(sources[1].rear);
            }
        });
        RMExportFile::setWriteFault(nullptr);
        QVERIFY(!r.ok);
        QVERIFY(r.files.isEmpty());
        if (fault == "taken") {
            QCOMPARE(filesIn(dir).size(), 1);
            QCOMPARE(r.existing.size(), 1);
            QFile taken(dir + "/" + filesIn(dir).first());
            QVERIFY(taken.open(QIODevice::ReadOnly));
            QCOMPARE(taken.readAll(), QByteArray("mine"));
        } else {
            QCOMPARE(filesIn(dir), QStringList());
            QVERIFY2(!r.error.isEmpty(), "one message names the cause");
        }
        if (fault == "full") {
            QVERIFY2(r.error.contains("No space left"), qPrintable(r.error));
        }
        if (fault == "vanished") {
            QVERIFY2(r.error.contains("can no longer be read"), qPrintable(r.error));
        } else {
            QCOMPARE(folderHash(card), before);
        }
    }

    // The command line: the files it wrote, one a line; bad ranges and a
    // target on the card end with exit code 2 and one line.
    void commandLine() {
        const QString dir = out("cli");
        int code = -1;
        const QByteArray lines =
            run(tool(),
                {"export", _card, "--start", "2024-05-17 08:30:03", "--seconds", "4", "--out", dir},
                &code);
        QCOMPARE(code, 0);
        QCOMPARE(lines, (dir + "/NNF_240517-083003-000001_1.mp4\n" + dir +
                         "/NNF_240517-083003-000001_2.mp4\n" + dir + "/NNF_240517-083003.gpx\n")
                            .toUtf8());
        for (const QStringList& bad :
             {QStringList{"--start", "2024-05-17 09:00:00", "--seconds", "4", "--out", dir},
              QStringList{"--start", "2024-05-17 08:30:05", "--end", "2024-05-17 08:30:04", "--out",
                          dir},
              QStringList{"--start", "2024-05-17 08:30:03", "--seconds", "4", "--out",
                          _card + "/DCIM/clips"}}) {
            QProcess p;
            p.start(tool(), QStringList{"export", _card} + bad);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 2);
            QCOMPARE(p.readAllStandardError().count('\n'), 1);
        }
        QVERIFY(!QFileInfo::exists(_card + "/DCIM/clips"));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_export.moc"
