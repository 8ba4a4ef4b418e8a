// Recording items and the recording list: the file-name grammar, titles,
// pairing of front and rear files in both card layouts, the rear-video check,
// the folder depth limit, filters, navigation and loading on the pool.
#include <QSignalSpy>
#include <QThreadPool>
#include <thread>

#include "app/rm_language.h"
#include "mp4_fixture.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_file_list_loader.h"
#include "recordings/rm_video_item_2ch.h"
#include "test_support.h"

using namespace orvin_test;

namespace {
QString touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return path;
}

// Scans a folder and loads it synchronously on this thread.
RMVideoFileList* loadFolder(const QString& folder) {
    QList<QUrl> urls;
    RMVideoFileList::appendFolderToList(folder, urls, 0);
    RMVideoFileList::instance()->loadFromList(urls);
    return RMVideoFileList::instance();
}

QStringList names(const QList<RMVideoItem*>& items) {
    QStringList out;
    for (RMVideoItem* item : items) {
        out << QFileInfo(item->primaryPath()).fileName();
    }
    return out;
}
}  // namespace

class TestVideoList : public QObject {
    Q_OBJECT

    QString root;
    QString busy;
    QString black;
    QString longRear;

    QString card(const QString& name) {
        const QString path = root + "/" + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

private Q_SLOTS:
    void initTestCase() {
        // First asked for on another thread, the list still belongs to the
        // GUI thread, where its hand-over slot must run.
        std::thread([] { RMVideoFileList::instance(); }).join();
        QCOMPARE(RMVideoFileList::instance()->thread(), QCoreApplication::instance()->thread());
        // A zone with daylight saving, so local-time rules would show.
        qputenv("TZ", "Europe/Berlin");
        root = home().path() + "/cards";
        busy = makeMp4(Video::Busy, 2);
        black = makeMp4(Video::Black, 3);
        longRear = makeMp4(Video::Black, 6);
        if (busy.isEmpty() || black.isEmpty() || longRear.isEmpty()) {
            QSKIP("ffmpeg cannot make the fixtures");
        }
    }

    void nameGrammar() {
        const QString dir = card("names");
        QDateTime when;
        QCOMPARE(RMVideoItem::IsFeasible(touch(dir + "/NEF_200229-000000-000001_1.MP4"), &when),
                 int(GROUP_NEF));
        QCOMPARE(when, QDateTime(QDate(2020, 2, 29), QTime(0, 0, 0), Qt::UTC));
        // 30 February rolls into March.
        QCOMPARE(RMVideoItem::IsFeasible(touch(dir + "/NNF_190230-101010-000002_2.mp4"), &when),
                 int(GROUP_NNF));
        QCOMPARE(when, QDateTime(QDate(2019, 3, 2), QTime(10, 10, 10), Qt::UTC));
        // The camera's clock knows no daylight saving: a time inside the
        // local spring-forward gap is still a recording.
        QCOMPARE(RMVideoItem::IsFeasible(touch(dir + "/NNF_210328-023000-000005_1.mp4"), &when),
                 int(GROUP_NNF));
        QCOMPARE(when.time(), QTime(2, 30, 0));
        QCOMPARE(RMVideoItem::IsFeasible(touch(dir + "/pmf_210101-120000-000004_1.mp4")),
                 int(GROUP_PNF));
        QCOMPARE(RMVideoItem::IsFeasible(touch(dir + "/PEF_210101-120000-000004_1.mp4")),
                 int(GROUP_PEF));

        for (const char* bad : {"NNF_200101-1200-000003_1.mp4", "NNF_200101-120000-000003-9_1.mp4",
                                "XXF_200101-120000-000003_1.mp4", "NNF_201301-120000-000003_1.mp4",
                                "NNF_200101-250000-000003_1.mp4"}) {
            QVERIFY2(RMVideoItem::IsFeasible(touch(dir + "/" + bad)) == GROUP_NONE, bad);
        }
        QCOMPARE(RMVideoItem::IsFeasible(dir + "/NNF_200101-120000-000009_1.mp4"), int(GROUP_NONE));
    }

    void titlesAndDurations() {
        QCOMPARE(RMVideoItem::durationString(59999), QString("00:59"));
        QCOMPARE(RMVideoItem::durationString(60000), QString("01:00"));
        QCOMPARE(RMVideoItem::durationString(3599999), QString("59:59"));
        QCOMPARE(RMVideoItem::durationString(3600000), QString("01:00:00"));

        const QString dir = card("titles");
        placeCopy(busy, dir + "/NEF_200131-235959-000123_2.mp4");
        QDateTime when(QDate(2020, 1, 31), QTime(23, 59, 59));
        RMVideoItem item(dir + "/NEF_200131-235959-000123_2.mp4", true, &when);
        QVERIFY(item.durationMs >= 1900 && item.durationMs <= 2100);
        QVERIFY(item.frontPath.isEmpty());
        QCOMPARE(item.title(), QString("NEF_200131-235959"));
        QCOMPARE(item.titlePrefix(), QString("NEF"));
        QCOMPARE(item.titleCapture(1500), QString("NEF_200201-000000"));
        item.durationMs = 6000000;
        QCOMPARE(item.titleDuration(), QString("100:00"));

        RMLanguage* language = RMLanguage::instance();
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(item.typeString(), QString("NEF"));
        QCOMPARE(item.titleFrontRear(), QString("R"));
        language->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(item.typeString(), QString("常時"));
        QCOMPARE(item.titleFrontRear(), QString("後"));
        item.frontPath = dir + "/x_1.mp4";
        QCOMPARE(item.titleFrontRear(), QString("前後"));
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
    }

    void itemsOfMissingOrVanishedFiles() {
        QDateTime when = QDateTime::currentDateTime();
        {
            RMVideoItem missing(root + "/none/NNF_200101-120000-000001_1.mp4", false, &when);
            QCOMPARE(missing.durationMs, 0u);
            QCOMPARE(missing.sensorData, nullptr);
            QVERIFY(!missing.checked);
        }  // destroyed without touching unset members

        const QString path = card("vanish") + "/NNF_200101-120000-000001_1.mp4";
        placeCopy(busy, path);
        RMVideoItem item(path, false, &when);
        QVERIFY(item.durationMs > 0);
        QFile::remove(path);
        QSignalSpy failed(&item, SIGNAL(loadAVIInfoFail()));
        item.loadAVIInfo();
        QCOMPARE(item.sensorData, nullptr);
        QCOMPARE(failed.count(), 1);
    }

    void sortsByTimeThenGroup() {
        QDateTime when(QDate(2020, 1, 1), QTime(12, 0));
        RMVideoItem a(QString(), false, &when), b(QString(), false, &when);
        a.dateTime = b.dateTime = when;
        a.groupType = GROUP_NEF;
        b.groupType = GROUP_NNF;
        QVERIFY(RMVideoItemCompare(&b, &a));
        QVERIFY(!RMVideoItemCompare(&a, &b));
        a.dateTime = when.addSecs(-1);
        QVERIFY(RMVideoItemCompare(&a, &b));
    }

    void pairsFilesSideBySide() {
        const QString dir = card("side");
        placeCopy(busy, dir + "/a/NNF_200101-100000-000001_1.mp4");
        placeCopy(busy, dir + "/a/NNF_200101-100000-000001_2.mp4");
        placeCopy(busy, dir + "/a/NNF_200101-100100-000002_1.mp4");
        // The same recording copied elsewhere in the tree is not listed twice:
        // the first one scanned (folder a) wins.
        placeCopy(busy, dir + "/b/NNF_200101-100000-000001_1.mp4");
        RMVideoFileList* list = loadFolder(dir);
        QCOMPARE(list->allItems().size(), 2);
        RMVideoItem* first = list->allItems().first();
        QVERIFY(first->frontPath.endsWith("/side/a/NNF_200101-100000-000001_1.mp4"));
        QVERIFY(first->rearPath.endsWith("/side/a/NNF_200101-100000-000001_2.mp4"));
        QVERIFY(list->allItems().at(1)->rearPath.isEmpty());
    }

    void pairsFilesInChannelFolders() {
        const QString dir = card("folders");
        placeCopy(busy, dir + "/DCIM/1/NNF_200101-100000-000001_1.mp4");
        placeCopy(busy, dir + "/DCIM/2/NNF_200101-100000-000001_2.mp4");
        placeCopy(busy, dir + "/DCIM/1/NNF_200101-100100-000002_1.mp4");
        // A rear file alone in its folder becomes a rear-only recording.
        placeCopy(busy, dir + "/DCIM/2/NEF_200101-100200-000003_2.mp4");
        RMVideoFileList* list = loadFolder(dir);
        QCOMPARE(names(list->allItems()),
                 QStringList({"NNF_200101-100000-000001_1.mp4", "NNF_200101-100100-000002_1.mp4",
                              "NEF_200101-100200-000003_2.mp4"}));
        QVERIFY(
            list->allItems().at(0)->rearPath.endsWith("/DCIM/2/NNF_200101-100000-000001_2.mp4"));
        QVERIFY(list->allItems().at(2)->frontPath.isEmpty());
        QVERIFY(!list->allItems().at(2)->rearPath.isEmpty());
    }

    void rearFilesWithoutVideoAreDropped() {
        const QString dir = card("rear");
        // Up to 5 s the video samples are summed: a black picture is no video.
        placeCopy(busy, dir + "/NNF_200101-100000-000001_1.mp4");
        placeCopy(black, dir + "/NNF_200101-100000-000001_2.mp4");
        placeCopy(black, dir + "/NNF_200101-100100-000002_2.mp4");
        // Longer files are judged by the rear-video flag.
        placeCopy(busy, dir + "/NNF_200101-100200-000003_1.mp4");
        placeCopy(longRear, dir + "/NNF_200101-100200-000003_2.mp4");
        appendUseaBox(dir + "/NNF_200101-100200-000003_2.mp4", 1);
        placeCopy(busy, dir + "/NNF_200101-100300-000004_1.mp4");
        placeCopy(longRear, dir + "/NNF_200101-100300-000004_2.mp4");
        appendUseaBox(dir + "/NNF_200101-100300-000004_2.mp4", 0);
        RMVideoFileList* list = loadFolder(dir);
        QCOMPARE(names(list->allItems()),
                 QStringList({"NNF_200101-100000-000001_1.mp4", "NNF_200101-100200-000003_1.mp4",
                              "NNF_200101-100300-000004_1.mp4"}));
        QVERIFY(list->allItems().at(0)->rearPath.isEmpty());
        QVERIFY(!list->allItems().at(1)->rearPath.isEmpty());
        QVERIFY(list->allItems().at(2)->rearPath.isEmpty());
    }

    void scansFiveFolderLevels() {
        const QString dir = card("deep");
        placeCopy(busy, dir + "/a/b/c/d/e/NNF_200101-100000-000001_1.mp4");
        placeCopy(busy, dir + "/a/b/c/d/e/f/NNF_200101-100100-000002_1.mp4");
        placeCopy(busy, dir + "/NNF_200101-100200-000003_1.MP4");
        touch(dir + "/NNF_200101-100300-000004_1.mov");
        QList<QUrl> urls;
        RMVideoFileList::appendFolderToList(dir, urls, 0);
        QStringList found;
        for (const QUrl& url : urls) {
            found << url.fileName();
        }
        QCOMPARE(found,
                 QStringList({"NNF_200101-100000-000001_1.mp4", "NNF_200101-100200-000003_1.MP4"}));
    }

    void filtersAndNavigation() {
        const QString dir = card("filter");
        const char* files[] = {"NNF_200101-100000-000001_1.mp4", "NEF_200101-100100-000002_1.mp4",
                               "PNF_200101-100200-000003_1.mp4", "PEF_200101-100300-000004_1.mp4",
                               "PMF_200101-100400-000005_1.mp4"};
        for (const char* name : files) {
            placeCopy(busy, dir + "/" + name);
        }
        RMVideoFileList* list = loadFolder(dir);
        QCOMPARE(list->shownItems().size(), 5);
        list->shownItems().at(1)->checked = true;
        list->setFilter(FILTER_NORMAL, false);
        QCOMPARE(names(list->shownItems()),
                 QStringList({"NEF_200101-100100-000002_1.mp4", "PEF_200101-100300-000004_1.mp4"}));
        QVERIFY(!list->shownItems().at(0)->checked);  // ticks are cleared
        list->setFilter(FILTER_NORMAL, true);
        list->setFilter(FILTER_EVENT, false);
        QCOMPARE(list->shownItems().size(), 3);
        list->setFilter(FILTER_EVENT, true);

        QSignalSpy found(list, SIGNAL(playItemFound(RMVideoItem*, int)));
        QSignalSpy none(list, SIGNAL(playNoMoreItem()));
        list->onPlayNextVideo(-1);  // nothing plays: nothing happens
        QCOMPARE(found.count() + none.count(), 0);

        list->setCurrentItem(list->shownItems().last());
        QCOMPARE(list->nexItem(true), list->shownItems().first());  // wraps
        QVERIFY(list->isNextPlayItemExist(true));
        list->onPlayNextVideo(-1);
        QCOMPARE(found.last().at(0).value<RMVideoItem*>(), list->shownItems().first());
        QCOMPARE(found.last().at(1).toInt(), 4);

        list->setCurrentItem(list->shownItems().first());
        QVERIFY(!list->isNextPlayItemExist(false));
        QCOMPARE(list->nexItem(false), nullptr);
        list->onPlayPreviousVideo(-1);
        QCOMPARE(none.count(), 1);
        list->onPlayPreviousVideo(3);
        QCOMPARE(found.last().at(0).value<RMVideoItem*>(), list->shownItems().at(2));

        // Busy switching in another recording: requests wait.
        list->setBusyCheck([]() { return true; });
        list->onPlayNextVideo(0);
        QCOMPARE(found.count(), 2);
        list->setBusyCheck(nullptr);

        RMVideoItem* removed = list->shownItems().at(1);
        QCOMPARE(list->removeItem(removed), 1);
        QCOMPARE(list->allItems().size(), 4);
        QCOMPARE(list->removeItem(removed), -1);
    }

    void progressStaysOnItsScale() {
        QList<QUrl> urls;
        for (int i = 0; i < 1000; ++i) {
            urls << QUrl::fromLocalFile(root +
                                        QString("/nothing/NNF_200101-100000-%1_1.mp4").arg(i));
        }
        RMVideoFileList* list = RMVideoFileList::instance();
        QSignalSpy progress(list, SIGNAL(updateProgress(int)));
        list->loadFromList(urls);
        QSet<int> values;
        for (const QList<QVariant>& args : progress) {
            values.insert(args.at(0).toInt());
        }
        QVERIFY(values.size() <= 365);
        QCOMPARE(progress.last().at(0).toInt(), 364);
        QVERIFY(list->allItems().isEmpty());
    }

    void loadsOnThePoolAndHandsOverOnce() {
        const QString dir = card("pool");
        placeCopy(busy, dir + "/NNF_200101-100000-000001_1.mp4");
        placeCopy(busy, dir + "/NNF_200101-100000-000001_2.mp4");
        RMVideoFileList* list = RMVideoFileList::instance();
        QueuedSpy started(list, &RMVideoFileList::listUpdateStarted);
        QueuedSpy ended(list, &RMVideoFileList::listUpdateEnd);
        RMVideoFileListLoader::startForFolder(dir);
        QTRY_VERIFY(ended.calls.contains(std::make_tuple(true)));
        QVERIFY(started.calls.contains(std::make_tuple(true)));
        QCOMPARE(list->allItems().size(), 1);
        RMVideoItem* item = list->allItems().first();
        QCOMPARE(item->thread(), list->thread());
        QVERIFY(!item->rearPath.isEmpty());

        // A folder without recordings changes nothing: no load at all.
        QueuedSpy scanned(list, &RMVideoFileList::folderScanned);
        RMVideoFileListLoader::startForFolder(card("empty"));
        QVERIFY(scanned.wait());
        QCOMPARE(std::get<1>(scanned.calls.first()), 0);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(ended.count(), 2);
        QCOMPARE(list->allItems().size(), 1);
    }

    // The folder opened last wins, whichever load ends first.
    void overlappingLoadsListTheNewestFolder() {
        const QString a = card("overlap-a");
        for (int i = 1; i <= 60; ++i) {
            placeCopy(busy,
                      a + QString("/NNF_200101-10%1-0000%1_1.mp4").arg(i % 60, 2, 10, QChar('0')));
        }
        const QString b = card("overlap-b");
        placeCopy(busy, b + "/NEF_210101-100000-000001_1.mp4");
        placeCopy(busy, b + "/NEF_210101-100100-000002_1.mp4");
        RMVideoFileList* list = RMVideoFileList::instance();
        for (int round = 0; round < 3; ++round) {
            RMVideoFileListLoader::startForFolder(a);
            RMVideoFileListLoader::startForFolder(b);
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(names(list->allItems()), QStringList({"NEF_210101-100000-000001_1.mp4",
                                                           "NEF_210101-100100-000002_1.mp4"}));
        }
    }

    // Files the list leaves out are counted, and power-cut ones named.
    void leftOutFilesAreCountedAndCutOffOnesNamed() {
        const QString dir = card("left-out");
        placeCopy(busy, dir + "/NNF_200101-100000-000001_1.mp4");
        const QString cut = dir + "/NNF_200101-100100-000002_1.mp4";
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("000000146674797069736d000000000069736f6d") +
                   QByteArray::fromHex("000000006d646174") + QByteArray(5000, 'v'));
        file.close();
        touch(dir + "/NNF_200101-100200-000003_1.mp4");  // empty: not an MP4 at all
        // A cut-off front file beside a healthy rear file: its recording is
        // listed through the rear file, and the front file is named too.
        const QString cutFront = dir + "/NNF_200101-100300-000004_1.mp4";
        QVERIFY(QFile::copy(cut, cutFront));
        placeCopy(busy, dir + "/NNF_200101-100300-000004_2.mp4");
        // A movie box cut short after its whole movie header: the header
        // gives a duration, yet the file has no sample tables to play.
        QFile source(busy);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray whole = source.readAll();
        const int moov = whole.lastIndexOf("moov") - 4;
        QCOMPARE(whole.mid(moov + 12, 4), QByteArray("mvhd"));
        const QString shortMoov = dir + "/NNF_200101-100400-000005_1.mp4";
        QFile cutMoov(shortMoov);
        QVERIFY(cutMoov.open(QIODevice::WriteOnly));
        cutMoov.write(whole.left(moov + 8 + 108 + 40));
        cutMoov.close();
        RMVideoFileList* list = loadFolder(dir);
        QCOMPARE(list->allItems().size(), 2);
        QCOMPARE(list->lastLeftOut(), 3);
        QCOMPARE(list->lastLeftOutFiles(),
                 QStringList({cut, dir + "/NNF_200101-100200-000003_1.mp4", shortMoov}));
        QCOMPARE(list->lastCutOff(), QStringList({cut, cutFront, shortMoov}));
        loadFolder(card("pool"));
    }
};

ORVIN_CORE_TEST_MAIN(TestVideoList)
#include "test_video_list.moc"
