// The camera settings record: byte-exact loading and saving, short, long and
// foreign files, and saves that fail part-way (faults injected, since tests
// run as root and permissions would not stop them) never touching the file.
#include <cerrno>
#include <cstring>

#include "settings/cfg.h"
#include "test_support.h"

namespace {
QByteArray record(const unsigned char* bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes), CFG::SIZE);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A camera's record with every byte after the name moved off its default,
// so a byte lost or shifted shows.
QByteArray cameraRecord() {
    QByteArray bytes = record(CFG::defaults);
    for (int i = 16; i < CFG::SIZE; ++i) {
        bytes[i] = static_cast<char>(bytes[i] + 1 + i % 7);
    }
    return bytes;
}
}  // namespace

class TestCfg : public QObject {
    Q_OBJECT

    QString path;

private Q_SLOTS:
    void init() {
        const QString folder = orvin_test::home().path() + "/" + QTest::currentTestFunction();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        path = folder + "/__SYSTEM.CFG";
        std::memset(CFG::data, 0, CFG::SIZE);
        std::memset(CFG::stored, 0, CFG::SIZE);
        CFG::injectFault(CFG::SAVE_NONE, 0);
    }

    void defaultRecordHoldsTheFactoryValues() {
        CFG::setDefault();
        const QByteArray bytes = record(CFG::data);
        QCOMPARE(bytes.left(16), QByteArray("VK7300\0\0\0\0\0\0\0\0\0\0", 16));
        QCOMPARE(bytes.mid(16, 16), QByteArray("\0\3\2\1\1\3\3\0\4\12\12\12\0\0\1\2", 16));
        QCOMPARE(bytes.mid(42, 21), QByteArray("\0\0\1\0\0\0\0\0\1\1\0\3\0\1\1\1\0\7\1\0\0", 21));
        // Weight 7.5 t and length 5.0 m, high byte first; time zone automatic.
        QCOMPARE(bytes.mid(71, 14), QByteArray("\5\0\0\113\0\62\0\0\31\0\0\0\1\0", 14));
        // Reset never touches the copy that Cancel returns to.
        QCOMPARE(record(CFG::stored), QByteArray(CFG::SIZE, '\0'));
    }

    void loadThenSaveGivesTheSameBytes() {
        const QByteArray original = cameraRecord();
        writeFile(path, original);
        writeFile(CFG::temporaryPath(path), "left over from a pulled card");
        QVERIFY(CFG::load(path));
        QCOMPARE(record(CFG::stored), original);
        QVERIFY(CFG::save(path));
        QCOMPARE(readAll(path), original);
        QVERIFY(!QFile::exists(CFG::temporaryPath(path)));
    }

    void shortAndLongFilesBecomeOneRecord() {
        writeFile(path, "VK7300");
        QVERIFY(CFG::load(path));
        QCOMPARE(record(CFG::data), QByteArray("VK7300") + QByteArray(90, '\0'));
        const QByteArray longer = cameraRecord() + QByteArray(104, 'x');
        writeFile(path, longer);
        QVERIFY(CFG::load(path));
        QVERIFY(CFG::save(path));
        QCOMPARE(readAll(path), longer.left(96));
    }

    void foreignOrMissingFiles() {
        for (const QByteArray& foreign :
             {QByteArray("VK7200 etc"), QByteArray("VK73"), QByteArray()}) {
            std::memset(CFG::data, 0x11, CFG::SIZE);
            writeFile(path, foreign);
            QVERIFY(!CFG::load(path));
            QCOMPARE(record(CFG::data), record(CFG::defaults));
            QCOMPARE(readAll(path), foreign);
        }
        // A missing file leaves the record as it was.
        QFile::remove(path);
        std::memset(CFG::data, 0x22, CFG::SIZE);
        QVERIFY(!CFG::load(path));
        QCOMPARE(record(CFG::data), QByteArray(CFG::SIZE, 0x22));
        QCOMPARE(record(CFG::stored), QByteArray(CFG::SIZE, 0x22));
    }

    void failedSaveLeavesTheOldFile_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::newRow("write-protected card") << int(CFG::SAVE_OPEN) << EROFS;
        QTest::newRow("full card") << int(CFG::SAVE_WRITE) << ENOSPC;
        QTest::newRow("pulled while syncing") << int(CFG::SAVE_SYNC) << EIO;
        QTest::newRow("copy reads back wrong") << int(CFG::SAVE_CHECK) << EIO;
        QTest::newRow("rename refused") << int(CFG::SAVE_RENAME) << EIO;
    }

    void failedSaveLeavesTheOldFile() {
        QFETCH(int, step);
        QFETCH(int, error);
        const QByteArray original = cameraRecord();
        writeFile(path, original);
        QVERIFY(CFG::load(path));
        CFG::data[22] = 1;

        CFG::injectFault(CFG::SAVE_STEP(step), error);
        QVERIFY(!CFG::save(path));
        QCOMPARE(int(CFG::lastSaveError().step), step);
        QCOMPARE(CFG::lastSaveError().error, error);
        QVERIFY(CFG::lastSaveLeftFileUnchanged());
        QCOMPARE(readAll(path), original);
        QVERIFY(!QFile::exists(CFG::temporaryPath(path)));
        // Cancel still returns to what the card holds.
        QCOMPARE(record(CFG::stored), original);

        CFG::injectFault(CFG::SAVE_NONE, 0);
        QVERIFY(CFG::save(path));
        QCOMPARE(readAll(path).at(22), char(1));
    }

    // After the rename the card holds the new file; stored must say so, or
    // Cancel would bring back values the card no longer has.
    void failureAfterTheRenameLeavesStoredAsOnTheCard() {
        writeFile(path, cameraRecord());
        QVERIFY(CFG::load(path));
        CFG::data[22] = 1;
        CFG::injectFault(CFG::SAVE_FOLDER_SYNC, EIO);
        QVERIFY(!CFG::save(path));
        QCOMPARE(CFG::lastSaveError().step, CFG::SAVE_FOLDER_SYNC);
        QVERIFY(!CFG::lastSaveLeftFileUnchanged());
        QCOMPARE(CFG::lastSaveCardState(), CFG::CARD_NEW);
        QCOMPARE(readAll(path).at(22), char(1));
        QCOMPARE(record(CFG::stored), readAll(path));

        // The card hands back other bytes than were written.
        CFG::data[22] = 2;
        CFG::injectFault(CFG::SAVE_READ_BACK, EIO);
        QVERIFY(!CFG::save(path));
        QCOMPARE(CFG::lastSaveError().step, CFG::SAVE_READ_BACK);
        QCOMPARE(CFG::lastSaveCardState(), CFG::CARD_OTHER);
        QByteArray seen = readAll(path);
        seen[0] = char(seen[0] ^ 0x55);  // what the faulty card returned
        QCOMPARE(record(CFG::stored), seen);
        CFG::restore();
        QCOMPARE(record(CFG::data), seen);
    }

    // Real failures, without injected faults: a folder that is not there,
    // and a settings "file" that is a directory.
    void realErrorPaths() {
        writeFile(path, cameraRecord());
        QVERIFY(CFG::load(path));
        const QByteArray before = record(CFG::stored);
        CFG::data[22] = 1;
        const QString missing = QFileInfo(path).path() + "/no-such-folder/__SYSTEM.CFG";
        QVERIFY(!CFG::save(missing));
        QCOMPARE(CFG::lastSaveError().step, CFG::SAVE_OPEN);
        QCOMPARE(CFG::lastSaveError().error, ENOENT);
        QCOMPARE(CFG::lastSaveCardState(), CFG::CARD_UNCHANGED);
        QCOMPARE(record(CFG::stored), before);

        const QString folder = QFileInfo(path).path() + "/a-directory";
        QDir().mkpath(folder + "/inside");
        QVERIFY(!CFG::save(folder));
        QCOMPARE(CFG::lastSaveError().step, CFG::SAVE_RENAME);
        QVERIFY(CFG::lastSaveLeftFileUnchanged());
        QVERIFY(QFileInfo(folder + "/inside").isDir());
        QVERIFY(!QFile::exists(CFG::temporaryPath(folder)));
        QCOMPARE(record(CFG::stored), before);
    }
};

ORVIN_CORE_TEST_MAIN(TestCfg)
#include "test_cfg.moc"
