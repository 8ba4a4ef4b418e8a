// The viewer's offer to recover cut-off recordings after a folder is opened.
#include <QProcess>
#include <QSignalSpy>

#include "app/rm_app.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_video_file_list.h"
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

    // A healthy card: no question at all.
    void nothingToOffer() {
        const QString healthy = _dir.filePath("healthy");
        QVERIFY(QDir().mkpath(healthy));
        QWidget window;
        RMRecoverOffer offer(&window, nullptr);
        bool asked = false;
        offer.setAsk([&](const QString&, const QString&) { return asked = true; });
        QSignalSpy finished(&offer, &RMRecoverOffer::finished);
        emit RMVideoFileList::instance()->folderScanned(healthy, 0);
        emit RMVideoFileList::instance()->listUpdateEnd(true);
        QVERIFY(finished.wait(10000));
        QVERIFY(!asked);
    }
};

ORVIN_TEST_MAIN(TestRecoverOffer)
#include "test_recover_offer.moc"
