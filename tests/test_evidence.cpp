// The facts an evidence report states about a range, and the report itself
// as a reader of the PDF gets it (pdftotext), in both languages.
#include <QGuiApplication>
#include <QProcess>

#include "export/rm_evidence_facts.h"
#include "export/rm_evidence_report.h"
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

private Q_SLOTS:
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
