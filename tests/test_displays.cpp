// The displays that follow playback: the speed, the G-sensor graph with its
// zoom and scale, the unit shared with the map's legend, the slider bar's
// tick labels and mute tooltip, and the link hand-over.
#include <QLabel>
#include <QSignalSpy>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "sensor_fixture.h"
#include "test_support.h"
#include "ui/rm_dialog_map.h"
#include "ui/rm_frame_graph.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_graph_widget.h"
#include "ui/rm_released_slider.h"
#include "ui/rm_speed_label.h"
#include "ui/web_url_request_interceptor.h"
#include "widget_fixture.h"
#include "widgets/rm_button.h"

using sensor_fixture::makeData;
using sensor_fixture::makeItem;

class TestDisplays : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        RMApp::instance()->initialize(*qApp);
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
    }

    void speedTextLimitsAndUnits() {
        RMApp::isMPH = false;
        QCOMPARE(RMSpeedLabel::speedText(0), QString("0"));
        QCOMPARE(RMSpeedLabel::speedText(499.9), QString("499"));
        QCOMPARE(RMSpeedLabel::speedText(500), QString("--"));
        QCOMPARE(RMSpeedLabel::speedText(-1), QString("--"));
        RMApp::isMPH = true;
        QCOMPARE(RMSpeedLabel::speedText(100), QString("62"));
        QCOMPARE(RMSpeedLabel::speedText(600), QString("372"));  // below 500 in mph
        QCOMPARE(RMSpeedLabel::speedText(805), QString("--"));
        RMApp::isMPH = false;
    }

    void speedFollowsThePosition() {
        RMSpeedLabel label(nullptr);
        QVERIFY(!RMApp::isMPH);
        QCOMPARE(label.unitLabel()->text(), QString("km/h"));
        // Seconds: 40 km/h; no fix; 600 km/h; a fix at an impossible place; 100 km/h.
        auto item = makeItem(makeData({{35.6, 139.7, 40},
                                       {35.6, 139.7, 50, 0},
                                       {35.6, 139.7, 600},
                                       {95.0, 139.7, 70},
                                       {35.6, 139.7, 100}}));
        label.onPlayEvent(PE_STARTED, item.get());
        const auto at = [&](qint64 position, qint64 duration = 5000) {
            label.onPositionChanged(position, duration);
            return label.lcd()->text();
        };
        QCOMPARE(at(500), QString("40"));
        QCOMPARE(at(1500), QString("--"));
        QCOMPARE(at(2500), QString("--"));
        QCOMPARE(at(3500), QString("--"));
        QCOMPARE(at(4500), QString("100"));
        QCOMPARE(at(-200), QString("40"));     // held to the first sample
        QCOMPARE(at(9000), QString("100"));    // held to the last
        QCOMPARE(at(700, 0), QString("100"));  // no duration: nothing changes
        RMApp::isMPH = true;
        QCOMPARE(at(4000), QString("62"));
        RMApp::isMPH = false;

        label.onPlayEvent(PE_STOPPED, nullptr);
        QCOMPARE(at(500), QString("62"));  // no samples: the text stays
        label.onPlayEvent(PE_USER_STOP, nullptr);
        QVERIFY(label.lcd()->text().isEmpty());
        // A recording without GPS reads "--" from the start.
        auto none = makeItem(makeData({}, 10));
        label.onPlayEvent(PE_STARTED, none.get());
        QCOMPARE(label.lcd()->text(), QString("--"));
        QCOMPARE(at(500), QString("--"));
    }

    void aFreedRecordingIsNeverRead() {
        // The list frees its recordings at a reload, possibly before the
        // player's stop is announced: the displays must let go by themselves.
        RMSpeedLabel label(nullptr);
        RMGraphWidget graph(nullptr, {1, 2, 4});
        graph.resize(400, 75);
        auto item = makeItem(makeData({{35.6, 139.7, 40}, {35.6, 139.7, 100}}, 100));
        label.onPlayEvent(PE_STARTED, item.get());
        graph.onPlayEvent(PE_STARTED, item.get());
        label.onPositionChanged(1500, 2000);
        QCOMPARE(label.lcd()->text(), QString("100"));
        item.reset();
        label.onPositionChanged(500, 2000);
        QCOMPARE(label.lcd()->text(), QString("100"));
        graph.onZoomOut();
        QVERIFY(graph.line(0).isEmpty());
    }

    void clickSwitchesTheUnitOfTheMapLegend() {
        RMSpeedLabel label(nullptr);
        RMDialogMap map(nullptr);
        connect(&label, SIGNAL(speedUnitChange()), &map, SLOT(onSpeedUnitChange()));
        QVERIFY(map.highSpeedLabel()->text().contains("130 km/h"));
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        QTest::mouseClick(&label, Qt::LeftButton);
        QVERIFY(RMApp::isMPH);
        QCOMPARE(label.unitLabel()->text(), QString("mph"));
        QCOMPARE(map.highSpeedLabel()->text(), QString("高速 ( 80 mph 以上 )"));
        QCOMPARE(label.objectName(), QString("all_border_dark"));
        QTest::mouseClick(&label, Qt::LeftButton);
        QVERIFY(!RMApp::isMPH);
        QVERIFY(map.highSpeedLabel()->text().contains("130 km/h"));
        // English starts in mph, on the label and in the legend.
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QVERIFY(RMApp::isMPH);
        QCOMPARE(map.highSpeedLabel()->text(), QString("High speed ( up to 80 mph )"));
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QVERIFY(!RMApp::isMPH);
    }

    void verticalMappingAtEachLevel() {
        const int h = 75;
        for (int level : {1, 2, 4}) {
            const double range = 2.0 * level / (8 - level);
            QCOMPARE(RMGraphWidget::transform(0, h, level), h / 2.0);
            QVERIFY(qAbs(RMGraphWidget::transform(range, h, level)) < 1e-9);
            QVERIFY(qAbs(RMGraphWidget::transform(-range, h, level) - h) < 1e-9);
        }
        // A wider level keeps 1 g on screen that a narrower one puts off it.
        QVERIFY(RMGraphWidget::transform(1.0, h, 4) > 0);
        QVERIFY(RMGraphWidget::transform(1.0, h, 2) < 0);
    }

    // The unit keeps a margin from the right border, in either unit and
    // either language.
    void theUnitKeepsOffTheBorder() {
        for (const auto language : {RMLanguage::LANGUAGE_JAPANESE, RMLanguage::LANGUAGE_ENGLISH}) {
            RMLanguage::instance()->setLanguage(language);
            RMSpeedLabel label(nullptr);
            label.show();
            QVERIFY(QTest::qWaitForWindowExposed(&label));
            for (int click = 0; click < 2; ++click) {
                QLabel* unit = label.unitLabel();
                const QRect box = widget_fixture::rectIn(unit, &label);
                const int textRight = box.x() + unit->fontMetrics().horizontalAdvance(unit->text());
                QVERIFY2(textRight <= label.width() - 1 - 4,
                         qPrintable(unit->text() + " ends at " + QString::number(textRight)));
                QVERIFY(box.right() < label.width() - 1);
                label.onSpeednUnit();
            }
        }
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
    }

    // The labels at the top and the bottom name the range drawn there.
    void scaleLabelsNameTheRangeDrawn() {
        const int h = 75;
        const QList<std::pair<int, QString>> expected = {{1, "0.29"}, {2, "0.67"}, {4, "2"}};
        for (const auto& [level, range] : expected) {
            QCOMPARE(RMGraphWidget::scaleText(level, true), "+" + range + " g");
            QCOMPARE(RMGraphWidget::scaleText(level, false), "-" + range + " g");
            // The value the label names lands within a pixel of the edge.
            QVERIFY(qAbs(RMGraphWidget::transform(range.toDouble(), h, level)) < 1.0);
            QVERIFY(qAbs(RMGraphWidget::transform(-range.toDouble(), h, level) - h) < 1.0);
        }
    }

    // Every tick label lies inside the speed slider, centred on the tick
    // under the handle at its value, in the normal size and in full screen.
    void speedLabelsAreCentredOnTheirTicks() {
        RMFrameSlider bar(nullptr);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        RMReleasedSlider* speed = bar.speedSlider();
        QCOMPARE(speed->tickLabels(), QStringList({"0.5", "1.0", "2.0", "4.0"}));
        RMApp* app = RMApp::instance();
        for (const auto event :
             {RMApp::EVENT_FULLSCREEN_ENTERING, RMApp::EVENT_FULLSCREEN_LEAVING}) {
            for (int value = speed->minimum(); value <= speed->maximum(); ++value) {
                const QRect label = speed->labelRect(value);
                QVERIFY2(speed->rect().contains(label),
                         qPrintable(QString("label %1 at %2..%3 of %4")
                                        .arg(value)
                                        .arg(label.left())
                                        .arg(label.right())
                                        .arg(speed->width())));
                QVERIFY(qAbs(label.center().x() - speed->tickX(value)) <= 1);
            }
            Q_EMIT app->appEvent(event);
        }
        // A click on a label moves the handle to its tick.
        QTest::mouseClick(speed, Qt::LeftButton, Qt::NoModifier,
                          QPoint(speed->tickX(3), speed->height() / 2));
        QCOMPARE(speed->value(), 3);
        speed->setValue(1);
    }

    // A language change while muted keeps the tooltip of the muted state.
    void muteTooltipSurvivesALanguageChange() {
        RMFrameSlider bar(nullptr);
        RMLanguage* language = RMLanguage::instance();
        bar.onPlayEvent(PE_MUTED, nullptr);
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(bar.muteButton()->toolTip(), QString("Unmute"));
        language->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(bar.muteButton()->toolTip(), QString("ミュートの解除"));
        bar.onPlayEvent(PE_UNMUTED, nullptr);
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(bar.muteButton()->toolTip(), QString("Mute"));
        language->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(bar.muteButton()->toolTip(), QString("消音モード"));
    }

    void zoomStopsAtTheEndsAndTheButtonsFollow() {
        RMFrameGraph frame(nullptr);
        RMGraphWidget* graph = frame.graph();
        QSignalSpy changes(graph, SIGNAL(zoomChange(bool, bool)));
        QCOMPARE(graph->level(), 2);
        frame.zoomInButton()->click();
        QCOMPARE(graph->level(), 1);
        QVERIFY(!frame.zoomInButton()->isEnabled() && frame.zoomOutButton()->isEnabled());
        graph->onZoomIn();  // at the first level: nothing
        QCOMPARE(graph->level(), 1);
        QCOMPARE(changes.count(), 1);
        frame.zoomOutButton()->click();
        frame.zoomOutButton()->click();
        QCOMPARE(graph->level(), 4);
        QVERIFY(frame.zoomInButton()->isEnabled() && !frame.zoomOutButton()->isEnabled());
        graph->onZoomOut();
        QCOMPARE(graph->level(), 4);
        QCOMPARE(changes.count(), 3);
        QCOMPARE(changes.last(), QList<QVariant>({true, false}));
    }

    void polylinesAndCursor() {
        RMGraphWidget graph(nullptr, {1, 2, 4});
        graph.resize(400, 75);
        auto item = makeItem(makeData({{35.6, 139.7, 40}}, 100));
        graph.onPlayEvent(PE_STARTED, item.get());
        QCOMPARE(graph.line(0).size(), 100);
        QCOMPARE(graph.line(2).size(), 100);
        QCOMPARE(graph.line(0).at(50).x(), 200.0);
        QCOMPARE(graph.line(0).at(0).y(), 37.5);  // 0 g in the middle
        // Sample 50 is +0.5 g on X, -0.5 g on Y: mirrored around the middle.
        QVERIFY(graph.line(0).at(50).y() < 37.5);
        QCOMPARE(graph.line(0).at(50).y() + graph.line(1).at(50).y(), 75.0);
        QCOMPARE(graph.cursorX(), -1);

        graph.onPositionChanged(0, 10000);
        QCOMPARE(graph.cursorX(), 0);
        graph.onPositionChanged(5000, 10000);
        QCOMPARE(graph.cursorX(), 200);
        graph.onPositionChanged(10000, 10000);
        QCOMPARE(graph.cursorX(), 399);  // the last column, still on screen
        graph.onPositionChanged(25000, 10000);
        QCOMPARE(graph.cursorX(), 399);
        graph.onPositionChanged(-40, 10000);
        QCOMPARE(graph.cursorX(), 0);
        graph.onPositionChanged(5000, 0);  // no duration: the cursor stays
        QCOMPARE(graph.cursorX(), 0);

        // A resize keeps the lines until the next start or zoom.
        graph.resize(200, 75);
        QCOMPARE(graph.line(0).at(50).x(), 200.0);
        graph.onZoomOut();
        QCOMPARE(graph.line(0).at(50).x(), 100.0);

        graph.onPlayEvent(PE_STOPPED, nullptr);
        QVERIFY(graph.line(0).isEmpty() && graph.cursorX() == -1);
        auto noG = makeItem(makeData({{35.6, 139.7, 40}}));
        graph.onPlayEvent(PE_STARTED, noG.get());
        QVERIFY(graph.line(1).isEmpty());
    }

    void onlyWebAddressesReachTheBrowser() {
        QList<QUrl> opened;
        WebUrlRequestInterceptor::setOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        WebUrlRequestInterceptor local;
        QVERIFY(!local.handle(QUrl("https://example.org/image.png"), false));  // not a page
        QVERIFY(local.handle(QUrl("file:///etc/passwd"), true));               // taken, not opened
        QVERIFY(!local.handle(QUrl("https://example.org/"), true));            // only once
        QVERIFY(opened.isEmpty());
        for (const char* url : {"javascript:alert(1)", "qrc:/html/gmap.html", "ftp://host/x"}) {
            WebUrlRequestInterceptor other;
            QVERIFY(other.handle(QUrl(url), true));
        }
        QVERIFY(opened.isEmpty());

        WebUrlRequestInterceptor web;
        QVERIFY(web.handle(QUrl("HTTPS://www.openstreetmap.org/copyright"), true));
        QVERIFY(web.handled());
        QCOMPARE(opened, QList<QUrl>{QUrl("https://www.openstreetmap.org/copyright")});
        WebUrlRequestInterceptor::setOpener({});
    }
};

ORVIN_TEST_MAIN(TestDisplays)
#include "test_displays.moc"
