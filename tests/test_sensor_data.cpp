// Sensor records to samples: how many GPS samples there are, what happens
// without a fix, the cap to the video length and the first-fix repair.
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "recordings/rm_sensor_data.h"
#include "test_support.h"

namespace {

// `count` records; GPS sample j (record 10 j) has fixes[j] (default 1),
// speeds[j] (default 40) and second j.
std::vector<uchar> records(int count, const QVector<int>& fixes = {},
                           const QVector<int>& speeds = {}) {
    std::vector<uchar> all(size_t(count) * 64);
    for (int j = 0; j * 10 < count; ++j) {
        uchar* r = all.data() + j * 640;
        qToLittleEndian<quint16>(quint16(j < speeds.size() ? speeds[j] : 40), r + 32);
        r[39] = uchar(j);
        r[41] = uchar(j < fixes.size() ? fixes[j] : 1);
    }
    return all;
}

std::unique_ptr<RMSensorData> load(const std::vector<uchar>& raw, int gpsCount = 0) {
    std::unique_ptr<RMSensorData> data(new RMSensorData(nullptr, FILE_TYPE(0)));
    data->loadMOVGPSNR(raw.data(), uint(raw.size() / 64), gpsCount);
    return data;
}

}  // namespace

class TestSensorData : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gpsSampleCount() {
        QCOMPARE(load(records(25))->gpsCount, 2u);     // every tenth whole record
        QCOMPARE(load(records(25), 7)->gpsCount, 3u);  // no more than records 0, 10, 20
        QCOMPARE(load(records(25), 1)->gpsCount, 1u);
        QCOMPARE(load(records(5))->gpsCount, 0u);
        QCOMPARE(load(records(25), 7)->gps[2].second, quint8(2));
    }

    void withoutFixOnlyAccelerationRemains() {
        auto data = load(records(30, {0, 2, 0}));
        QVERIFY(!data->hasGPS);
        QVERIFY(!data->gps);
        QCOMPARE(data->gpsCount, 3u);
        QCOMPARE(data->sensorCount, 30u);
        QVERIFY(data->sensor);

        data->loadMOVGPSNR(nullptr, 30, 0);
        QVERIFY(!data->sensor && !data->gps && data->sensorCount == 0 && data->gpsCount == 0);
    }

    void clipsToDuration() {
        auto data = load(records(700));
        data->clipWithDuration(61999);
        QCOMPARE(data->sensorCount, 619u);
        QCOMPARE(data->gpsCount, 61u);
        data->clipWithDuration(100000);
        QCOMPARE(data->sensorCount, 619u);
        data->clipWithDuration(-5000);
        QCOMPARE(data->sensorCount + data->gpsCount, 0u);
    }

    void firstFixRepair_data() {
        QTest::addColumn<QVector<int>>("fixes");
        QTest::addColumn<QVector<int>>("speeds");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("source");  // copied over the samples before it; -1 none
        QTest::newRow("fourth fast")
            << QVector<int>{0, 0, 0, 1} << QVector<int>{9, 9, 9, 35} << 6 << 3;
        QTest::newRow("slow one skipped")
            << QVector<int>{0, 0, 0, 1, 1} << QVector<int>{9, 9, 9, 15, 25} << 6 << 4;
        QTest::newRow("20 is not above")
            << QVector<int>{0, 1, 1, 1, 1} << QVector<int>{9, 20, 20, 20, 20} << 6 << -1;
        QTest::newRow("sixth too late")
            << QVector<int>{0, 0, 0, 0, 0, 1} << QVector<int>{} << 6 << -1;
        QTest::newRow("too few samples") << QVector<int>{0, 1} << QVector<int>{} << 5 << -1;
        QTest::newRow("first fixed") << QVector<int>{1, 1} << QVector<int>{} << 6 << -1;
    }
    void firstFixRepair() {
        QFETCH(QVector<int>, fixes);
        QFETCH(QVector<int>, speeds);
        QFETCH(int, samples);
        QFETCH(int, source);
        auto data = load(records(samples * 10, fixes, speeds));
        data->fixGPS();
        for (int i = 0; i < samples; ++i) {
            QCOMPARE(int(data->gps[i].second), source >= 0 && i < source ? source : i);
        }
    }

    void sampleAtAPositionStaysInRange() {
        QCOMPARE(RMSensorData::sampleIndex(0, 10000, 10), qint64(0));
        QCOMPARE(RMSensorData::sampleIndex(9999, 10000, 10), qint64(9));
        QCOMPARE(RMSensorData::sampleIndex(10000, 10000, 10), qint64(9));
        QCOMPARE(RMSensorData::sampleIndex(50000, 10000, 10), qint64(9));
        QCOMPARE(RMSensorData::sampleIndex(-300, 10000, 10), qint64(0));
        QCOMPARE(RMSensorData::sampleIndex(500, 0, 10), qint64(-1));
        QCOMPARE(RMSensorData::sampleIndex(500, -1, 10), qint64(-1));
        QCOMPARE(RMSensorData::sampleIndex(500, 1000, 0), qint64(-1));
        // Far past what 64 bits hold as count times position.
        QCOMPARE(RMSensorData::sampleIndex(qint64(1) << 40, qint64(1) << 41, 0xFFFFFFFFu),
                 qint64(0x7FFFFFFF));
        QCOMPARE(RMSensorData::sampleIndex(9, 9, 0xFFFFFFFFu), qint64(0xFFFFFFFE));
    }

    void impossiblePositionsAreNoFix() {
        // Latitude 95 degrees (NMEA 9500) and a NaN longitude, both flagged fixed.
        std::vector<uchar> raw = records(30);
        const double north = 9500.0;
        memcpy(raw.data() + 8, &north, 8);
        const double nan = std::nan("");
        memcpy(raw.data() + 640 + 16, &nan, 8);
        auto data = load(raw);
        QVERIFY(data->hasGPS);  // sample 2 is fine
        QVERIFY(!data->gpsAt(0, 3000) && !data->gpsAt(1500, 3000));
        QVERIFY(data->gpsAt(2500, 3000));
        // With every fixed sample impossible there is no GPS at all.
        memcpy(raw.data() + 1280 + 8, &north, 8);
        QVERIFY(!load(raw)->hasGPS);
        // The first-fix repair never copies an impossible sample.
        std::vector<uchar> six = records(60, {0, 1, 1}, {9, 30, 30});
        memcpy(six.data() + 640 + 8, &north, 8);
        auto repaired = load(six);
        repaired->fixGPS();
        QCOMPARE(int(repaired->gps[0].second), 2);
    }

    void otherFileTypesStayEmpty() {
        FILE* file = tmpfile();
        QVERIFY(file);
        RMSensorData data(file, FILE_TYPE(2));
        QVERIFY(!data.hasGPS && !data.sensor && !data.gps && data.sensorCount == 0);
        RMSensorData fromEmptyFile(file, FILE_TYPE_MP4);
        QVERIFY(!fromEmptyFile.sensor && fromEmptyFile.sensorCount == 0);
        fclose(file);
    }
};

ORVIN_CORE_TEST_MAIN(TestSensorData)
#include "test_sensor_data.moc"
