// The map window against the real page in the web engine: which points the
// window joins by a line, and what the page draws from its calls.
#include <QJsonArray>
#include <QLabel>
#include <QScreen>
#include <QTemporaryFile>
#include <QWebEngineProfile>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "app/rm_web_engine_flags.h"
#include "engine_fixture.h"
#include "map_fixture.h"
#include "sensor_fixture.h"
#include "test_support.h"
#include "ui/rm_dialog_map.h"
#include "ui/rm_widget_map.h"
#include "ui/web_url_request_interceptor.h"

using engine_fixture::waitUntil;
using map_fixture::pageState;
using sensor_fixture::makeData;
using sensor_fixture::makeItem;
using sensor_fixture::northOf;

namespace {

const double kLat = 35.68;
const double kLon = 139.76;

// Web engine processes started by this one.
int webEngineProcesses() {
    int count = 0;
    const QString parent = QString::number(QCoreApplication::applicationPid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // pid (comm) state ppid ...
        const QString line = QString::fromLatin1(stat.readAll());
        const QString comm = line.section('(', 1).section(')', 0, 0);
        const QString ppid = line.section(')', 1).simplified().section(' ', 1, 1);
        count += comm.startsWith("QtWebEngine") && ppid == parent ? 1 : 0;
    }
    return count;
}

// The flags and the level of each setLatLag call, as "level,first,distance".
QStringList calls(const QStringList& scripts) {
    QStringList out;
    for (const QString& s : scripts) {
        if (s.startsWith("setLatLag(")) {
            out << s.mid(10).chopped(2).section(',', 2);
        }
    }
    return out;
}

}  // namespace

class TestMap : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // No tile can load: the page must draw without them.
        QDir().mkpath(RMApp::appPath(RMApp::PATH_CONFIG).section('/', 0, -2));
        QSettings ini(RMApp::appPath(RMApp::PATH_CONFIG), QSettings::IniFormat);
        ini.setValue("MAP/TILE_URL", "http://127.0.0.1:9/{z}/{x}/{y}.png");
        ini.sync();
        RMApp::instance()->initialize(*qApp);
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        // The engine starts with the viewer's own flags.
        RMWebEngineFlags::apply();
    }

    // Runs first: no web view has been made in this process yet. The engine
    // starts with the window, so that opening it during playback does not
    // wait for that; the page loads when the window first opens.
    void theEngineStartsWithTheWindowAndThePageWhenItOpens() {
        if (QGuiApplication::platformName() == "offscreen") {
            QSKIP("no OpenGL under the offscreen platform");
        }
        RMDialogMap dialog(nullptr);
        QVERIFY(dialog.mapWidget() != nullptr);
        QVERIFY(!dialog.mapWidget()->isVisibleTo(&dialog));
        auto item = makeItem(makeData({{kLat, kLon, 40}}));
        dialog.onPlayEvent(PE_STARTED, item.get());
        dialog.onPositionChanged(0, 1000);
        engine_fixture::spin(500);
        QVERIFY(!dialog.isPageLoaded());
        QVERIFY(dialog.mapWidget()->url().isEmpty());
        dialog.show();
        QStringList scripts;
        connect(dialog.mapWidget(), &RMWidgetMap::scriptRun,
                [&](const QString& s) { scripts << s; });
        // The point given before the page loaded is placed first.
        QVERIFY(waitUntil([&] { return dialog.isPageLoaded(); }));
        QVERIFY(scripts.value(0).startsWith("setTileLayers("));
        QCOMPARE(scripts.value(1), QString("setLatLag(35.680000,139.760000,3,1,1);"));
        QVERIFY(waitUntil([&] {
            return pageState(dialog.mapWidget()->page())["markers"].toArray().size() == 1;
        }));
    }

    // Under the offscreen platform there is no OpenGL: the window says that
    // the map needs it, and the process goes on.
    void withoutOpenGLTheWindowSaysSo() {
        if (QGuiApplication::platformName() != "offscreen") {
            QSKIP("needs the offscreen platform");
        }
        RMDialogMap dialog(nullptr);
        dialog.show();
        QVERIFY(waitUntil([&] { return dialog.noMapLabel() != nullptr; }));
        QVERIFY(dialog.mapWidget() == nullptr);
        QVERIFY(dialog.noMapLabel()->isVisible());
        QVERIFY(dialog.noMapLabel()->text().contains("OpenGL"));
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(dialog.noMapLabel()->text(),
                 QString("The map needs OpenGL, which is not available here."));
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        dialog.moveTo(kLon, kLat, 40, false);  // nothing to draw on, nothing breaks
        engine_fixture::spin(500);
        QCOMPARE(webEngineProcesses(), 0);
    }

    void haversineAndLevels() {
        QVERIFY(qAbs(RMDialogMap::distance(kLat, kLon, kLat + northOf(100), kLon) - 100) < 0.5);
        QVERIFY(RMDialogMap::distance(kLat, kLon, kLat + northOf(166), kLon) > 165);
        QCOMPARE(RMDialogMap::speedLevel(12), 0);
        QCOMPARE(RMDialogMap::speedLevel(130), 10);
        QCOMPARE(RMDialogMap::speedLevel(200), 13);
        QCOMPARE(RMDialogMap::speedLevel(-5), 0);
    }

    // Road tiles alone (drawn from a server), then road and aerial with a
    // choice that is kept.
    void aerialTilesAreOfferedWhenConfiguredAndTheChoiceKept() {
        map_fixture::TileServer server;
        const QString road = server.urlTemplate();
        const QString aerial = "http://127.0.0.1:9/aerial/{z}/{x}/{y}.jpg";
        QSettings ini(RMApp::appPath(RMApp::PATH_CONFIG), QSettings::IniFormat);
        ini.setValue("MAP/TILE_URL", road);
        ini.sync();
        const auto opened = [](RMDialogMap& dialog) {
            dialog.show();
            return waitUntil([&] { return dialog.isPageLoaded(); }) && waitUntil([&] {
                       return !pageState(dialog.mapWidget()->page())["tiles"].toArray().isEmpty();
                   });
        };
        // A tile server of one's own gets only the credit given for it.
        QVERIFY(RMSettings::instance()->mapTileAttribution().isEmpty());
        {
            RMDialogMap dialog(nullptr);
            QVERIFY(opened(dialog));
            const QJsonObject state = pageState(dialog.mapWidget()->page());
            QCOMPARE(state["tiles"].toArray(), QJsonArray({road}));
            QVERIFY(state["choices"].toArray().isEmpty());
            QVERIFY(waitUntil(
                [&] { return pageState(dialog.mapWidget()->page())["tilesDrawn"].toInt() > 0; }));
            // Same-origin checks are on: the page shows the server's tiles
            // but a script on it cannot read them.
            const QString read = map_fixture::scriptRead(dialog.mapWidget()->page(),
                                                         QUrl(road.section("{z}", 0, 0) + "1.png"));
            QVERIFY2(read.startsWith("failed"), qPrintable(read));
        }
        ini.setValue("MAP/AERIAL_URL", aerial);
        ini.setValue("MAP/AERIAL_ATTRIBUTION", "Aerial pictures");
        ini.sync();
        {
            RMDialogMap dialog(nullptr);
            QVERIFY(opened(dialog));
            const QJsonObject state = pageState(dialog.mapWidget()->page());
            QCOMPARE(state["tiles"].toArray(), QJsonArray({road}));
            QCOMPARE(state["choices"].toArray(), QJsonArray({"道路地図", "航空写真"}));
            dialog.mapWidget()->page()->runJavaScript(
                "document.querySelectorAll('.leaflet-control-layers-base input')[1].click();");
            QVERIFY(waitUntil([] { return RMSettings::instance()->mapLayer() == "aerial"; }));
            QCOMPARE(pageState(dialog.mapWidget()->page())["tiles"].toArray(),
                     QJsonArray({aerial}));
        }
        {
            RMDialogMap dialog(nullptr);
            QVERIFY(opened(dialog));
            QCOMPARE(pageState(dialog.mapWidget()->page())["tiles"].toArray(),
                     QJsonArray({aerial}));
        }
        ini.remove("MAP/AERIAL_URL");
        ini.remove("MAP/AERIAL_ATTRIBUTION");
        ini.remove("MAP/LAYER");
        ini.setValue("MAP/TILE_URL", "http://127.0.0.1:9/{z}/{x}/{y}.png");
        ini.sync();
    }

    void opensBesideTheMainWindowOrWhereTheUserLeftIt() {
        const QSize size(403, 493);
        const QRect full(0, 0, 1920, 1080);
        const QPoint onScreen(100, 50);
        const QPoint offScreen(3000, 50);
        struct Case {
            QRect main;
            QRect screen;
            const QPoint* stored;
            QPoint expected;
        };
        const Case cases[] = {
            {{445, 182, 1030, 716}, full, nullptr, {1483, 182}},            // right of it
            {{880, 100, 1030, 716}, full, nullptr, {469, 100}},             // no room right: left
            {{125, 42, 1030, 716}, {0, 0, 1280, 800}, nullptr, {877, 42}},  // over the list
            {{445, 700, 1030, 716}, full, nullptr, {1483, 587}},            // kept on the screen
            {{445, 182, 1030, 716}, full, &onScreen, onScreen},
            {{445, 182, 1030, 716}, full, &offScreen, {1483, 182}},  // a screen that is gone
        };
        for (const Case& c : cases) {
            QCOMPARE(RMDialogMap::placement(c.main, size, c.screen, c.stored, {c.screen}),
                     c.expected);
        }
        // The real window: beside its main window, then where it was left.
        QSettings ini(RMApp::appPath(RMApp::PATH_CONFIG), QSettings::IniFormat);
        ini.remove("MAP/WINDOW_X");
        ini.remove("MAP/WINDOW_Y");
        ini.sync();
        QWidget main;
        main.setGeometry(200, 100, 600, 400);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QPoint expected =
            RMDialogMap::placement(main.frameGeometry(), size, main.screen()->availableGeometry(),
                                   nullptr, {main.screen()->availableGeometry()});
        {
            RMDialogMap dialog(&main);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.pos(), expected);
            dialog.move(60, 70);
            QVERIFY(waitUntil([&] { return dialog.pos() == QPoint(60, 70); }));
            dialog.onClose();
        }
        RMDialogMap again(&main);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.pos(), QPoint(60, 70));
        again.onClose();
    }

    void lineRulesAndWhatThePageDraws() {
        RMDialogMap dialog(nullptr);
        dialog.show();
        QVERIFY(waitUntil([&] { return dialog.isPageLoaded(); }));
        QStringList scripts;
        connect(dialog.mapWidget(), &RMWidgetMap::scriptRun,
                [&](const QString& s) { scripts << s; });
        // Northwards, one point a second: 100 m steps, then one of 166 m.
        const double m[] = {0, 100, 200, 300, 466, 566, 666, 766};
        const double speeds[] = {12, 12, 12, 130, 130, 200, 200, 200};
        QVector<sensor_fixture::Point> points;
        for (int i = 0; i < 8; ++i) {
            points.append({kLat + northOf(m[i]), kLon, speeds[i]});
        }
        auto item = makeItem(makeData(points));
        dialog.onPlayEvent(PE_STARTED, item.get());
        const qint64 d = 8000;
        for (qint64 p : {0, 1000, 1500, 2000, 3000, 4000}) {
            dialog.onPositionChanged(p, d);
        }
        // First call; joined; same sample again: no call; joined; a new
        // level joined; 166 m: not joined.
        QCOMPARE(calls(scripts), QStringList({"0,1,1", "0,0,0", "0,0,0", "10,0,0", "10,0,1"}));
        scripts.clear();
        dialog.onPositionChanged(7000, d);  // a seek 3 s ahead
        dialog.onPositionChanged(5000, d);  // and back
        dialog.onPositionChanged(6000, d);
        dialog.onPositionChanged(7000, d);
        QCOMPARE(calls(scripts), QStringList({"13,0,1", "13,0,1", "13,0,0", "13,0,0"}));
        scripts.clear();
        // Replaying a stretch draws none of its segments again.
        dialog.onPositionChanged(0, d);
        dialog.onPositionChanged(1000, d);
        dialog.onPositionChanged(2000, d);
        QCOMPARE(calls(scripts), QStringList({"0,0,1", "0,0,1", "0,0,1"}));
        QCOMPARE(scripts.first(), QString("setLatLag(%1,139.760000,0,0,1);").arg(kLat, 0, 'f', 6));

        // The page: level 0 (two segments in one line), level 10, level 13.
        const QJsonObject state = pageState(dialog.mapWidget()->page());
        const QJsonArray lines = state["lines"].toArray();
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].toObject()["color"].toString(), QString("#7FED11"));
        QCOMPARE(lines[0].toObject()["points"].toInt(), 3);
        QCOMPARE(lines[1].toObject()["color"].toString(), QString("#C811ED"));
        QCOMPARE(lines[2].toObject()["color"].toString(), QString("#ED1135"));
        QCOMPARE(lines[2].toObject()["points"].toInt(), 3);
        QCOMPARE(lines[0].toObject()["weight"].toInt(), 4);
        QCOMPARE(lines[0].toObject()["opacity"].toDouble(), 1.0);
        const QJsonArray markers = state["markers"].toArray();
        QCOMPARE(markers.size(), 1);
        QVERIFY(qAbs(markers[0].toArray()[0].toDouble() - (kLat + northOf(200))) < 1e-6);
        QVERIFY(qAbs(markers[0].toArray()[1].toDouble() - kLon) < 1e-6);
    }

    void fullScreenHidesAnOpenMapAndBringsItBack() {
        RMDialogMap dialog(nullptr);
        RMApp* app = RMApp::instance();
        Q_EMIT app->appEvent(RMApp::EVENT_FULLSCREEN_ENTERING);
        Q_EMIT app->appEvent(RMApp::EVENT_FULLSCREEN_LEAVING);
        QVERIFY(dialog.isHiddenReal());  // a closed map stays closed
        dialog.show();
        QVERIFY(!dialog.isHiddenReal());
        Q_EMIT app->appEvent(RMApp::EVENT_FULLSCREEN_ENTERING);
        QVERIFY(dialog.isHidden());
        Q_EMIT app->appEvent(RMApp::EVENT_FULLSCREEN_LEAVING);
        QVERIFY(dialog.isVisible());
        dialog.onClose();
        QVERIFY(dialog.isHiddenReal());
    }

    void linksGoToTheBrowserAndLocalFilesStayUnread() {
        QList<QUrl> opened;
        WebUrlRequestInterceptor::setOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        RMWidgetMap view(nullptr);
        bool loaded = false;
        connect(&view, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
        view.resize(403, 406);
        view.loadMap();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(waitUntil([&] { return loaded; }));
        QString centre;
        view.page()->runJavaScript(
            "(function () { var r = document.querySelector('.leaflet-control-attribution a')"
            ".getBoundingClientRect(); return Math.round(r.left + r.width / 2) + ',' +"
            " Math.round(r.top + r.height / 2); })()",
            [&](const QVariant& v) { centre = v.toString(); });
        QVERIFY(waitUntil([&] { return !centre.isEmpty(); }));
        const QPoint link(centre.section(',', 0, 0).toInt(), centre.section(',', 1).toInt());
        QVERIFY(waitUntil([&] { return view.focusProxy() != nullptr; }));
        QTest::mouseClick(view.focusProxy(), Qt::LeftButton, Qt::NoModifier, link);
        QVERIFY(waitUntil([&] { return !opened.isEmpty(); }));
        QCOMPARE(opened.first().host(), QString("leafletjs.com"));
        QCOMPARE(view.url(), QUrl(RMWidgetMap::kPageUrl));
        WebUrlRequestInterceptor::setOpener({});
        // Tile requests name the viewer.
        QCOMPARE(view.profile()->httpUserAgent().count("orvin-viewer/"), 1);

        // A script on the page cannot read a local file.
        QTemporaryFile secret;
        QVERIFY(secret.open());
        secret.write("secret");
        secret.flush();
        const QString read =
            map_fixture::scriptRead(view.page(), QUrl::fromLocalFile(secret.fileName()));
        QVERIFY2(read.startsWith("failed") && !read.contains("secret"), qPrintable(read));
    }

    void pageBreaksOnEitherFlag() {
        RMWidgetMap view(nullptr);
        view.loadMap();
        bool loaded = false;
        connect(&view, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
        QVERIFY(waitUntil([&] { return loaded; }));
        const auto call = [&](double metres, int level, int first, int distance) {
            view.runScript(QString("setLatLag(%1,%2,%3,%4,%5);")
                               .arg(kLat + northOf(metres), 0, 'f', 6)
                               .arg(kLon, 0, 'f', 6)
                               .arg(level)
                               .arg(first)
                               .arg(distance));
        };
        call(0, 5, 1, 1);
        call(50, 5, 0, 0);
        call(100, 5, 1, 0);  // bFirst alone breaks
        call(150, 5, 0, 0);
        call(200, 5, 0, 1);  // bDistance alone breaks
        call(250, 5, 0, 0);
        call(300, 42, 0, 0);  // out of range: the last colour
        const QJsonObject state = pageState(view.page());
        const QJsonArray lines = state["lines"].toArray();
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lines[i].toObject()["color"].toString(), QString("#11C8ED"));
            QCOMPARE(lines[i].toObject()["points"].toInt(), 2);
        }
        QCOMPARE(lines[3].toObject()["color"].toString(), QString("#ED1135"));
        QCOMPARE(state["markers"].toArray().size(), 1);
    }
};

ORVIN_TEST_MAIN(TestMap)
#include "test_map.moc"
