// The viewer's offer to recover cut-off recordings after a folder is opened.
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include "app/rm_app.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_video_file_list.h"
#include "recovery/rm_recover_output.h"
#include "recovery/rm_recovery.h"
#include "test_support.h"
#include "ui/rm_recover_offer.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first `cut` bytes of a recording, its media data's size zeroed.
bool cutOff(const QString& path, qint64 cut) {
    RMMp4Index index;
    if (!index.open(path) || !index.mdat()) {
        return false;
    }
    QByteArray bytes = readAll(path).left(int(cut));
    for (int i = 0; i < 4; ++i) {
        bytes[int(index.mdat()->pos) + i] = 0;
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
}  // namespace

class TestRecoverOffer : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    QString _card;
    QString _cut;

    // Announces the folder as a finished load does and waits for the offer.
    bool load(RMRecoverOffer& offer) {
        QSignalSpy finished(&offer, &RMRecoverOffer::finished);
        RMVideoFileList* list = RMVideoFileList::instance();
        emit list->folderScanned(_card, 4);
        emit list->listUpdateEnd(true);
        return finished.wait(60000);
    }

private slots:
    void initTestCase() {
        _card = _dir.filePath("card");
        QProcess maker;
        maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                    {_card, "--quiet", "--recordings", "2", "--seconds", "3", "--front-size",
                     "160x120", "--rear-size", "160x120", "--jobs", "1"});
        QVERIFY(maker.waitForFinished(120000) && maker.exitCode() == 0);
        const QStringList fronts =
            QDir(_card + "/DCIM").entryList({"*_1.mp4"}, QDir::Files, QDir::Name);
        QCOMPARE(fronts.size(), 2);
        _cut = _card + "/DCIM/" + fronts.at(1);
        QVERIFY(cutOff(_cut, QFileInfo(_cut).size() * 2 / 3));
    }

    // Declined: nothing is written.
    void declined() {
        QWidget window;
        QString opened;
        RMRecoverOffer offer(&window, [&](const QString& folder) { opened = folder; });
        QStringList asked;
        offer.setAsk([&](const QString&, const QString& text) {
            asked << text;
            return false;
        });
        QVERIFY(load(offer));
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.at(0).startsWith("1 recording(s)"), qPrintable(asked.at(0)));
        QVERIFY(!QFileInfo::exists(RMRecovery::recoveredFolder(_cut)));
        QVERIFY(opened.isEmpty());
    }

    // Accepted: the recording is recovered into the documents folder under
    // the card's name, the card is left as it was, and the folder opens.
    void acceptedAndOpened() {
        const QByteArray before = readAll(_cut);
        QWidget window;
        QString opened;
        RMRecoverOffer offer(&window, [&](const QString& folder) { opened = folder; });
        QStringList asked;
        offer.setAsk([&](const QString&, const QString& text) {
            asked << text;
            return true;
        });
        QVERIFY(load(offer));
        QCOMPARE(asked.size(), 2);
        QVERIFY2(asked.at(1).startsWith("1 recording(s) recovered to"), qPrintable(asked.at(1)));
        const QString folder = RMRecovery::recoveredFolder(_cut);
        QCOMPARE(folder, QDir::cleanPath(RMApp::documentsFolder() + "/recovered/card"));
        QCOMPARE(opened, folder);
        RMMp4Index recovered;
        QVERIFY(recovered.open(folder + "/" + QFileInfo(_cut).fileName()));
        QVERIFY(recovered.isComplete());
        QCOMPARE(readAll(_cut), before);
    }

    // A healthy card (the same recordings, none cut off): no question.
    void nothingToOffer() {
        const QString healthy = _dir.filePath("healthy");
        QVERIFY(QDir().mkpath(healthy + "/DCIM"));
        for (const QString& name : QDir(_card + "/DCIM").entryList(QDir::Files)) {
            if (name != QFileInfo(_cut).fileName()) {
                QVERIFY(QFile::copy(_card + "/DCIM/" + name, healthy + "/DCIM/" + name));
            }
        }
        QCOMPARE(QDir(healthy + "/DCIM").entryList(QDir::Files).size(), 3);
        QWidget window;
        RMRecoverOffer offer(&window, nullptr);
        bool asked = false;
        offer.setAsk([&](const QString&, const QString&) { return asked = true; });
        QSignalSpy finished(&offer, &RMRecoverOffer::finished);
        emit RMVideoFileList::instance()->folderScanned(healthy, 3);
        emit RMVideoFileList::instance()->listUpdateEnd(true);
        QVERIFY(finished.wait(10000));
        QVERIFY(!asked);
    }

    // While a backup owns the progress popup, an accepted recovery waits
    // for its end and says so.
    void waitsForABackup() {
        const QString folder = RMRecovery::recoveredFolder(_cut);
        QDir(folder).removeRecursively();
        RMVideoFileList* list = RMVideoFileList::instance();
        QVERIFY(list->reserveBackup());
        QWidget window;
        RMRecoverOffer offer(&window, nullptr);
        QStringList asked;
        offer.setAsk([&](const QString&, const QString& text) {
            asked << text;
            return true;
        });
        QSignalSpy finished(&offer, &RMRecoverOffer::finished);
        emit list->folderScanned(_card, 4);
        emit list->listUpdateEnd(true);
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 20000);
        QVERIFY2(asked.at(0).contains("starts when the backup ends"), qPrintable(asked.at(0)));
        QTest::qWait(500);
        QVERIFY(finished.isEmpty());
        QVERIFY(!QFileInfo::exists(folder));
        list->runReservedBackup(folder, {});  // the backup ends
        emit list->backupEnd();
        QVERIFY(finished.wait(60000));
        QVERIFY2(asked.last().startsWith("1 recording(s) recovered to"), qPrintable(asked.last()));
    }

    // Closing the viewer during a recovery cancels it and leaves no
    // temporary file; leftovers of our own are removed when one starts.
    void closingCancelsTheRecovery() {
        const QString folder = RMRecovery::recoveredFolder(_cut);
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        const QString ours = folder + "/." + QFileInfo(_cut).fileName() + ".recovering-Ab12Cd";
        const QString theirs = folder + "/notes.recovering-Ab12Cd";
        for (const QString& path : {ours, theirs}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // A slow card: every write of the output takes a while.
        RMRecoverOutput::setWriteFault([](qint64) {
            QThread::msleep(400);
            return 0;
        });
        QWidget window;
        RMRecoverOffer offer(&window, nullptr);
        QStringList asked;
        offer.setAsk([&](const QString&, const QString& text) {
            if (asked.isEmpty()) {
                QTimer::singleShot(
                    150, [] { emit RMApp::instance()->appEvent(RMApp::EVENT_APP_CLOSING); });
            }
            asked << text;
            return true;
        });
        QVERIFY(load(offer));
        RMRecoverOutput::setWriteFault(nullptr);
        QVERIFY2(asked.last().contains("cancelled"), qPrintable(asked.last()));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"notes.recovering-Ab12Cd"}));
    }
};

ORVIN_TEST_MAIN(TestRecoverOffer)
#include "test_recover_offer.moc"
