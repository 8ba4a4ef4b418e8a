// The list frame and table with real widgets: opening a folder through the
// Open button, the group toggles, the tick boxes, Page Down and Page Up, the
// double-click guard, a vanished file, and a backup answered in the real
// overwrite dialog.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTimer>

#include "app/rm_app.h"
#include "app/rm_settings.h"
#include "mp4_fixture.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"
#include "ui/rm_dialog_overwrite.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_widget_video_list.h"
#include "ui/rm_widget_video_list_delegate.h"
#include "widget_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_popup_message.h"

using namespace orvin_test;
using widget_fixture::answerModal;

namespace {
RMVideoFileList* list() {
    return RMVideoFileList::instance();
}

// The columns fill the viewport exactly: the last one ends at its edge,
// none under the scroll bar.
void checkColumnsFit(const RMWidgetVideoList* table) {
    const QHeaderView* header = table->horizontalHeader();
    const int last = header->count() - 1;
    QTRY_COMPARE(header->sectionViewportPosition(last) + header->sectionSize(last),
                 table->viewport()->width());
    // The file name still fits in its column, in the list's face.
    QFont face("Monaco");
    face.setStyleHint(QFont::Monospace);
    face.setPixelSize(12);
    for (const RMVideoItem* item : RMVideoFileList::instance()->shownItems()) {
        QVERIFY(QFontMetrics(face).horizontalAdvance(item->title()) < header->sectionSize(2));
    }
}
}  // namespace

class TestListView : public QObject {
    Q_OBJECT

    QWidget* window = nullptr;
    RMFrameList* frame = nullptr;
    QString cardPath;
    QString chosen;

    RMWidgetVideoList* table() const { return frame->table(); }
    int selectedRow() const {
        const QModelIndexList rows = table()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }

    void openThroughTheButton(const QString& folder) {
        chosen = folder;
        QueuedSpy ended(list(), &RMVideoFileList::listUpdateEnd);
        frame->openButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(ended.calls.contains(std::make_tuple(true)), 20000);
    }

private Q_SLOTS:
    void initTestCase() {
        const QString busy = makeMp4(Video::Busy, 2);
        if (busy.isEmpty()) {
            QSKIP("ffmpeg cannot make the fixtures");
        }
        cardPath = home().path() + "/card";
        const char* names[] = {"NNF_200101-100000-000001", "NEF_200101-100100-000002",
                               "NNF_200101-100200-000003", "PEF_200101-100300-000004"};
        for (const char* name : names) {
            placeCopy(busy, cardPath + "/DCIM/" + name + "_1.mp4");
            placeCopy(busy, cardPath + "/DCIM/" + name + "_2.mp4");
        }
        RMApp::setFolderChooser([this](const QString&, const QString&) { return chosen; });
        window = new QWidget;
        window->resize(340, 362);
        RMApp::instance()->setMainWindow(window);
        frame = new RMFrameList(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void openingAFolderListsItAndRemembersIt() {
        QVERIFY(!frame->normalButton()->isEnabled());
        openThroughTheButton(cardPath);
        QCOMPARE(table()->rowCount(), 4);
        QCOMPARE(selectedRow(), 0);
        QVERIFY(frame->normalButton()->isEnabled() && frame->normalButton()->isChecked());
        QVERIFY(frame->eventButton()->isChecked());
        QVERIFY(table()->delegate()->headerCheckBox()->isEnabled());
        QTRY_COMPARE(RMSettings::instance()->lastMoviePath(), cardPath);

        // A folder without recordings changes nothing, not even the memory.
        QueuedSpy scanned(list(), &RMVideoFileList::folderScanned);
        chosen = home().path() + "/nothing";
        QDir().mkpath(chosen);
        frame->openButton()->click();
        QVERIFY(scanned.wait(5000));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(table()->rowCount(), 4);
        QCOMPARE(RMSettings::instance()->lastMoviePath(), cardPath);
        // ... but the user is told why.
        RMNotice* notice = RMNotice::of(window);
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(), "No recordings in this folder.\n" + chosen);
    }

    // Four rows need no scroll bar, many do; the columns fit either way.
    void scrollBarOnlyWhenNeeded() {
        QVERIFY(!table()->verticalScrollBar()->isVisible());
        checkColumnsFit(table());
        const QString many = home().path() + "/many";
        QDir().mkpath(many + "/DCIM");
        for (int i = 0; i < 16; ++i) {
            const QString name =
                QString("NNF_200102-1000%1-0000%1_1.mp4").arg(i, 2, 10, QChar('0'));
            QVERIFY(QFile::copy(cardPath + "/DCIM/NNF_200101-100000-000001_1.mp4",
                                many + "/DCIM/" + name));
        }
        openThroughTheButton(many);
        QCOMPARE(table()->rowCount(), 16);
        QTRY_VERIFY(table()->verticalScrollBar()->isVisible());
        checkColumnsFit(table());
        openThroughTheButton(cardPath);
        QTRY_VERIFY(!table()->verticalScrollBar()->isVisible());
        checkColumnsFit(table());
    }

    void groupTogglesFilterTheRows() {
        frame->normalButton()->click();  // hide the normal recordings
        QCOMPARE(table()->rowCount(), 2);
        frame->eventButton()->click();
        QCOMPARE(table()->rowCount(), 0);
        frame->normalButton()->click();
        frame->eventButton()->click();
        QCOMPARE(table()->rowCount(), 4);
    }

    void tickBoxesDriveTheHeaderAndBackup() {
        QCheckBox* header = table()->delegate()->headerCheckBox();
        QCOMPARE(header->checkState(), Qt::Unchecked);
        QVERIFY(!frame->backupButton()->isEnabled());
        for (int row = 0; row < 4; ++row) {
            // The persistent editor opens under the mouse and ticks its row.
            table()->delegate()->entered(table()->model()->index(row, 0));
            QCheckBox* box = nullptr;
            for (QCheckBox* candidate :
                 table()->viewport()->findChildren<QCheckBox*>("list_check")) {
                if (candidate->property("row").toInt() == row) {
                    box = candidate;
                }
            }
            QVERIFY(box);
            box->click();
            QCOMPARE(list()->shownItems().at(row)->checked, true);
            QCOMPARE(header->checkState(), row < 3 ? Qt::PartiallyChecked : Qt::Checked);
            QVERIFY(frame->backupButton()->isEnabled());
            QVERIFY(frame->backupShortcut()->isEnabled());
        }
        header->click();  // checked -> none
        QCOMPARE(header->checkState(), Qt::Unchecked);
        QVERIFY(!frame->backupButton()->isEnabled());
        header->click();  // none -> all
        QCOMPARE(header->checkState(), Qt::Checked);
        for (RMVideoItem* item : list()->shownItems()) {
            QVERIFY(item->checked);
        }
    }

    void pageDownWrapsAndPageUpStopsAtTheTop() {
        table()->selectRow(3);
        table()->nextShortcut()->activated();
        QCOMPARE(selectedRow(), 0);
        table()->previousShortcut()->activated();
        QCOMPARE(selectedRow(), 0);
        table()->nextShortcut()->activated();
        QCOMPARE(selectedRow(), 1);
        table()->previousShortcut()->activated();
        QCOMPARE(selectedRow(), 0);
    }

    void doubleClickSelectsOnceWithinTheGuard() {
        list()->setCurrentItem(nullptr);
        QSignalSpy selected(table(), SIGNAL(listSelected(RMVideoItem*)));
        table()->onDoubleClickItem(1, 1);
        table()->onDoubleClickItem(2, 1);  // within 300 ms: ignored
        QCOMPARE(selected.count(), 1);
        QCOMPARE(list()->currentItem(), list()->shownItems().at(1));
        QTest::qWait(RMWidgetVideoList::kDoubleClickGuardMs + 50);
        table()->onDoubleClickItem(1, 1);  // already playing: not restarted
        QCOMPARE(selected.count(), 1);
        QTest::qWait(RMWidgetVideoList::kDoubleClickGuardMs + 50);
        table()->onDoubleClickItem(2, 1);
        QCOMPARE(selected.count(), 2);
        QTest::qWait(RMWidgetVideoList::kDoubleClickGuardMs + 50);
    }

    void aVanishedFileIsReportedAndRemoved() {
        RMVideoItem* item = list()->shownItems().at(3);
        const QString path = item->primaryPath();
        QFile::rename(path, path + ".away");
        QString shown;
        answerModal([&shown](QWidget* modal) {
            shown = modal->findChild<QLabel*>("text_header_label")->text();
            static_cast<QDialog*>(modal)->accept();
        });
        QSignalSpy selected(table(), SIGNAL(listSelected(RMVideoItem*)));
        table()->onDoubleClickItem(3, 1);
        QFile::rename(path + ".away", path);
        QCOMPARE(shown, QString("File does not exist."));
        QCOMPARE(selected.count(), 0);
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(list()->shownItems().size(), 3);
        QTest::qWait(RMWidgetVideoList::kDoubleClickGuardMs + 50);
    }

    void backupAsksInTheRealDialog() {
        const QString target = home().path() + "/backup";
        QDir().mkpath(target);
        QFile old(target + "/NNF_200101-100000-000001_1.mp4");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        for (RMVideoItem* item : list()->shownItems()) {
            item->checked = true;
        }
        table()->refreshAllCheckBox();
        int questions = 0;
        bool offeredAll = false;
        // Skip, for all the remaining conflicts.
        connect(list(), &RMVideoFileList::backupPaused, this, [&](bool paused) {
            if (!paused) {
                return;
            }
            answerModal([&](QWidget* modal) {
                auto* dialog = qobject_cast<RMDialogOverwrite*>(modal);
                QVERIFY(dialog);
                ++questions;
                offeredAll = dialog->applyToAll() != nullptr;
                dialog->applyToAll()->setChecked(true);
                dialog->skipButton()->click();
            });
        });
        // While it runs: the progress popup is modal, and no second backup
        // can be asked for.
        bool modal = false;
        bool refused = false;
        connect(list(), &RMVideoFileList::backupStarted, this, [&]() {
            RMDialogProgress* progress = RMDialogProgress::current();
            modal = progress && QApplication::activeModalWidget() == progress;
            refused = !frame->backupButton()->isEnabled() && !frame->backupShortcut()->isEnabled();
        });
        QueuedSpy ended(list(), &RMVideoFileList::backupEnd);
        chosen = target;
        frame->backupButton()->click();
        QVERIFY(ended.wait(30000));
        QThreadPool::globalInstance()->waitForDone();
        QVERIFY(modal);
        QVERIFY(refused);
        QVERIFY(frame->backupButton()->isEnabled() && frame->backupShortcut()->isEnabled());
        QCOMPARE(questions, 1);
        QVERIFY(offeredAll);
        QCOMPARE(QDir(target).entryList(QDir::Files).size(), 6);
        QCOMPARE(widget_fixture::readAll(target + "/NNF_200101-100000-000001_1.mp4"),
                 QByteArray("old"));
        // What happened is told in a notice, not another dialog.
        RMNotice* notice = RMNotice::of(window);
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(),
                 QString("5 files backed up to %1\n(1 skipped, 0 failed)").arg(target));
    }

    // A recording cut off by a power loss is not listed, but the status
    // says that files were left out, and which were cut off.
    void theStatusCountsLeftOutFiles() {
        auto* status = frame->findChild<QLabel*>("list_status");
        QVERIFY(status);
        QVERIFY(status->text().isEmpty());
        const QString cut = cardPath + "/DCIM/NNF_200101-100400-000005_1.mp4";
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("0000001466747970697336d6000000006973366d000000006d646174") +
                   QByteArray(1000, 'v'));
        file.close();
        openThroughTheButton(cardPath);
        QCOMPARE(table()->rowCount(), 4);
        QCOMPARE(status->text(), QString("1 left out"));
        QVERIFY(status->toolTip().contains(cut));
        QFile::remove(cut);
        openThroughTheButton(cardPath);
        QVERIFY(status->text().isEmpty());
    }
};

ORVIN_TEST_MAIN(TestListView)
#include "test_list_view.moc"
