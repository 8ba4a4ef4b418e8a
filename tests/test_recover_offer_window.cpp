// The recovery offer in the real main window, beside the other long task
// that uses the progress popup: a backup asked for during a recovery.
#include <QLabel>
#include <QThread>

#include "core/rm_player.h"
#include "engine_fixture.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_video_file_list.h"
#include "recovery/rm_recover_output.h"
#include "recovery/rm_recovery.h"
#include "test_support.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_recover_offer.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widget_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_popup_message.h"

using engine_fixture::waitUntil;

class TestRecoverOfferWindow : public QObject {
    Q_OBJECT

    QTemporaryDir _dir;
    QString _card;
    QString _cut;
    WindowMain* _window = nullptr;

private Q_SLOTS:
    void initTestCase() {
        qRegisterMetaType<PLAY_EVENT>("PLAY_EVENT");
        _card = _dir.path() + "/card";
        QVERIFY(viewer_fixture::makeCard(_card, {"--recordings", "2", "--seconds", "3"}));
        const QStringList fronts =
            QDir(_card + "/DCIM").entryList({"*_1.mp4"}, QDir::Files, QDir::Name);
        QCOMPARE(fronts.size(), 2);
        // The second front file cut at two thirds, its media data's size zeroed.
        _cut = _card + "/DCIM/" + fronts.at(1);
        RMMp4Index index;
        QVERIFY(index.open(_cut) && index.mdat());
        QByteArray bytes = widget_fixture::readAll(_cut);
        bytes = bytes.left(bytes.size() * 2 / 3);
        bytes.replace(int(index.mdat()->pos), 4, QByteArray(4, '\0'));
        widget_fixture::writeFile(_cut, bytes);
        _window = viewer_fixture::showViewer();
        QVERIFY(_window != nullptr);
    }

    void cleanupTestCase() {
        RMRecoverOutput::setWriteFault(nullptr);
        RMApp::setFolderChooser(nullptr);
        delete _window;
    }

    // A backup asked for while a recovery runs is refused with a message:
    // the recovery keeps its progress popup and its Cancel button, which
    // still cancels it, and nothing is copied.
    void aBackupDoesNotTakeTheRecoverysPopup() {
        auto* offer = _window->findChild<RMRecoverOffer*>();
        QVERIFY(offer);
        QStringList asked;
        offer->setAsk([&](const QString&, const QString& text) {
            asked << text;
            return true;
        });
        // A slow output: every write takes a while.
        RMRecoverOutput::setWriteFault([](qint64) {
            QThread::msleep(600);
            return 0;
        });
        QSignalSpy backupStarted(RMVideoFileList::instance(), &RMVideoFileList::backupStarted);
        _window->openFolder(_card);
        QVERIFY(waitUntil([] { return RMRecoverOffer::isRecovering(); }));
        RMDialogProgress* popup = RMDialogProgress::current();
        QVERIFY(popup && popup->isVisible());

        for (RMVideoItem* item : RMVideoFileList::instance()->shownItems()) {
            item->checked = true;
        }
        _window->frameList()->table()->refreshAllCheckBox();
        QVERIFY(_window->frameList()->backupButton()->isEnabled());
        const QString target = _dir.path() + "/backup";
        QDir().mkpath(target);
        RMApp::setFolderChooser([target](const QString&, const QString&) { return target; });
        QString refusal;
        widget_fixture::answerModal<RMPopupMessage>([&](RMPopupMessage* message) {
            for (QLabel* label : message->findChildren<QLabel*>()) {
                refusal += label->text();
            }
            message->accept();
        });
        // Clicked as a user would have before the popup came up: the
        // folder is chosen once the recovery runs.
        _window->frameList()->backupButton()->click();
        QVERIFY2(refusal.contains("Start the backup when the recovery has ended"),
                 qPrintable(refusal));
        QCOMPARE(RMDialogProgress::current(), popup);
        QVERIFY(backupStarted.isEmpty());

        popup->onCancel();
        QApplication::restoreOverrideCursor();
        QVERIFY(waitUntil([] { return !RMRecoverOffer::isRecovering(); }));
        QVERIFY(waitUntil([&] { return asked.size() == 2; }));
        QVERIFY2(asked.last().contains("cancelled"), qPrintable(asked.last()));
        QVERIFY(QDir(target).entryList(QDir::Files).isEmpty());
        QVERIFY(!QFileInfo::exists(RMRecovery::recoveredFolder(_cut) + "/" +
                                   QFileInfo(_cut).fileName()));
    }
};

ORVIN_TEST_MAIN(TestRecoverOfferWindow)
#include "test_recover_offer_window.moc"
