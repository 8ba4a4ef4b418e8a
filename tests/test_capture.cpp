#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "backup/rm_file_copier.h"
#include "core/rm_player.h"
#include "engine/audio_output.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine_fixture.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"
#include "ui/rm_dialog_overwrite_sys.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_popup_capture.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widgets/rm_button.h"

using engine_fixture::spin;
using engine_fixture::waitUntil;
using viewer_fixture::ModalScript;

namespace {

// Clicks after the script's poll has returned: a click may open another
// modal dialog, and the poll's timer does not fire inside its own call.
void later(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

const char kFront[] = "NNF_240517-083000-000001_1.mp4";
const char kRear[] = "NNF_240517-083000-000001_2.mp4";

QStringList jpegsIn(const QString& folder) {
    return QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
}

// Fills the capture dialog and presses Save.
ModalScript::Step saveAs(const QString& name, const QString& folder,
                         QStringList* proposed = nullptr, QStringList* files = nullptr) {
    return [=](QWidget* modal) {
        auto* popup = qobject_cast<RMPopupCapture*>(modal);
        if (popup == nullptr) {
            return false;
        }
        if (proposed != nullptr) {
            *proposed << popup->nameEdit()->text();
        }
        if (files != nullptr) {
            *files = jpegsIn(RMApp::appPath(RMApp::PATH_BACKUP));
        }
        if (!name.isNull()) {
            popup->nameEdit()->setText(name);
        }
        RMApp::setFolderChooser([folder](const QString&, const QString&) { return folder; });
        popup->changeButton()->click();
        later(popup->saveButton());
        return true;
    };
}

ModalScript::Step cancelCapture() {
    return [](QWidget* modal) {
        auto* popup = qobject_cast<RMPopupCapture*>(modal);
        if (popup == nullptr) {
            return false;
        }
        later(popup->cancelButtonOfPopup());
        return true;
    };
}

// Answers the overwrite question with Skip (false) or Overwrite (true).
ModalScript::Step answerOverwrite(bool overwrite) {
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<RMDialogOverwriteSys*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        later(overwrite ? dialog->overwriteButton() : dialog->skipButton());
        return true;
    };
}

// Closes a warning box and keeps its text.
ModalScript::Step warning(QStringList* texts) {
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        *texts << box->text();
        later(box->button(QMessageBox::Ok));
        return true;
    };
}

// Peak signal-to-noise ratio of two pictures of the same size, in dB.
double psnr(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size() || x.isNull()) {
        return 0;
    }
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (int shift : {0, 8, 16}) {
                const double d =
                    double((p[col] >> shift) & 0xff) - double((q[col] >> shift) & 0xff);
                sum += d * d;
            }
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The picture ffmpeg decodes at `ms` into the file.
QImage ffmpegFrame(const QString& file, qint64 ms, const QString& out) {
    QProcess ffmpeg;
    // Half a millisecond early: the saved name rounds the timestamp.
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-i", file, "-ss",
                            QString::number((ms - 0.5) / 1000.0, 'f', 4), "-frames:v", "1", out});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        qWarning() << ffmpeg.readAllStandardError();
        return QImage();
    }
    return QImage(out);
}

}  // namespace

class TestCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void captureWhilePlayingSavesBothChannels();
    void savedPicturesMatchTheDecodedFrames();
    void cancelLeavesNothingBehind();
    void existingTargetsAreConfirmedOnceForTheSet();
    void rearOnlyRecordingUsesTheRearLabelAndAsksBeforeReplacing();
    void badNamesAndFailedCopiesLoseNothing();
    void refusedWithoutAPicture();
    void engineFailureIsShownAndLeavesNoFile();
    void watchdogEndsTheWholeCapture();
    void cleanupTestCase();

private:
    bool openCard(const QString& folder, int count);
    bool play(int row);
    bool capture(ModalScript& script, int timeoutMs = 15000);
    QString working() const { return RMApp::appPath(RMApp::PATH_BACKUP); }

    QTemporaryDir _dir;
    QString _card;
    QString _targets;
    WindowMain* _window = nullptr;
    RMPlayer* _player = nullptr;
};

void TestCapture::initTestCase() {
    qRegisterMetaType<PLAY_EVENT>("PLAY_EVENT");
    qRegisterMetaType<QList<QString>*>("QList<QString>*");
    _card = _dir.path() + "/card";
    QVERIFY(viewer_fixture::makeCard(_card, {"--recordings", "2", "--seconds", "6"}));
    _window = viewer_fixture::showViewer();
    QVERIFY(_window != nullptr);
    _player = RMPlayer::instance();
    QVERIFY(openCard(_card, 2));
}

void TestCapture::init() {
    _targets = _dir.path() + "/stills-" + QString::number(QDateTime::currentMSecsSinceEpoch());
    QVERIFY(QDir().mkpath(_targets));
    RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
}

void TestCapture::cleanup() {
    RMFileCopier::setWriteFault(nullptr);
    RMApp::setFolderChooser(nullptr);
    _player->onUserStop();
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isPlaying(); }));
    spin(50);
    // Whatever a test did, the working folder is left empty.
    QCOMPARE(jpegsIn(working()), QStringList());
}

void TestCapture::cleanupTestCase() {
    if (_player != nullptr) {
        _player->onUserStop();
        spin(100);
    }
    delete _window;
}

bool TestCapture::openCard(const QString& folder, int count) {
    return viewer_fixture::openCard(_window, folder, count);
}

bool TestCapture::play(int row) {
    // Past the first second, so the name shows a moment inside the recording.
    return viewer_fixture::playRow(_window, row) &&
           waitUntil([this] { return _player->frontPlayer()->position() > 1200; });
}

bool TestCapture::capture(ModalScript& script, int timeoutMs) {
    _window->onStartCapture();
    return waitUntil([&] { return script.done() && QApplication::activeModalWidget() == nullptr; },
                     timeoutMs);
}

void TestCapture::captureWhilePlayingSavesBothChannels() {
    QVERIFY(play(0));
    QStringList proposed;
    QStringList files;
    ModalScript script({saveAs(QString(), _targets, &proposed, &files)});
    QVERIFY(capture(script));
    // Playback was paused first, both channels.
    QVERIFY(_player->frontPlayer()->isPaused());
    QVERIFY(_player->rearPlayer()->isPaused());
    // The working pictures: one per channel, named by channel.
    QCOMPARE(files.size(), 2);
    QVERIFY2(files.at(0).contains("_CH1_") && files.at(1).contains("_CH2_"),
             qPrintable(files.join(' ')));
    // The proposed name is the recording's kind and the moment: the card's
    // first recording starts at 08:30:00, and this is past its first second.
    QCOMPARE(proposed.size(), 1);
    QVERIFY2(QRegularExpression("^NNF_240517-08300[1-5]$").match(proposed.first()).hasMatch(),
             qPrintable(proposed.first()));
    QCOMPARE(jpegsIn(_targets),
             (QStringList{proposed.first() + "_Front.jpg", proposed.first() + "_Rear.jpg"}));
    QVERIFY(!QImage(_targets + "/" + proposed.first() + "_Front.jpg").isNull());

    // In Japanese the labels are Japanese; a paused player captures at once.
    RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
    ModalScript again({saveAs("jp", _targets)});
    QVERIFY(capture(again));
    QVERIFY(QFile::exists(_targets + "/jp_前方.jpg"));
    QVERIFY(QFile::exists(_targets + "/jp_後方.jpg"));
}

void TestCapture::savedPicturesMatchTheDecodedFrames() {
    QVERIFY(play(0));
    QStringList files;
    ModalScript script({saveAs("match", _targets, nullptr, &files)});
    QVERIFY(capture(script));
    QCOMPARE(files.size(), 2);
    // The working name ends with the picture's time in milliseconds.
    const QStringList sources{_card + "/DCIM/" + kFront, _card + "/DCIM/" + kRear};
    const QStringList saved{_targets + "/match_Front.jpg", _targets + "/match_Rear.jpg"};
    for (int i = 0; i < 2; ++i) {
        const qint64 ms = files.at(i).section('_', -1).section('.', 0, 0).toLongLong();
        const QImage decoded = ffmpegFrame(sources.at(i), ms, _dir.path() + "/ref.png");
        QVERIFY(!decoded.isNull());
        const double db = psnr(QImage(saved.at(i)), decoded);
        QVERIFY2(db > 35, qPrintable(QString("channel %1 at %2 ms: %3 dB").arg(i).arg(ms).arg(db)));
    }
}

void TestCapture::cancelLeavesNothingBehind() {
    QVERIFY(play(1));
    ModalScript script({cancelCapture()});
    QVERIFY(capture(script));
    QCOMPARE(jpegsIn(working()), QStringList());
    QCOMPARE(jpegsIn(_targets), QStringList());
}

void TestCapture::existingTargetsAreConfirmedOnceForTheSet() {
    QVERIFY(play(0));
    for (const char* name : {"set_Front.jpg", "set_Rear.jpg"}) {
        QFile old(_targets + "/" + QLatin1String(name));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    // Skip keeps the dialog open and both files as they were; the second
    // Save asks once more, and Overwrite replaces both.
    bool keptAfterSkip = false;
    ModalScript script({saveAs("set", _targets), answerOverwrite(false),
                        [&](QWidget* modal) {
                            if (qobject_cast<RMPopupCapture*>(modal) == nullptr) {
                                return false;
                            }
                            keptAfterSkip = QFileInfo(_targets + "/set_Front.jpg").size() == 3;
                            later(qobject_cast<RMPopupCapture*>(modal)->saveButton());
                            return true;
                        },
                        answerOverwrite(true)});
    QVERIFY(capture(script));
    QCOMPARE(script.seen, (QStringList{"RMPopupCapture", "RMDialogOverwriteSys", "RMPopupCapture",
                                       "RMDialogOverwriteSys"}));
    QVERIFY(keptAfterSkip);
    QVERIFY(!QImage(_targets + "/set_Front.jpg").isNull());
    QVERIFY(!QImage(_targets + "/set_Rear.jpg").isNull());
}

void TestCapture::rearOnlyRecordingUsesTheRearLabelAndAsksBeforeReplacing() {
    const QString rearOnly = viewer_fixture::copyCard(_card, _dir.path(), "rear-only", {kRear});
    QVERIFY(openCard(rearOnly, 1));
    QVERIFY(play(0));
    QVERIFY(_player->isRearAsFront());
    // The one picture is the rear camera's: an existing rear still of that
    // name must be confirmed before it is replaced.
    QFile old(_targets + "/solo_Rear.jpg");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QStringList files;
    ModalScript script({saveAs("solo", _targets, nullptr, &files), answerOverwrite(true)});
    QVERIFY(capture(script));
    QCOMPARE(script.seen, (QStringList{"RMPopupCapture", "RMDialogOverwriteSys"}));
    QCOMPARE(files.size(), 1);
    QCOMPARE(jpegsIn(_targets), QStringList{"solo_Rear.jpg"});
    QVERIFY(!QImage(_targets + "/solo_Rear.jpg").isNull());
    QVERIFY(openCard(_card, 2));
}

void TestCapture::badNamesAndFailedCopiesLoseNothing() {
    QVERIFY(play(0));
    QFile old(_targets + "/keep_Front.jpg");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("precious");
    old.close();
    // Every write fails: the old file stays whole and the pictures stay in
    // the working folder until the user is told.
    RMFileCopier::setWriteFault([](qint64, qint64) { return ENOSPC; });
    QStringList warnings;
    QStringList left;
    ModalScript script({saveAs("", _targets), warning(&warnings), saveAs("a/b", _targets),
                        warning(&warnings), saveAs("keep", _targets), answerOverwrite(true),
                        [&](QWidget* modal) {
                            if (qobject_cast<QMessageBox*>(modal) == nullptr) {
                                return false;
                            }
                            left = jpegsIn(working());
                            return warning(&warnings)(modal);
                        }});
    QVERIFY(capture(script));
    QCOMPARE(warnings.size(), 3);
    QCOMPARE(warnings.at(0), QString("Please enter a file name."));
    QVERIFY(warnings.at(1).contains('/'));
    QCOMPARE(warnings.at(2), QString("Unable to save file."));
    QCOMPARE(left.size(), 2);
    QFile kept(_targets + "/keep_Front.jpg");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("precious"));
    QVERIFY(!QFile::exists(_targets + "/keep_Rear.jpg"));
    // What could not be saved is cleared by the test, as a user would.
    for (const QString& name : jpegsIn(working())) {
        QFile::remove(working() + "/" + name);
    }
}

void TestCapture::refusedWithoutAPicture() {
    QVERIFY(!_player->requestVideoCapture());
    QVERIFY(!_player->isCapturing());
    QVERIFY(!_player->prepareForCapture());
    // At the very start there is no picture shown yet to save.
    QVERIFY(play(0));
    _player->onPlayOrPause();
    _player->onPlayRestart();
    QVERIFY(waitUntil([this] { return _player->frontPlayer()->position() <= 0; }, 3000));
    QVERIFY(!_player->requestVideoCapture());
    QVERIFY(!_player->isCapturing());
}

void TestCapture::engineFailureIsShownAndLeavesNoFile() {
    QVERIFY(play(0));
    // The working folder is a file: the engine cannot write there.
    QDir(working()).removeRecursively();
    QFile blocker(working());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy done(_player, SIGNAL(videoCaptureDone(QList<QString>*)));
    QStringList warnings;
    ModalScript script({warning(&warnings)});
    QVERIFY(capture(script));
    QCOMPARE(warnings, QStringList{"Unable to save file."});
    QCOMPARE(done.count(), 0);
    QVERIFY(!_player->isCapturing());
    QVERIFY(QFile::remove(working()));

    // A missing working folder is made again.
    QVERIFY(!QFileInfo::exists(working()));
    ModalScript save({saveAs("again", _targets)});
    QVERIFY(capture(save));
    QCOMPARE(jpegsIn(_targets), (QStringList{"again_Front.jpg", "again_Rear.jpg"}));
}

void TestCapture::watchdogEndsTheWholeCapture() {
    QVERIFY(play(0));
    QSignalSpy done(_player, SIGNAL(videoCaptureDone(QList<QString>*)));
    QSignalSpy failed(_player, SIGNAL(videoCaptureFailed()));
    QStringList warnings;
    // A save dialog after the failure would be the abandoned capture's.
    ModalScript script({warning(&warnings), cancelCapture()});
    QVERIFY(_player->requestVideoCapture());
    // The user resumes at once: the players never rest, and the watchdog
    // gives up after two seconds.
    _player->onPlayOrPause();
    QVERIFY(waitUntil([&] { return failed.count() == 1 && !script.seen.isEmpty(); }, 5000));
    QCOMPARE(warnings, QStringList{"Unable to save file."});
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // Pausing later must not start the abandoned capture.
    _player->onPlayOrPause();
    spin(1500);
    QCOMPARE(script.seen, QStringList{"QMessageBox"});
    QCOMPARE(done.count(), 0);
    QVERIFY(!_player->isCapturing());
}

ORVIN_TEST_MAIN(TestCapture)
#include "test_capture.moc"
