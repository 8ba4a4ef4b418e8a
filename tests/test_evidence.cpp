// The facts an evidence report states about a range, the report itself as a
// reader of the PDF gets it (pdftotext), in both languages, and whole packs
// of a generated card: verifiable with sha256sum, the originals untouched,
// the report agreeing with orvin-tool, and failures that leave no pack.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <functional>

#include "backup/rm_file_copier.h"
#include "export/rm_evidence_facts.h"
#include "export/rm_evidence_pack.h"
#include "export/rm_evidence_report.h"
#include "export/rm_export_file.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"

namespace {

const QDateTime kStart(QDate(2024, 5, 17), QTime(8, 30, 0), Qt::UTC);  // camera clock

// A drive of `seconds` samples: the camera clock runs `offsetS` seconds ahead
// of GPS time, the fix is lost at `lostAt` (or never when -1), and the speed
// climbs by 2 km/h a second from 40.
QVector<RMEvidenceGps> drive(int seconds, int offsetS, int lostAt = -1) {
    QVector<RMEvidenceGps> gps;
    for (int i = 0; i < seconds; ++i) {
        const QDateTime clock = kStart.addSecs(i);
        const QDateTime utc = clock.addSecs(-offsetS);
        RMGPSSample s{};
        s.year = quint16(utc.date().year());
        s.month = quint8(utc.date().month());
        s.day = quint8(utc.date().day());
        s.hour = quint8(utc.time().hour());
        s.minute = quint8(utc.time().minute());
        s.second = quint8(utc.time().second());
        s.latitude = 35.0 + i * 0.0002;
        s.longitude = 139.0 + i * 0.0001;
        s.speed = 40 + 2 * i;
        s.fixStatus = i == lostAt ? 0 : 1;
        gps.append({clock, s});
    }
    return gps;
}

QVector<RMEvidenceG> bump(int seconds, int peakAt) {
    QVector<RMEvidenceG> g;
    for (int i = 0; i < seconds * 10; ++i) {
        const float x = i == peakAt ? -1.5f : 0.05f;
        g.append({kStart.addMSecs(i * 100), {x, i == 3 ? 0.4f : 0.0f, 1.0f}});
    }
    return g;
}

QByteArray run(const QString& program, const QStringList& arguments, int* code = nullptr,
               const QString& folder = QString()) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, arguments);
    p.waitForFinished(240000);
    if (code) {
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    return p.readAllStandardOutput();
}

QString bin(const char* program) {
    return qEnvironmentVariable("ORVIN_BIN_DIR") + "/" + program;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
}

QByteArray folderHash(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    for (const QString& path : files) {
        hash.addData(path.toUtf8() + contents(path));
    }
    return hash.result().toHex();
}

// The largest of a CSV column over the rows a filter keeps, as printed.
double largest(const QByteArray& csv, int column,
               const std::function<bool(const QStringList&)>& keep, bool magnitude = false) {
    double best = 0;
    for (const QByteArray& line : csv.split('\n').mid(1)) {
        const QStringList f = QString::fromUtf8(line).split(',');
        if (f.size() > column && keep(f) &&
            (magnitude ? std::abs(f[column].toDouble()) > std::abs(best)
                       : f[column].toDouble() > best)) {
            best = f[column].toDouble();
        }
    }
    return best;
}

QString pdfText(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", path, "-"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestEvidence : public QObject {
    Q_OBJECT
    QTemporaryDir _dir;
    QString _card;

    // The card's recordings as a range of seconds from its start.
    QList<RMClipPart> parts(const QString& card, int from, int to) {
        QList<QUrl> urls;
        RMVideoFileList::appendFolderToList(card, urls, 0);
        RMVideoFileList::instance()->loadFromList(urls);
        return RMClipRange::resolve(RMClipRange::sources(RMVideoFileList::instance()->allItems()),
                                    kStart.addSecs(from), kStart.addSecs(to));
    }

private Q_SLOTS:
    void initTestCase() {
        // The camera clock runs 7 s ahead of GPS time beyond its zone (9 h);
        // the fix is lost from 12 s to 18 s.
        _card = _dir.filePath("card");
        int code = -1;
        run(bin("orvin-make-card"),
            {_card, "--quiet", "--recordings", "2", "--seconds", "10", "--front-size", "640x360",
             "--rear-size", "640x360", "--gop", "15", "--clock-skew", "7", "--fix-gap", "12:6"},
            &code);
        QCOMPARE(code, 0);
    }

    void factsOfARange() {
        // Nine hours of time zone and 7 s of clock skew; one sample without a
        // fix counts for neither speed nor offset.
        const RMEvidenceFacts f =
            RMEvidenceFacts::compute(drive(20, 9 * 3600 + 7, 5), bump(20, 42));
        QCOMPARE(f.fixCount, 19);
        QVERIFY(f.hasOffset);
        QCOMPARE(f.clockOffsetS, 9 * 3600 + 7.0);
        QCOMPARE(f.utcOf(kStart), kStart.addSecs(-(9 * 3600 + 7)));
        QCOMPARE(f.maxSpeed, 78.0);
        QCOMPARE(f.maxSpeedAt, kStart.addSecs(19));
        QCOMPARE(f.averageSpeed, (40.0 * 20 + 2 * 190 - 50) / 19);
        QCOMPARE(f.startLatitude, 35.0);
        QCOMPARE(f.endLongitude, 139.0 + 19 * 0.0001);
        QCOMPARE(f.peak[0].g, -1.5f);
        QCOMPARE(f.peak[0].at, kStart.addMSecs(4200));
        QCOMPARE(f.peak[1].at, kStart.addMSecs(300));
        QCOMPARE(f.largestGAt, kStart.addMSecs(4200));

        // One sample with a wrong date does not move the median.
        QVector<RMEvidenceGps> odd = drive(5, 60);
        odd[2].sample.year = 2000;
        QCOMPARE(RMEvidenceFacts::compute(odd, {}).clockOffsetS, 60.0);

        const RMEvidenceFacts none = RMEvidenceFacts::compute({}, {});
        QCOMPARE(none.fixCount, 0);
        QVERIFY(!none.hasOffset);
        QVERIFY(!none.utcOf(kStart).isValid());
    }

    void reportSaysWhatAReaderNeeds_data() {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("withGps");
        QTest::newRow("english") << false << true;
        QTest::newRow("japanese") << true << true;
        QTest::newRow("english, no GPS") << false << false;
    }
    void reportSaysWhatAReaderNeeds() {
        QFETCH(bool, japanese);
        QFETCH(bool, withGps);
        RMEvidenceReportInput in;
        in.japanese = japanese;
        in.model = "VK7300";
        in.recordings =
            QStringList{"NNF_240517-083000-000001F.MP4", "NNF_240517-083000-000001R.MP4"};
        in.start = kStart;
        in.end = kStart.addSecs(20);
        in.gps = withGps ? drive(20, 9 * 3600) : QVector<RMEvidenceGps>();
        in.g = bump(20, 42);
        in.facts = RMEvidenceFacts::compute(in.gps, in.g);
        QImage picture(320, 180, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        in.picked = {kStart.addSecs(3), picture, picture};
        in.largest = {in.facts.largestGAt, picture, QImage()};
        for (int i = 0; i < 3; ++i) {
            in.files.append(
                {QString("original/file%1.MP4").arg(i), 1000 + i, QByteArray(64, char('a' + i))});
        }
        const QString path = _dir.filePath(QString("report-%1-%2.pdf").arg(japanese).arg(withGps));
        QVERIFY(RMEvidenceReport::write(path, in));
        const QString text = pdfText(path);
        QVERIFY2(!text.isEmpty(), "pdftotext read nothing");
        QVERIFY(text.contains("VK7300"));
        for (const QString& name : in.recordings) {
            QVERIFY2(text.contains(name), qPrintable(name));
        }
        for (const RMEvidenceReportInput::File& file : in.files) {
            QVERIFY(text.contains(file.path));
            QVERIFY(text.contains(QString::fromLatin1(file.sha256)));
        }
        QVERIFY(text.contains("2024-05-17 08:30:00"));
        QVERIFY(text.contains("2024-05-17 08:30:20"));
        QVERIFY(text.contains("sha256sum -c SHA256SUMS"));
        if (withGps) {
            QVERIFY(text.contains("78 km/h"));
            QVERIFY(text.contains("2024-05-16 23:30:00"));  // the start in UTC
            QVERIFY(text.contains("32400.0 s"));
        } else {
            QVERIFY(text.contains("No GPS fix in this range"));
        }
        QVERIFY(text.contains("-1.50 g"));
        QVERIFY(text.contains(japanese ? QString::fromUtf8("証拠資料レポート")
                                       : QString("Evidence report")));
    }

    // A pack made by orvin-tool: sha256sum accepts it, the originals are the
    // card's own bytes and times, the report names every file and hash and
    // states orvin-tool's largest speed and G, the times and the clock's
    // offset; without GPS it says so and the pack has no track.
    void packOfACard_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("english") << "en" << 6 << 14;
        QTest::newRow("japanese") << "ja" << 6 << 14;
        QTest::newRow("english, no GPS") << "en" << 13 << 17;
    }
    void packOfACard() {
        QFETCH(QString, lang);
        QFETCH(int, from);
        QFETCH(int, to);
        const bool gps = from < 12;
        const QString out = _dir.filePath("packs-" + QString(QTest::currentDataTag()));
        const QByteArray before = folderHash(_card);
        int code = -1;
        const QString start = kStart.addSecs(from).toString("yyyy-MM-dd HH:mm:ss");
        const QString end = kStart.addSecs(to).toString("yyyy-MM-dd HH:mm:ss");
        const QByteArray printed = run(bin("orvin-tool"),
                                       {"evidence", _card, "--start", start, "--end", end, "--at",
                                        kStart.addSecs(from + 2).toString("yyyy-MM-dd HH:mm:ss"),
                                        "--lang", lang, "--out", out},
                                       &code);
        QCOMPARE(code, 0);
        const QString pack = out + "/evidence_" + kStart.addSecs(from).toString("yyyyMMdd-HHmmss");
        QCOMPARE(QString::fromUtf8(printed).trimmed(), pack);
        QCOMPARE(folderHash(_card), before);
        run("sha256sum", {"-c", "--quiet", "SHA256SUMS"}, &code, pack);
        QCOMPARE(code, 0);

        // Every file but the list itself is listed.
        QStringList listed;
        QStringList hashes;
        for (const QByteArray& line : contents(pack + "/SHA256SUMS").trimmed().split('\n')) {
            hashes << QString::fromLatin1(line.left(64));
            listed << QString::fromUtf8(line.mid(66));
        }
        QStringList present;
        QDirIterator it(pack, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            present << QDir(pack).relativeFilePath(it.next());
        }
        present.removeOne("SHA256SUMS");
        present.sort();
        QCOMPARE(listed, present);
        QCOMPARE(present.filter(QRegularExpression("^original/.*_[12]\\.mp4$")).size(),
                 from < 10 ? 4 : 2);
        QCOMPARE(present.filter(QRegularExpression("^[^/]*(_[12]|_inset)\\.mp4$")).size(), 3);
        QCOMPARE(present.filter(QRegularExpression("^still_.*\\.png$")).size(), 4);
        QCOMPARE(present.contains("track.gpx"), gps);
        for (const char* name : {"gsensor.csv", "report.pdf", "README.txt"}) {
            QVERIFY2(present.contains(name), name);
        }
        QCOMPARE(QImage(pack + "/still_picked_rear.png").size(), QSize(640, 360));

        // The originals are the card's bytes under the card's names and times.
        QDirIterator card(_card, {"*.mp4"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList fronts;
        while (card.hasNext()) {
            const QFileInfo source(card.next());
            const QFileInfo copy(pack + "/original/" + source.fileName());
            if (copy.exists()) {
                QCOMPARE(contents(copy.filePath()), contents(source.filePath()));
                QCOMPARE(copy.lastModified(), source.lastModified());
            }
            if (source.fileName().endsWith("_1.mp4")) {
                fronts << source.filePath();
            }
        }

        const QString text = pdfText(pack + "/report.pdf");
        for (int i = 0; i < listed.size(); ++i) {
            if (listed[i] != "report.pdf") {
                QVERIFY2(text.contains(listed[i]), qPrintable(listed[i]));
                QVERIFY2(text.contains(hashes[i]), qPrintable(listed[i]));
            }
        }
        QVERIFY(text.contains(start));
        QVERIFY(text.contains(end));
        QVERIFY(text.contains(lang == "ja" ? QString::fromUtf8("証拠資料レポート")
                                           : QString("Evidence report")));
        // orvin-tool's samples of the range: recording r starts at 10 r s.
        const auto inRange = [&](const QStringList& f, double seconds) {
            const int r = f[0].endsWith("000001") ? 0 : 1;
            return 10 * r + seconds >= from && 10 * r + seconds < to;
        };
        if (gps) {
            const double speed = largest(
                run(bin("orvin-tool"), {"gps", _card, "--format", "csv"}), 5,
                [&](const QStringList& f) { return f[6] == "1" && inRange(f, f[1].toInt()); });
            QVERIFY2(text.contains(QString("%1 km/h").arg(speed, 0, 'f', 0)), qPrintable(text));
            // 9 h of zone and 7 s of skew.
            QVERIFY(
                text.contains(kStart.addSecs(from - 9 * 3600 - 7).toString("yyyy-MM-dd HH:mm:ss")));
            QVERIFY(text.contains("32407.0 s"));
        } else {
            QVERIFY(text.contains("No GPS fix in this range"));
        }
        QByteArray g;
        for (const QString& front : fronts) {
            g += run(bin("orvin-tool"), {"gsensor", front, "--format", "csv"});
        }
        for (int axis = 0; axis < 3; ++axis) {
            const double peak = largest(
                g, 3 + axis,
                [&](const QStringList& f) { return inRange(f, f[2].toDouble() / 1000); }, true);
            QVERIFY2(text.contains(QString("%1 g").arg(peak, 0, 'f', 2)), qPrintable(text));
        }
    }

    // A cancel, a full disk under the copies or the clips, and a recording
    // that goes away leave no pack (not even a hidden part of one) and the
    // card as it was; the message names the cause.
    void failuresLeaveNoPack_data() {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"cancel", "copy full", "clip full", "vanished"}) {
            QTest::newRow(fault) << fault;
        }
    }
    void failuresLeaveNoPack() {
        QFETCH(QString, fault);
        const QString card = _dir.filePath("failing-card");
        QDir(card).removeRecursively();
        QDirIterator it(_card, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString to = card + "/" + QDir(_card).relativeFilePath(it.next());
            QDir().mkpath(QFileInfo(to).absolutePath());
            QVERIFY(QFile::copy(it.filePath(), to));
        }
        RMExportJob job;
        job.layout = RMExportJob::LAYOUT_EVIDENCE;
        job.parts = parts(card, 6, 14);
        QCOMPARE(job.parts.size(), 2);
        job.outDir = _dir.filePath("failed-packs");
        job.cardRoot = card;
        job.threads = 1;
        const QByteArray before = folderHash(card);
        int writes = 0;
        RMFileCopier::setWriteFault(
            [&](qint64, qint64) { return fault == "copy full" && ++writes > 2 ? ENOSPC : 0; });
        RMExportFile::setWriteFault(
            [&](qint64, qint64) { return fault == "clip full" && ++writes > 3 ? ENOSPC : 0; });
        std::atomic<bool> cancel{false};
        const RMExportResult r = RMEvidencePack(job, &cancel).run([&](double fraction) {
            if (fault == "cancel" && fraction > 0.2) {
                cancel = true;
            }
            if (fault == "vanished" && fraction > 0.05) {
                QFile::remove(job.parts[1].source.front);
                QFile::remove(job.parts[1].source.rear);
            }
        });
        RMFileCopier::setWriteFault(nullptr);
        RMExportFile::setWriteFault(nullptr);
        QVERIFY(!r.ok);
        QVERIFY(r.files.isEmpty());
        QVERIFY2(!r.error.isEmpty(), "one message names the cause");
        QCOMPARE(QDir(job.outDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        if (fault.endsWith("full")) {
            QVERIFY2(r.error.contains("No space left"), qPrintable(r.error));
        }
        QCOMPARE(r.cancelled, fault == "cancel");
        if (fault != "vanished") {
            QCOMPARE(folderHash(card), before);
        }
    }

    void speedColoursFollowTheMap() {
        QCOMPARE(RMEvidenceReport::speedColor(0), qRgb(0x7F, 0xED, 0x11));
        QCOMPARE(RMEvidenceReport::speedColor(12.9), qRgb(0x7F, 0xED, 0x11));
        QCOMPARE(RMEvidenceReport::speedColor(13), qRgb(0x35, 0xED, 0x11));
        QCOMPARE(RMEvidenceReport::speedColor(500), qRgb(0xED, 0x11, 0x35));
    }
};

int main(int argc, char** argv) {
    orvin_test::isolateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestEvidence test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_evidence.moc"
