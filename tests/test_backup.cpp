// The backup worker on a thread of its own: verified copies, the overwrite
// question and its answers, cancel, and failures that must never leave a
// partial file or pass as success.
#include <errno.h>

#include <QThread>
#include <thread>

#include "backup/rm_file_copier.h"
#include "backup/rm_overwrite.h"
#include "backup/rm_video_file_list_backup.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"

namespace {
QByteArray content(const QString& name, int size) {
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        bytes += name.toUtf8() + QByteArray::number(bytes.size());
    }
    bytes.truncate(size);
    return bytes;
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The failure lines are "name: reason"; the names, and every reason given.
QStringList namesOf(const QStringList& failed) {
    QStringList names;
    for (const QString& line : failed) {
        const int colon = line.indexOf(": ");
        names << (colon > 0 && colon + 2 < line.size() ? line.left(colon) : "(no reason) " + line);
    }
    return names;
}
}  // namespace

class TestBackup : public QObject {
    Q_OBJECT

    QString source;
    QList<RMBackupJob> jobs;
    RMVideoFileList* list = RMVideoFileList::instance();

    // Runs a backup on the pool and answers each question with the next
    // decision; returns the files reported as not copied.
    QStringList runBackup(const QString& target, QList<int> answers, int* questions = nullptr) {
        int asked = 0;
        QMetaObject::Connection answering =
            connect(list, &RMVideoFileList::backupPaused, this, [&](bool paused) {
                if (paused) {
                    ++asked;
                    RMOverwrite::answer(answers.isEmpty() ? RMOverwrite::OVERWRITE_CANCEL
                                                          : answers.takeFirst());
                }
            });
        QStringList failed;
        QMetaObject::Connection failures = connect(list, &RMVideoFileList::backupFailed, this,
                                                   [&](QStringList files) { failed = files; });
        orvin_test::QueuedSpy ended(list, &RMVideoFileList::backupEnd);
        const QList<RMBackupJob> copy = jobs;
        const QString folder = target;
        QThreadPool::globalInstance()->start(
            [this, folder, copy]() { list->backup(folder, copy); });
        if (!ended.wait(20000)) {
            // A lost wake-up: record the failure and free the worker, so the
            // test fails now instead of hanging in waitForDone().
            QTest::qFail("the backup did not end", __FILE__, __LINE__);
            RMVideoFileList::stopWorkers(5000);
            failed = QStringList({"(the backup did not end)"});
        }
        QThreadPool::globalInstance()->waitForDone();
        disconnect(answering);
        disconnect(failures);
        if (questions) {
            *questions = asked;
        }
        return failed;
    }

private Q_SLOTS:
    void initTestCase() {
        source = orvin_test::home().path() + "/card/DCIM";
        for (const char* name : {"NNF_200101-100000-000001", "NEF_200101-100100-000002"}) {
            const QString front = source + "/" + name + "_1.mp4";
            const QString rear = source + "/" + name + "_2.mp4";
            write(front, content(front, 3 * 1024 * 1024 + 17));
            write(rear, content(rear, 1024 * 1024 + 5));
            jobs.append({front, rear});
        }
    }

    void cleanup() {
        RMFileCopier::setWriteFault(nullptr);
        RMFileCopier::setCorruptFault(nullptr);
        RMFileCopier::setFolderSyncFault(0);
    }

    // Each copy keeps its source's own name (no upper-casing, which on a
    // case-sensitive file system would miss an existing copy and leave two).
    void copiesEveryFileUnderItsOwnName() {
        const QString target = orvin_test::home().path() + "/backup/empty";
        QDir().mkpath(target);
        orvin_test::QueuedSpy progress(list, &RMVideoFileList::updateProgress);
        int questions = 0;
        QCOMPARE(runBackup(target, {}, &questions), QStringList());
        QCOMPARE(questions, 0);
        QCOMPARE(entries(target),
                 QStringList({"NEF_200101-100100-000002_1.mp4", "NEF_200101-100100-000002_2.mp4",
                              "NNF_200101-100000-000001_1.mp4", "NNF_200101-100000-000001_2.mp4"}));
        QCOMPARE(read(target + "/NNF_200101-100000-000001_1.mp4"), read(jobs[0].frontPath));
        QCOMPARE(read(target + "/NEF_200101-100100-000002_2.mp4"), read(jobs[1].rearPath));
        QCOMPARE(std::get<0>(progress.calls.last()), 364);
        // Again with Skip for all: every file is found, asked about once,
        // and no second copy appears.
        QCOMPARE(runBackup(target, {RMOverwrite::OVERWRITE_SKIP | RMOverwrite::OVERWRITE_APPLY_ALL},
                           &questions),
                 QStringList());
        QCOMPARE(questions, 1);
        QCOMPARE(entries(target).size(), 4);
    }

    // The card's own folder as the target: refused before anything is
    // copied, by the starter and by the worker.
    void theSourceFolderIsRefused() {
        QCOMPARE(RMVideoFileList::sourceInFolder(source, jobs), jobs[0].frontPath);
        QVERIFY(RMVideoFileList::sourceInFolder(source + "/../DCIM/", jobs) == jobs[0].frontPath);
        QVERIFY(RMVideoFileList::sourceInFolder(orvin_test::home().path(), jobs).isEmpty());
        const QByteArray before = read(jobs[0].frontPath);
        const QStringList failed =
            runBackup(source, {RMOverwrite::OVERWRITE_REPLACE | RMOverwrite::OVERWRITE_APPLY_ALL});
        QCOMPARE(failed.size(), 4);
        QVERIFY2(failed.first().contains("own folder"), qPrintable(failed.first()));
        QCOMPARE(read(jobs[0].frontPath), before);
        QCOMPARE(entries(source).size(), 4);
    }

    void skipForAllAsksOnce() {
        const QString target = orvin_test::home().path() + "/backup/skip-all";
        write(target + "/NNF_200101-100000-000001_1.mp4", "old front");
        write(target + "/NEF_200101-100100-000002_2.mp4", "old rear");
        int questions = 0;
        const int skipAll = RMOverwrite::OVERWRITE_SKIP | RMOverwrite::OVERWRITE_APPLY_ALL;
        QCOMPARE(runBackup(target, {skipAll}, &questions), QStringList());
        QCOMPARE(questions, 1);
        QCOMPARE(read(target + "/NNF_200101-100000-000001_1.mp4"), QByteArray("old front"));
        QCOMPARE(read(target + "/NEF_200101-100100-000002_2.mp4"), QByteArray("old rear"));
        QCOMPARE(read(target + "/NNF_200101-100000-000001_2.mp4"), read(jobs[0].rearPath));
        QCOMPARE(entries(target).size(), 4);
    }

    void withoutApplyAllTheNextRecordingAsksAgain() {
        const QString target = orvin_test::home().path() + "/backup/ask-again";
        write(target + "/NNF_200101-100000-000001_1.mp4", "old 1");
        write(target + "/NNF_200101-100000-000001_2.mp4", "old 2");
        write(target + "/NEF_200101-100100-000002_1.mp4", "old 3");
        int questions = 0;
        // First recording: overwrite (both of its files); second: skip.
        QCOMPARE(runBackup(target, {RMOverwrite::OVERWRITE_REPLACE, RMOverwrite::OVERWRITE_SKIP},
                           &questions),
                 QStringList());
        QCOMPARE(questions, 2);
        QCOMPARE(read(target + "/NNF_200101-100000-000001_1.mp4"), read(jobs[0].frontPath));
        QCOMPARE(read(target + "/NNF_200101-100000-000001_2.mp4"), read(jobs[0].rearPath));
        QCOMPARE(read(target + "/NEF_200101-100100-000002_1.mp4"), QByteArray("old 3"));
    }

    void theQuestionNamesTheRecordingAndWhatIsLeft() {
        QCOMPARE(RMVideoFileList::overwriteDisplayName("/x/NNF_200101-101500-000012_1.mp4"),
                 QString("NNF_200101-101500.mp4"));
        const QString target = orvin_test::home().path() + "/backup/names";
        write(target + "/NEF_200101-100100-000002_1.mp4", "old");
        QString asked;
        int count = 0;
        QMetaObject::Connection peek =
            connect(list, &RMVideoFileList::backupPaused, this, [&](bool paused) {
                if (paused) {
                    asked = RMOverwrite::currentFileName();
                    count = RMOverwrite::currentCount();
                }
            });
        runBackup(target, {RMOverwrite::OVERWRITE_SKIP});
        disconnect(peek);
        QCOMPARE(asked, QString("NEF_200101-100100.mp4"));
        QCOMPARE(count, 1);  // the last recording: no "apply to all" offered
    }

    void cancelStopsAndKeepsWhatWasCopied() {
        const QString target = orvin_test::home().path() + "/backup/cancel";
        write(target + "/NNF_200101-100000-000001_2.mp4", "old");
        QCOMPARE(runBackup(target, {RMOverwrite::OVERWRITE_CANCEL}), QStringList());
        QCOMPARE(entries(target),
                 QStringList({"NNF_200101-100000-000001_1.mp4", "NNF_200101-100000-000001_2.mp4"}));
        QCOMPARE(read(target + "/NNF_200101-100000-000001_2.mp4"), QByteArray("old"));
    }

    void anAnswerGivenBeforeTheWaitIsKept() {
        RMOverwrite::reset();
        RMOverwrite::ask("x", 1);
        RMOverwrite::answer(RMOverwrite::OVERWRITE_SKIP);
        // Would block forever if the early answer were lost.
        QCOMPARE(RMOverwrite::waitForAnswer(), int(RMOverwrite::OVERWRITE_SKIP));
        RMOverwrite::reset();
        RMOverwrite::ask("y", 1);
        std::thread gui([] { RMOverwrite::requestCancel(); });
        QVERIFY(RMOverwrite::waitForAnswer() & RMOverwrite::OVERWRITE_CANCEL);
        gui.join();
        // A cancel survives the reset made after each recording.
        RMOverwrite::nextRecording();
        QVERIFY(RMOverwrite::isCancelled());
    }

    void aFullTargetLeavesNoPartialFileAndSaysWhich() {
        const QString target = orvin_test::home().path() + "/backup/full";
        write(target + "/NEF_200101-100100-000002_1.mp4", "precious old copy");
        // The disk fills up 2 MB into every copy.
        RMFileCopier::setWriteFault([](qint64 offset, qint64 length) {
            return offset + length > 2 * 1024 * 1024 ? ENOSPC : 0;
        });
        const QStringList failed = runBackup(target, {RMOverwrite::OVERWRITE_REPLACE});
        QCOMPARE(namesOf(failed),
                 QStringList({"NNF_200101-100000-000001_1.mp4", "NEF_200101-100100-000002_1.mp4"}));
        QVERIFY(failed.first().contains("No space left on device"));
        // Small rear files fit; the big ones are missing, with no temporary
        // file left, and the replaced file is still the old one.
        QCOMPARE(entries(target),
                 QStringList({"NEF_200101-100100-000002_1.mp4", "NEF_200101-100100-000002_2.mp4",
                              "NNF_200101-100000-000001_2.mp4"}));
        QCOMPARE(read(target + "/NEF_200101-100100-000002_1.mp4"), QByteArray("precious old copy"));
    }

    void aSourceRemovedMidBackupIsReported() {
        const QString target = orvin_test::home().path() + "/backup/pulled";
        // The question about the first file is the moment to pull the card.
        write(target + "/NNF_200101-100000-000001_1.mp4", "old");
        const QString gone = orvin_test::home().path() + "/card/gone";
        QDir().mkpath(gone);
        QFile::copy(jobs[1].frontPath, gone + "/front.mp4");
        QMetaObject::Connection pull =
            connect(list, &RMVideoFileList::backupPaused, this, [&](bool paused) {
                if (paused) {
                    QFile::remove(jobs[1].frontPath);
                }
            });
        const QStringList failed = runBackup(target, {RMOverwrite::OVERWRITE_SKIP});
        disconnect(pull);
        QFile::copy(gone + "/front.mp4", jobs[1].frontPath);
        QCOMPARE(namesOf(failed), QStringList({"NEF_200101-100100-000002_1.mp4"}));
        QVERIFY(!QFile::exists(target + "/NEF_200101-100100-000002_1.mp4"));
        QCOMPARE(entries(target).size(), 3);
    }

    void aMissingSourceLeavesNothingBehind() {
        const QString target = orvin_test::home().path() + "/backup/direct/X.mp4";
        QDir().mkpath(QFileInfo(target).path());
        QString error;
        QVERIFY(!RMFileCopier::copy(source + "/missing.mp4", target, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(entries(QFileInfo(target).path()).isEmpty());
        QVERIFY(RMFileCopier::copy(jobs[0].rearPath, target, &error));
        QCOMPARE(read(target), read(jobs[0].rearPath));
    }

    // The read-back check must catch data that reached the disk wrong.
    void aCopyThatReadsBackWrongIsRefused() {
        const QString target = orvin_test::home().path() + "/backup/corrupt";
        QDir().mkpath(target);
        RMFileCopier::setCorruptFault([](qint64 offset) { return offset == 0; });
        const QStringList failed = runBackup(target, {});
        QCOMPARE(namesOf(failed).size(), 4);
        QVERIFY(failed.first().contains("differs from the source"));
        QVERIFY(entries(target).isEmpty());
    }

    // A folder that cannot be flushed fails the copy before the rename: an
    // existing target is still the old file, as the result says.
    void aFailedFolderFlushCountsAsFailed() {
        const QString target = orvin_test::home().path() + "/backup/no-flush";
        write(target + "/NNF_200101-100000-000001_1.mp4", "old");
        RMFileCopier::setFolderSyncFault(EIO);
        const QStringList failed =
            runBackup(target, {RMOverwrite::OVERWRITE_REPLACE | RMOverwrite::OVERWRITE_APPLY_ALL});
        QCOMPARE(namesOf(failed).size(), 4);
        QVERIFY(failed.first().contains("flushing the folder"));
        QCOMPARE(entries(target), QStringList({"NNF_200101-100000-000001_1.mp4"}));
        QCOMPARE(read(target + "/NNF_200101-100000-000001_1.mp4"), QByteArray("old"));
    }

    // A source that shrinks while it is copied (a file cut short, a card
    // pulled) gives no copy.
    void aSourceThatChangesSizeIsNotCopied() {
        const QString shrinking = orvin_test::home().path() + "/card/shrink/NNF_1.mp4";
        write(shrinking, content(shrinking, int(RMFileCopier::kBufferSize) * 2 + 100));
        const QString target = orvin_test::home().path() + "/backup/shrink/NNF_1.mp4";
        QDir().mkpath(QFileInfo(target).path());
        RMFileCopier::Pending pending;
        pending.stop = [&]() {
            QFile(shrinking).resize(RMFileCopier::kBufferSize);
            return false;
        };
        QString error;
        QVERIFY(!RMFileCopier::write(shrinking, target, &pending, &error) ||
                !RMFileCopier::finish(&pending, &error));
        QVERIFY2(error.contains("changed size"), qPrintable(error));
        QVERIFY(entries(QFileInfo(target).path()).isEmpty());
    }

    void leftoversOfOurOwnAreRemovedFirst() {
        QVERIFY(RMFileCopier::isTemporaryName(".NNF_1.mp4.part-aB3dE9"));
        for (const char* name : {"NNF_1.mp4.part-aB3dE9", ".NNF_1.mp4.part-aB3dE", ".part-aB3dE9",
                                 ".NNF_1.mp4.part-aB3dE9.bak", ".NNF_1.mp4.part-aB3d_9"}) {
            QVERIFY2(!RMFileCopier::isTemporaryName(name), name);
        }
        const QString target = orvin_test::home().path() + "/backup/leftovers";
        write(target + "/.NNF_200101-100000-000001_1.mp4.part-Xy12Zq", "crashed");
        write(target + "/.notes.part-Xy12Z", "someone else's");
        write(target + "/keep.part-Xy12Zq", "someone else's");
        QCOMPARE(runBackup(target, {}), QStringList());
        QCOMPARE(entries(target),
                 QStringList({".notes.part-Xy12Z", "NEF_200101-100100-000002_1.mp4",
                              "NEF_200101-100100-000002_2.mp4", "NNF_200101-100000-000001_1.mp4",
                              "NNF_200101-100000-000001_2.mp4", "keep.part-Xy12Zq"}));
    }

    // A cancel stops a long copy within a second and leaves no partial file.
    void cancelTakesEffectWithinACopy() {
        const QString big = orvin_test::home().path() + "/card/big/NNF_200101-110000-000009_1.mp4";
        QDir().mkpath(QFileInfo(big).path());
        QFile sparse(big);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(512LL * 1024 * 1024));
        sparse.close();
        // A slow card: 20 ms per buffer, so the whole copy would take 2.5 s.
        RMFileCopier::setWriteFault([](qint64, qint64) {
            QThread::msleep(20);
            return 0;
        });
        const QString target = orvin_test::home().path() + "/backup/cancel-big";
        QDir().mkpath(target);
        orvin_test::QueuedSpy ended(list, &RMVideoFileList::backupEnd);
        QThreadPool::globalInstance()->start([this, target, big]() {
            list->backup(target, {{big, QString()}});
        });
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        RMOverwrite::requestCancel();
        QVERIFY(ended.wait(5000));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QThreadPool::globalInstance()->waitForDone();
        QVERIFY(entries(target).isEmpty());
        QFile::remove(big);
    }

    // While one backup waits for an answer, a second is refused, and the
    // closing application wakes and ends the first.
    void oneBackupAtATimeAndClosingEndsIt() {
        const QString target = orvin_test::home().path() + "/backup/closing";
        write(target + "/NNF_200101-100000-000001_1.mp4", "old");
        orvin_test::QueuedSpy paused(list, &RMVideoFileList::backupPaused);
        orvin_test::QueuedSpy started(list, &RMVideoFileList::backupStarted);
        const QList<RMBackupJob> copy = jobs;
        QThreadPool::globalInstance()->start(
            [this, target, copy]() { list->backup(target, copy); });
        QVERIFY(paused.wait());
        QVERIFY(list->isBackupRunning());
        QVERIFY(!RMVideoFileListBackup::start(target));
        list->backup(target + "/second", copy);  // returns at once
        QVERIFY(!QFileInfo::exists(target + "/second"));
        QCoreApplication::processEvents();
        QCOMPARE(started.count(), 1);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(RMVideoFileList::stopWorkers(2000));
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!list->isBackupRunning());
        QCOMPARE(read(target + "/NNF_200101-100000-000001_1.mp4"), QByteArray("old"));
    }
};

ORVIN_CORE_TEST_MAIN(TestBackup)
#include "test_backup.moc"
