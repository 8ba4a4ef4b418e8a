// The command-line companion on generated cards: exports checked against the
// route the generator recorded, GPX against the public schema, and bad input.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>
#include <cstdio>
#include <cstring>

#include "cli/rm_tool.h"
#include "mp4_fixture.h"
#include "test_support.h"

using namespace orvin_test;

namespace {
struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool in this process with its output captured in memory.
Result tool(const QStringList& arguments) {
    char* outBuffer = nullptr;
    size_t outSize = 0;
    char* errBuffer = nullptr;
    size_t errSize = 0;
    FILE* out = open_memstream(&outBuffer, &outSize);
    FILE* err = open_memstream(&errBuffer, &errSize);
    Result result;
    result.code = RMTool(out, err).run(QStringList{"orvin-tool"} + arguments);
    std::fclose(out);
    std::fclose(err);
    result.out = QByteArray(outBuffer, int(outSize));
    result.err = QByteArray(errBuffer, int(errSize));
    std::free(outBuffer);
    std::free(errBuffer);
    return result;
}

QList<QStringList> csvRows(const QByteArray& csv) {
    QList<QStringList> rows;
    for (const QByteArray& line : csv.split('\n')) {
        if (!line.isEmpty()) {
            rows << QString::fromUtf8(line).split(',');
        }
    }
    return rows;
}

bool makeCard(const QString& folder, const QStringList& options) {
    QProcess maker;
    maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                QStringList{folder, "--quiet", "--tiny", "--recordings", "3", "--seconds", "20",
                            "--truth", folder + ".truth.csv"} +
                    options);
    return maker.waitForFinished(60000) && maker.exitCode() == 0;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray be32(quint32 v) {
    QByteArray b(4, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray box(const char* type, const QByteArray& body) {
    return be32(quint32(8 + body.size())) + QByteArray(type, 4) + body;
}

// A 3-second recording of one sensor track with three GPS samples: their
// raw latitudes (degrees and minutes, as the camera writes them) and fixes.
bool writeSensorRecording(const QString& path, const QVector<double>& latitudes,
                          const QVector<int>& fixes) {
    QByteArray records;
    for (int u = 0; u < 30; ++u) {
        char r[64] = {};
        if (u % 10 == 0) {
            qToLittleEndian(latitudes[u / 10], r + 8);
            qToLittleEndian(13945.25, r + 16);
            const char when[] = {24, 5, 17, 8, 30, char(u / 10), 0, char(fixes[u / 10])};
            memcpy(r + 34, when, sizeof when);
        }
        r[53] = 64;
        records += QByteArray(r, sizeof r);
    }
    const QByteArray ftyp = box("ftyp", QByteArray("isom") + be32(0x200) + "isom");
    const quint32 payload = quint32(ftyp.size() + 8);
    QByteArray stsz = be32(0) + be32(0) + be32(30), stco = be32(0) + be32(30);
    for (quint32 u = 0; u < 30; ++u) {
        stsz += be32(64);
        stco += be32(payload + 64 * u);
    }
    const QByteArray stsd = box("stsd", be32(0) + be32(1) + box("gpmd", QByteArray(8, 0)));
    const QByteArray mvhd =
        box("mvhd", be32(0) + be32(0) + be32(0) + be32(1000) + be32(3000) + QByteArray(80, 0));
    const QByteArray trak =
        box("trak",
            box("mdia", box("minf", box("stbl", stsd + box("stsz", stsz) + box("stco", stco)))));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(ftyp + box("mdat", records) + box("moov", mvhd + trak)) > 0;
}
}  // namespace

class TestOrvinTool : public QObject {
    Q_OBJECT

    QString cards;

    // The exported GPS rows must be what the generator recorded.
    void compareWithTruth(const QString& card) {
        const Result gps = tool({"gps", card, "--format", "csv"});
        QCOMPARE(gps.code, 0);
        const QList<QStringList> got = csvRows(gps.out);
        const QList<QStringList> want = csvRows(readAll(card + ".truth.csv"));
        QCOMPARE(got.first(), want.first());  // the header
        QCOMPARE(got.size(), want.size());
        int fixed = 0;
        for (int i = 1; i < got.size(); ++i) {
            const QStringList& g = got[i];
            const QStringList& w = want[i];
            QCOMPARE(g.value(0), w.value(0));  // recording
            QCOMPARE(g.value(1), w.value(1));  // index
            QCOMPARE(g.value(2), w.value(2));  // UTC, to the second
            QCOMPARE(g.value(6), w.value(6));  // fix
            if (w.value(6) == "1") {
                ++fixed;
                QVERIFY(qAbs(g.value(3).toDouble() - w.value(3).toDouble()) <= 1e-6);
                QVERIFY(qAbs(g.value(4).toDouble() - w.value(4).toDouble()) <= 1e-6);
                QCOMPARE(g.value(5), w.value(5));  // km/h, exact
            }
        }
        QVERIFY(fixed > 30);
    }

private Q_SLOTS:
    void initTestCase() {
        cards = home().path() + "/cards";
        if (!makeCard(cards + "/one", {}) ||
            !makeCard(cards + "/two", {"--sensor", "type2", "--layout", "folders"})) {
            QSKIP("the card generator is not built");
        }
    }

    void gpsMatchesTheRecordedRouteInBothLayouts() {
        compareWithTruth(cards + "/one");
        compareWithTruth(cards + "/two");
    }

    void gpxIsValidWithATrackPerRecordingAndBreaksWhereTheFixIsLost() {
        if (QStandardPaths::findExecutable("xmllint").isEmpty()) {
            QSKIP("xmllint not installed");
        }
        const QString out = home().path() + "/one.gpx";
        QCOMPARE(tool({"gps", cards + "/one", "-o", out}).code, 0);
        QProcess lint;
        lint.start("xmllint",
                   {"--noout", "--schema", QStringLiteral(ORVIN_TEST_DATA "/gpx-1.1.xsd"), out});
        QVERIFY(lint.waitForFinished(30000));
        QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError().constData());

        const QByteArray gpx = readAll(out);
        QCOMPARE(gpx.count("<trk>"), 3);
        // Every fixed sample is a point; a lost fix starts a new segment.
        const QList<QStringList> truth = csvRows(readAll(cards + "/one.truth.csv"));
        int points = 0;
        int segments = 0;
        QString previousRecording;
        bool previousFixed = false;
        for (int i = 1; i < truth.size(); ++i) {
            const bool fixed = truth[i].value(6) == "1";
            const bool sameRecording = truth[i].value(0) == previousRecording;
            if (fixed) {
                ++points;
                segments += (!sameRecording || !previousFixed) ? 1 : 0;
            }
            previousRecording = truth[i].value(0);
            previousFixed = fixed;
        }
        QCOMPARE(gpx.count("<trkpt "), points);
        QCOMPARE(gpx.count("<trkseg>"), segments);
    }

    void jsonMirrorsCsv() {
        const QString file = QDir(cards + "/one/DCIM").entryList({"*_1.mp4"}).first();
        const QString path = cards + "/one/DCIM/" + file;
        const QList<QStringList> csv = csvRows(tool({"gps", path, "--format", "csv"}).out);
        const QJsonObject json =
            QJsonDocument::fromJson(tool({"gps", path, "--format", "json"}).out).object();
        const QJsonArray samples =
            json["recordings"].toArray().first().toObject()["samples"].toArray();
        QCOMPARE(samples.size(), csv.size() - 1);
        for (int i = 0; i < samples.size(); ++i) {
            const QJsonObject s = samples[i].toObject();
            QCOMPARE(s["utc"].toString(), csv[i + 1][2]);
            QCOMPARE(QString::number(s["latitude"].toDouble(), 'f', 6), csv[i + 1][3]);
            QCOMPARE(s["fix"].toInt(), csv[i + 1][6].toInt());
        }
    }

    void gsensorSamplesComeTenPerSecond() {
        const QString file = QDir(cards + "/two/DCIM/1").entryList({"*_1.mp4"}).first();
        const Result csv = tool({"gsensor", cards + "/two/DCIM/1/" + file});
        QCOMPARE(csv.code, 0);
        const QList<QStringList> rows = csvRows(csv.out);
        QCOMPARE(rows.first(), QString("recording,index,offset_ms,x,y,z").split(','));
        QCOMPARE(rows.size() - 1, 200);
        QCOMPARE(rows[150][2], QString("14900"));
        for (int i = 1; i < rows.size(); ++i) {
            // Differences of 1/128 g steps: exact in seven decimals.
            const double x = rows[i][3].toDouble() * 128;
            QCOMPARE(x, double(qRound(x)));
        }
        const QJsonObject json =
            QJsonDocument::fromJson(
                tool({"gsensor", cards + "/two/DCIM/1/" + file, "--format", "json"}).out)
                .object();
        QCOMPARE(json["recordings"].toArray().first().toObject()["samples"].toArray().size(), 200);
    }

    void listsAsTheViewerDoes() {
        const Result all = tool({"list", cards + "/two", "--json"});
        QCOMPARE(all.code, 0);
        const QJsonArray rows = QJsonDocument::fromJson(all.out).array();
        QCOMPARE(rows.size(), 3);
        const QJsonObject first = rows.first().toObject();
        QCOMPARE(first["duration_ms"].toInt(), 20000);
        QVERIFY(first["front"].toString().endsWith("/DCIM/1/" + first["recording"].toString() +
                                                   "-000001_1.mp4"));
        QVERIFY(first["rear"].toString().contains("/DCIM/2/"));
        QVERIFY(first["gps"].toBool() && first["gsensor"].toBool());
        QVERIFY(rows[0].toObject()["start"].toString() < rows[1].toObject()["start"].toString());

        const QJsonArray events =
            QJsonDocument::fromJson(tool({"list", cards + "/two", "--event", "--json"}).out)
                .array();
        for (const QJsonValue& row : events) {
            QVERIFY(row.toObject()["group"].toString().endsWith("EF"));
        }
        QVERIFY(events.size() < rows.size());

        // The table: every cell starts where its header does; gps and g
        // read yes or no.
        const QList<QByteArray> lines = tool({"list", cards + "/two"}).out.split('\n');
        const QByteArray header = lines.first();
        QList<int> starts;
        for (int i = 0; i < header.size(); ++i) {
            if (header[i] != ' ' && (i == 0 || header[i - 1] == ' ')) {
                starts << i;
            }
        }
        QCOMPARE(starts.size(), 8);
        for (int row = 1; row <= 3; ++row) {
            const QByteArray line = lines.at(row);
            for (int c : starts) {
                const bool rightAligned = c == starts.at(2);  // the duration
                if (!rightAligned) {
                    QVERIFY2(line[c] != ' ' && (c == 0 || line[c - 1] == ' '), line.constData());
                }
            }
            QCOMPARE(line.mid(starts.at(4), 4), QByteArray("yes "));
            QCOMPARE(line.mid(starts.at(5), 4), QByteArray("yes "));
        }
    }

    // Each command's --help; what list and gps say about files that are
    // not recordings and about cut-off recordings.
    void helpAndWhatIsLeftOut() {
        const Result help = tool({"--help"});
        QCOMPARE(help.code, 0);
        for (const char* command :
             {"list", "gps", "gsensor", "cfg", "recover", "export", "evidence"}) {
            QVERIFY2(help.out.contains(QByteArray("  ") + command + " "), help.out.constData());
            const Result one = tool({command, "--help"});
            QCOMPARE(one.code, 0);
            QVERIFY2(one.out.startsWith(QByteArray("usage: orvin-tool ") + command + " "),
                     one.out.constData());
        }
        QVERIFY(tool({"recover", "--help"}).out.contains("--dry-run"));
        QVERIFY(tool({"export", "--help"}).out.contains("--corner"));

        const QString odd = home().path() + "/not-recordings";
        QDir().mkpath(odd);
        for (const char* name :
             {"/NNF_200101-100000-000001_1.mp4", "/NNF_200101-100100-000002_1.mp4"}) {
            QFile file(odd + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("a shopping list");
        }
        Result result = tool({"list", odd});
        QCOMPARE(result.code, 2);
        QVERIFY2(result.err.contains("2 file(s) left out"), result.err.constData());
        QVERIFY(result.err.contains(odd.toUtf8() + "/NNF_200101-100100-000002_1.mp4: left out: "
                                                   "not a recording"));

        const QString cutCard = home().path() + "/only-cut";
        const QString cut = cutCard + "/NNF_240517-095900-000120_1.mp4";
        QDir().mkpath(cutCard);
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(box("ftyp", QByteArray("isom") + be32(0x200) + "isom") + be32(0) + "mdat" +
                   QByteArray(10000, 'v'));
        file.close();
        for (const QStringList& command :
             {QStringList{"list", cutCard}, QStringList{"gps", cutCard}}) {
            result = tool(command);
            QCOMPARE(result.code, 2);
            QVERIFY2(result.err.contains(cut.toUtf8() + ": cut off"), result.err.constData());
            QVERIFY(result.err.contains("orvin-tool recover " + cutCard.toUtf8()));
        }
        result = tool({"gps", cut});
        QCOMPARE(result.code, 2);
        QVERIFY2(result.err.contains("cut off by a power loss") &&
                     result.err.contains("orvin-tool recover " + cut.toUtf8()),
                 result.err.constData());
    }

    void cfgDecodesTheCardsSettings() {
        // The generator writes the camera's factory record.
        const Result text = tool({"cfg", cards + "/one"});
        QCOMPARE(text.code, 0);
        for (const char* line :
             {"model: VK7300", "Volume:                  2", "G sensor sensitivity:    3",
              "Set Time:                Auto", "Vehicle type weight:     7.5 ton",
              "Direction:               OFF", "Vehicle type trailer:    OFF"}) {
            QVERIFY2(text.out.contains(line), line);
        }
        QVERIFY(text.out.contains("16=0 17=3 18=2 19=1 20=1 21=3 25=10"));

        // A byte no option stands for is shown raw; a truck's trailer types.
        const QString file = home().path() + "/edited.cfg";
        QByteArray record = readAll(cards + "/one/__SYSTEM.CFG");
        record[22] = char(9);     // volume: no such option
        record[72] = char(1);     // truck
        record[77] = char(4);     // Type_Semi
        record[90] = char(0x5A);  // a byte no setting edits
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(record);
        out.close();
        const QJsonObject json =
            QJsonDocument::fromJson(tool({"cfg", file, "--json"}).out).object();
        QHash<QString, QString> shown;
        for (const QJsonValue& setting : json["settings"].toArray()) {
            shown[setting.toObject()["label"].toString()] = setting.toObject()["text"].toString();
        }
        QCOMPARE(shown["Volume"], QString("(raw 9)"));
        QCOMPARE(shown["Vehicle type"], QString("Truck&van"));
        QCOMPARE(shown["Vehicle type trailer"], QString("Type_Semi"));
        bool rawSeen = false;
        for (const QJsonValue& byte : json["unedited"].toArray()) {
            rawSeen |=
                byte.toObject()["offset"].toInt() == 90 && byte.toObject()["byte"].toInt() == 0x5A;
        }
        QVERIFY(rawSeen);
    }

    void badInputGivesOneLineAndNoCrash() {
        auto fails = [](const QStringList& arguments, const char* says) {
            const Result result = tool(arguments);
            QCOMPARE(result.code, 2);
            QCOMPARE(result.err.count('\n'), 1);
            QVERIFY2(result.err.contains(says), result.err.constData());
            QVERIFY(result.out.isEmpty());
        };
        fails({"gps", home().path() + "/missing.mp4"}, "no such file");
        const QString text = home().path() + "/notes_1.mp4";
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a video at all");
        file.close();
        fails({"gps", text}, "not an MP4 recording");
        const QString plain = makeMp4(Video::Black, 2);
        if (!plain.isEmpty()) {
            fails({"gsensor", plain}, "no sensor data");
        }
        const QString empty = home().path() + "/empty";
        QDir().mkpath(empty);
        fails({"gps", empty}, "no recordings");
        fails({"list", text}, "list takes a FOLDER");
        fails({"gps", cards + "/one", "--format", "kml"}, "expected gpx, csv or json");
        fails({"frobnicate"}, "unknown command");
        fails({"cfg", empty}, "no such file");
        fails({"cfg", text}, "not a camera settings file");
    }

    void aFolderWithSomeBadFilesExportsTheGoodOnes() {
        const QString card = cards + "/one";
        const QString bad = card + "/DCIM/NNF_240517-090000-000099_1.mp4";
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        // Named: a file that is not an MP4 and one without a sensor track.
        const QString plain = makeMp4(Video::Black, 2);
        if (plain.isEmpty()) {
            QSKIP("ffmpeg cannot make the fixture");
        }
        placeCopy(plain, card + "/DCIM/NNF_240517-090100-000100_1.mp4");
        const Result result = tool({"gps", card, "--format", "csv"});
        QCOMPARE(result.code, 1);
        QVERIFY(result.err.contains("skipped"));
        QVERIFY(result.err.contains("NNF_240517-090100-000100_1.mp4: no sensor data"));
        QVERIFY(result.err.contains("NNF_240517-090000-000099_1.mp4: not an MP4 recording"));
        QCOMPARE(csvRows(result.out).size() - 1, csvRows(readAll(card + ".truth.csv")).size() - 1);
        QFile::remove(bad);
        QFile::remove(card + "/DCIM/NNF_240517-090100-000100_1.mp4");
    }

    // Nothing to export is a failure, not an empty track; a position that
    // cannot exist counts as no fix.
    void gpsWithoutAFixIsNotASuccess() {
        const QString dir = home().path() + "/nofix";
        const QString none = dir + "/NNF_240517-091000-000101_1.mp4";
        QVERIFY(writeSensorRecording(none, {3540.5, 3540.5, 3540.5}, {0, 0, 0}));
        Result result = tool({"gps", none});
        QCOMPARE(result.code, 2);
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY2(result.err.contains("no GPS fix"), result.err.constData());
        QVERIFY(result.out.isEmpty());

        const QString odd = dir + "/odd/NNF_240517-091100-000102_1.mp4";
        QVERIFY(writeSensorRecording(odd, {9540.5, 3540.5, qQNaN()}, {1, 1, 1}));
        result = tool({"gps", odd, "--format", "csv"});
        QCOMPARE(result.code, 0);
        const QList<QStringList> rows = csvRows(result.out);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[1].value(6), QString("0"));  // latitude 95.675
        QCOMPARE(rows[2].value(6), QString("1"));
        QCOMPARE(rows[3].value(6), QString("0"));  // not a number
        result = tool({"gps", odd});
        QCOMPARE(result.out.count("<trkpt"), 1);

        // In a card: the others are exported, the one without a fix named.
        const QString inCard = cards + "/one/DCIM/NNF_240517-091000-000101_1.mp4";
        QVERIFY(QFile::copy(none, inCard));
        result = tool({"gps", cards + "/one", "--format", "csv"});
        QFile::remove(inCard);
        QCOMPARE(result.code, 1);
        QVERIFY(result.err.contains("NNF_240517-091000-000101_1.mp4: no GPS fix"));
    }

    void outputProblemsFailWithOneLine() {
        const QString input = home().path() + "/o/NNF_240517-091000-000101_1.mp4";
        QVERIFY(writeSensorRecording(input, {3540.5, 3540.5, 3540.5}, {1, 1, 1}));
        // Standard output that cannot take the data (a full disk).
        FILE* full = std::fopen("/dev/full", "w");
        QVERIFY(full);
        char* errBuffer = nullptr;
        size_t errSize = 0;
        FILE* err = open_memstream(&errBuffer, &errSize);
        const int code = RMTool(full, err).run({"orvin-tool", "gps", input});
        std::fclose(full);
        std::fclose(err);
        const QByteArray said(errBuffer, int(errSize));
        std::free(errBuffer);
        QCOMPARE(code, 2);
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.contains("cannot write to standard output"), said.constData());

        // -o naming an input would overwrite a recording.
        const QByteArray before = readAll(input);
        for (const QStringList& arguments :
             {QStringList{"gps", input, "-o", input},
              QStringList{"gsensor", input, "-o",
                          home().path() + "/o/../o/" + QFileInfo(input).fileName()}}) {
            const Result result = tool(arguments);
            QCOMPARE(result.code, 2);
            QVERIFY2(result.err.contains("one of the inputs"), result.err.constData());
        }
        const QDir dcim(cards + "/two/DCIM/2");
        const QString rear = dcim.filePath(dcim.entryList({"*.mp4"}).first());
        const QByteArray rearBefore = readAll(rear);
        QCOMPARE(tool({"gps", cards + "/two", "-o", rear}).code, 2);
        QCOMPARE(readAll(rear), rearBefore);
        QCOMPARE(readAll(input), before);
    }

    void listNamesWhatItLeavesOut() {
        const QString empty = home().path() + "/list-empty";
        QDir().mkpath(empty);
        Result result = tool({"list", empty});
        QCOMPARE(result.code, 2);
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY(result.err.contains("no recordings"));

        // A recording cut off by a power loss: media data of size 0, no index.
        const QString cut = cards + "/one/DCIM/NNF_240517-095900-000120_1.mp4";
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(box("ftyp", QByteArray("isom") + be32(0x200) + "isom") + be32(0) + "mdat" +
                   QByteArray(10000, 'v'));
        file.close();
        result = tool({"list", cards + "/one"});
        QFile::remove(cut);
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(cut.toUtf8() + ": cut off, no index"), result.err.constData());
        QCOMPARE(result.out.count('\n'), 1 + 3);
    }

    void csvQuotesNamesWithCommasAndQuotes() {
        const QString odd = home().path() + "/quote/a,\"b\"_1.mp4";
        QVERIFY(writeSensorRecording(odd, {3540.5, 3540.5, 3540.5}, {1, 1, 1}));
        for (const char* command : {"gps", "gsensor"}) {
            const Result result = tool({command, odd, "--format", "csv"});
            QCOMPARE(result.code, 0);
            const QList<QByteArray> lines = result.out.split('\n');
            QVERIFY2(lines.value(1).startsWith("\"a,\"\"b\"\"\",0,"), lines.value(1).constData());
        }
    }
};

ORVIN_CORE_TEST_MAIN(TestOrvinTool)
#include "test_orvin_tool.moc"
