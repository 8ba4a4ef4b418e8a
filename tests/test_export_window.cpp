// The clip marks and the export window in the real main window: the keys
// set the marks on the camera clock and the slider draws them, a change of
// recording keeps them and a folder load clears them; the window exports in
// the background and the viewer plays what it wrote.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>

#include "core/rm_clip_marks.h"
#include "core/rm_player.h"
#include "engine/av_player.h"
#include "engine_fixture.h"
#include "export/rm_export_runner.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_item_2ch.h"
#include "test_support.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_play_slider.h"
#include "ui/rm_popup_export.h"
#include "ui/rm_slider.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/title_widget.h"

using engine_fixture::spin;
using engine_fixture::waitUntil;
using viewer_fixture::ModalScript;

namespace {
// Columns of the slider where the marks' colour shows: ticks are narrow,
// the span wide.
int markedColumns(QWidget* slider) {
    const QImage image = slider->grab().toImage();
    int columns = 0;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 90 && c.red() > c.green() + 20 && c.green() > c.blue() + 20) {
                ++columns;
                break;
            }
        }
    }
    return columns;
}
}  // namespace

class TestExportWindow : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    QString _card;
    WindowMain* _window = nullptr;
    RMPlayer* _player = nullptr;

    QWidget* slider() { return _window->frameLeft()->frameSlider()->playSlider()->slider(); }
    bool playPast(int row, qint64 ms) {
        return viewer_fixture::playRow(_window, row) &&
               waitUntil([=] { return _player->frontPlayer()->position() > ms; });
    }

private Q_SLOTS:
    void initTestCase() {
        qRegisterMetaType<PLAY_EVENT>("PLAY_EVENT");
        _card = _dir.path() + "/card";
        QVERIFY(viewer_fixture::makeCard(_card, {"--recordings", "2", "--seconds", "6"}));
        _window = viewer_fixture::showViewer();
        QVERIFY(_window != nullptr);
        _player = RMPlayer::instance();
        QVERIFY(viewer_fixture::openCard(_window, _card, 2));
    }

    void cleanupTestCase() {
        _player->onUserStop();
        spin(100);
        delete _window;
    }

    // I and O set the marks at the position shown; the slider draws them,
    // the next recording keeps them, another folder clears them.
    void marks() {
        RMClipMarks* marks = RMClipMarks::instance();
        QVERIFY(playPast(0, 2000));
        const QDateTime first = RMVideoFileList::instance()->shownItems()[0]->dateTime;
        QTest::keyClick(_window, Qt::Key_I);
        QVERIFY(marks->in().isValid());
        QVERIFY(qAbs(first.msecsTo(marks->in()) - _player->capturePosition()) < 500);
        QVERIFY(waitUntil([&] { return markedColumns(slider()) > 0; }));
        QVERIFY(markedColumns(slider()) < 8);  // a tick, no span yet
        const QDateTime in = marks->in();

        QVERIFY(playPast(1, 1500));
        QCOMPARE(marks->in(), in);  // kept across the change of recording
        QTest::keyClick(_window, Qt::Key_O);
        QVERIFY(marks->hasRange());
        QCOMPARE(marks->in(), in);
        // Shaded from the slider's start (the mark is on the recording before) to O.
        QVERIFY(waitUntil([&] { return markedColumns(slider()) > 20; }));

        RMVideoFileList::instance()->setFilter(FILTER_EVENT, true);  // a filter keeps them
        QVERIFY(marks->hasRange());
        _window->openFolder(_card);
        QVERIFY(waitUntil([&] { return !marks->in().isValid() && !marks->out().isValid(); }));
        QVERIFY(viewer_fixture::openCard(_window, _card, 2));
    }

    // F8 opens the window (30 s around now without marks); it exports in
    // the background behind a modeless progress popup, and the viewer lists
    // and plays the clip.
    void exportAndPlay() {
        QVERIFY(playPast(0, 3000));
        const QString target = _dir.path() + "/clips";
        QString shownRange;
        bool modeless = false;
        QString message;
        ModalScript script(
            {[&](QWidget* modal) {
                 auto* popup = qobject_cast<RMPopupExport*>(modal);
                 if (!popup) {
                     return false;
                 }
                 shownRange = QString::number(popup->rangeStart().msecsTo(popup->rangeEnd()));
                 popup->folderEdit()->setText(target);
                 const QString shots = qEnvironmentVariable("ORVIN_SCREENSHOT_DIR");
                 if (!shots.isEmpty()) {
                     popup->grab().save(shots + "/export-window.png");
                 }
                 QMetaObject::invokeMethod(popup->exportButton(), "click", Qt::QueuedConnection);
                 return true;
             },
             [&](QWidget* modal) {
                 auto* box = qobject_cast<QMessageBox*>(modal);
                 if (!box) {
                     return false;
                 }
                 message = box->text();
                 QMetaObject::invokeMethod(box->button(QMessageBox::No), "click",
                                           Qt::QueuedConnection);
                 return true;
             }});
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (RMDialogProgress::current()) {
                modeless = RMDialogProgress::current()->windowModality() == Qt::NonModal;
            }
        });
        watch.start(5);
        QTest::keyClick(_window, Qt::Key_F8);
        QVERIFY(waitUntil([&] { return script.done(); }, 60000));
        QCOMPARE(shownRange, QString("30000"));
        QVERIFY(modeless);
        const QStringList files = QDir(target).entryList({"*.mp4"});
        QCOMPARE(files.size(), 2);
        for (const QString& file : files) {
            QVERIFY2(message.contains(file), qPrintable(message));
        }

        // The clip is a recording to the viewer: listed with both channels, and it plays.
        QVERIFY(viewer_fixture::openCard(_window, target, 1));
        QVERIFY(!RMVideoFileList::instance()->shownItems()[0]->rearPath.isEmpty());
        QVERIFY(viewer_fixture::playRow(_window, 0));
    }

    // The window's fourth choice makes an evidence pack of the range in the
    // background, its first stills at the position shown; the message names
    // the pack.
    void evidencePack() {
        QVERIFY(playPast(0, 3000));
        const QString target = _dir.path() + "/packs";
        RMExportJob job;
        QString message;
        qint64 shownAt = -1;
        ModalScript script({[&](QWidget* modal) {
                                auto* popup = qobject_cast<RMPopupExport*>(modal);
                                if (!popup) {
                                    return false;
                                }
                                shownAt = _player->capturePosition();
                                popup->layoutButton(RMExportJob::LAYOUT_EVIDENCE)->click();
                                popup->folderEdit()->setText(target);
                                job = popup->job();
                                QMetaObject::invokeMethod(popup->exportButton(), "click",
                                                          Qt::QueuedConnection);
                                return true;
                            },
                            [&](QWidget* modal) {
                                auto* box = qobject_cast<QMessageBox*>(modal);
                                if (!box) {
                                    return false;
                                }
                                message = box->text();
                                QMetaObject::invokeMethod(box->button(QMessageBox::No), "click",
                                                          Qt::QueuedConnection);
                                return true;
                            }});
        QTest::keyClick(_window, Qt::Key_F8);
        QVERIFY(waitUntil([&] { return script.done(); }, 120000));
        QCOMPARE(job.layout, RMExportJob::LAYOUT_EVIDENCE);
        const QDateTime first = RMVideoFileList::instance()->shownItems()[0]->dateTime;
        QVERIFY(qAbs(first.msecsTo(job.at) - shownAt) < 1000);
        const QStringList packs = QDir(target).entryList({"evidence_*"}, QDir::Dirs);
        QCOMPARE(packs.size(), 1);
        QVERIFY2(message.contains(packs.first()), qPrintable(message));
        for (const char* name : {"report.pdf", "SHA256SUMS", "still_picked_front.png"}) {
            QVERIFY2(QFileInfo::exists(target + "/" + packs.first() + "/" + name), name);
        }
    }

    void screenshots() {
        // Not a check: with ORVIN_SCREENSHOT_DIR set, writes the README's
        // picture of an inset frame with its stamp (the window's comes from
        // exportAndPlay).
        const QString folder = qEnvironmentVariable("ORVIN_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            QSKIP("ORVIN_SCREENSHOT_DIR not set");
        }
        const QString card = _dir.path() + "/shot-card";
        QProcess maker;
        maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                    {card, "--quiet", "--recordings", "1", "--seconds", "10", "--front-size",
                     "1280x720", "--rear-size", "1280x720"});
        QVERIFY(maker.waitForFinished(120000) && maker.exitCode() == 0);
        QList<QUrl> urls;
        RMVideoFileList::appendFolderToList(card, urls, 0);
        RMVideoFileList::instance()->loadFromList(urls);
        RMExportJob job;
        const QList<RMClipSource> sources =
            RMClipRange::sources(RMVideoFileList::instance()->allItems());
        job.parts =
            RMClipRange::resolve(sources, sources[0].start.addSecs(4), sources[0].start.addSecs(7));
        job.layout = RMExportJob::LAYOUT_INSET;
        job.outDir = _dir.path() + "/shot";
        job.gpx = false;
        const RMExportResult r = RMExportRunner(job).run();
        QVERIFY(r.ok);
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-ss", "1", "-i", r.files.first(), "-frames:v",
                                "1", folder + "/export-inset-frame.png"});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    }
};

ORVIN_TEST_MAIN(TestExportWindow)
#include "test_export_window.moc"
