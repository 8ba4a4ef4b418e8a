// Common controls: range mapping, window dragging, popups, the progress
// popup, the notice, the path field and styled frames following full screen.
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>

#include "app/rm_language.h"
#include "test_support.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_path_field.h"
#include "widgets/rm_popup.h"
#include "widgets/rm_popup_message.h"
#include "widgets/rm_utility.h"
#include "widgets/rm_widget_drag.h"
#include "widgets/rm_widget_style_base.h"

namespace {
void sendMouse(QWidget* target, QEvent::Type type, QPoint pos) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses at from, moves by delta and releases; returns how far the window went.
QPoint drag(QWidget* window, QPoint from, QPoint delta) {
    const QPoint before = window->pos();
    sendMouse(window, QEvent::MouseButtonPress, from);
    sendMouse(window, QEvent::MouseMove, from + delta);
    sendMouse(window, QEvent::MouseButtonRelease, from + delta);
    return window->pos() - before;
}
}  // namespace

class TestWidgets : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rangeMapsLinearly() {
        QCOMPARE(RMUtility::range(0, 10, 0, 100, 5), 50.0f);
        QCOMPARE(RMUtility::range(0, 10, 100, 0, 2.5f), 75.0f);
        QCOMPARE(RMUtility::range(-2, 2, 0, 1, 3), 1.25f);
        // A degenerate input range gives the lower output bound, not inf/NaN.
        QCOMPARE(RMUtility::range(4, 4, -1, 1, 4), -1.0f);
        QCOMPARE(RMUtility::range(4, 4, 7, 9, 100), 7.0f);
    }

    void popupMovesOnlyByItsTitleStrip() {
        RMPopup popup(nullptr, "title", QString(), Qt::WindowFlags());
        popup.resize(300, 200);
        popup.move(100, 100);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QCOMPARE(drag(&popup, QPoint(50, 10), QPoint(30, 20)), QPoint(30, 20));
        QCOMPARE(drag(&popup, QPoint(50, 38), QPoint(-10, 5)), QPoint(-10, 5));
        // Below the 39-pixel strip nothing moves.
        QCOMPARE(drag(&popup, QPoint(50, 39), QPoint(30, 20)), QPoint(0, 0));
        QCOMPARE(drag(&popup, QPoint(50, 150), QPoint(30, 20)), QPoint(0, 0));
    }

    void fullScreenWindowCannotBeDragged() {
        QMainWindow window;
        new RMWidgetDrag(&window, 43);
        window.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.isFullScreen());
        QCOMPARE(drag(&window, QPoint(50, 10), QPoint(30, 20)), QPoint(0, 0));
    }

    void secondProgressPopupReplacesTheFirst() {
        QPointer<RMDialogProgress> first = RMDialogProgress::start("one", false);
        QVERIFY(first);
        QCOMPARE(first->height(), 120);
        first->onUpdateValue(100);
        QCOMPARE(first->progressBar()->value(), 100);
        QCOMPARE(first->progressBar()->maximum(), 364);

        QPointer<RMDialogProgress> second = RMDialogProgress::start("two", true);
        QVERIFY(!first);
        QCOMPARE(RMDialogProgress::current(), second.data());
        QCOMPARE(second->height(), 140);
        QCOMPARE(second->progressBar()->value(), 0);
        QVERIFY(second->isVisible());

        RMDialogProgress::stop();
        QVERIFY(!second);
        QCOMPARE(RMDialogProgress::current(), nullptr);
        RMDialogProgress::stop();  // nothing left to stop
    }

    void progressPopupBlocksOnlyWhileItShows() {
        QWidget window;
        auto* button = new QPushButton("press", &window);
        button->setGeometry(10, 10, 80, 30);
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicks(button, &QPushButton::clicked);
        // Clicks go in through the window system, as a user's do.
        auto click = [&] {
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(40, 25));
            QCoreApplication::processEvents();
        };
        RMDialogProgress::start("loading", false);
        click();
        QCOMPARE(clicks.count(), 0);
        RMDialogProgress::stop();
        // Once stopped, no window stays blocked behind it.
        click();
        QCOMPARE(clicks.count(), 1);
    }

    void cancelReachesTheInstalledHandler() {
        static int cancels = 0;
        RMDialogProgress::setCancelHandler([]() { ++cancels; });
        RMDialogProgress* progress = RMDialogProgress::start("backup", true);
        progress->onCancel();
        QCOMPARE(cancels, 1);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
        RMDialogProgress::stop();
        RMDialogProgress::setCancelHandler(nullptr);
    }

    void messagePopupGrowsWithItsText() {
        RMPopupMessage shortMessage(nullptr, "t", "short");
        RMPopupMessage longMessage(nullptr, "t", "a much longer message for the user to read");
        QVERIFY(longMessage.width() > shortMessage.width() + 100);
    }

    // A notice shows at the bottom of its window without blocking it, a
    // second replaces the first, and it fades away by itself.
    void noticeShowsThenFades() {
        QWidget window;
        auto* button = new QPushButton("press", &window);
        button->setGeometry(0, 0, 400, 300);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        RMNotice::holdMs = 300;
        RMNotice::fadeMs = 100;
        RMNotice* notice = RMNotice::post(&window, "No recordings in this folder.");
        QCOMPARE(RMNotice::post(&window, "second"), notice);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("second"));
        QVERIFY(QRect(0, 0, 400, 300).contains(notice->geometry()));
        QVERIFY(notice->geometry().top() > 150);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QSignalSpy clicks(button, &QPushButton::clicked);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          notice->geometry().center());
        QCOMPARE(clicks.count(), 1);  // clicks go through
        QTRY_VERIFY(!notice->isVisible());
        RMNotice::holdMs = 4000;
        RMNotice::fadeMs = 800;
    }

    // A long path loses its middle, keeps its start and end, and shows in
    // full as the tooltip; a short one shows whole.
    void pathFieldElidesInTheMiddle() {
        RMPathField field(nullptr);
        field.setFixedWidth(200);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        const QString path = "/home/someone/Documents/Orvin Video PlayerDoc/backup/2026/trip";
        field.setPath(path);
        QCOMPARE(field.path(), path);
        QCOMPARE(field.toolTip(), path);
        QVERIFY(field.text().startsWith("/home/"));
        QVERIFY(field.text().endsWith("2026/trip"));
        QVERIFY(field.text().contains(QChar(0x2026)));
        QVERIFY(field.fontMetrics().horizontalAdvance(field.text()) < field.width());
        field.setFixedWidth(800);
        QTRY_COMPARE(field.text(), path);
    }

    void styledFrameDropsItsStyleInFullScreen() {
        RMWidgetStyleBase styled(nullptr, "top_border", true);
        RMWidgetStyleBase plain(nullptr, QString(), true);
        plain.setObjectName("kept");
        QCOMPARE(styled.objectName(), QString("top_border"));
        Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_FULLSCREEN_ENTERING);
        QCOMPARE(styled.objectName(), QString());
        QCOMPARE(plain.objectName(), QString("kept"));
        Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_FULLSCREEN_ENTERED);
        QCOMPARE(styled.objectName(), QString());
        Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_FULLSCREEN_LEAVING);
        QCOMPARE(styled.objectName(), QString("top_border"));
    }

    void buttonsRegisterAndForgetTheirTooltips() {
        QWidget parent;
        RMButton* button =
            RMButton::create(&parent, nullptr, "open", "ファイルを開く", QSize(113, 30));
        QCOMPARE(button->size(), QSize(113, 30));
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        RMLanguage* language = RMLanguage::instance();
        QCOMPARE(
            language->registered(button, RMLanguage::TEXT_TOOLTIP, RMLanguage::LANGUAGE_JAPANESE),
            QString("ファイルを開く"));
        delete button;
        QCOMPARE(
            language->registered(button, RMLanguage::TEXT_TOOLTIP, RMLanguage::LANGUAGE_JAPANESE),
            QString());
    }

    void styleStatusIsSeenByTheStyleSheet() {
        QWidget parent;
        parent.setStyleSheet(
            "RMButton { color: white; } RMButton[restore=\"true\"] { color: red; }");
        RMButton* button =
            RMButton::create(&parent, nullptr, "fullscreen_button", QString(), QSize(42, 30));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(Qt::white));
        button->setStyleStatus("restore", true);
        QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(Qt::red));
    }
};

ORVIN_TEST_MAIN(TestWidgets)
#include "test_widgets.moc"
