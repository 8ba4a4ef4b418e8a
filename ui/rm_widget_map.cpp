#include "ui/rm_widget_map.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/version.h"
#include "ui/web_url_request_interceptor.h"

const char* const RMWidgetMap::kPageUrl = "qrc:/html/gmap.html";

RMWidgetMap::RMWidgetMap(QWidget* parent)
    : QWebEngineView(parent), _profile(new QWebEngineProfile) {
    // Tile servers ask applications to name themselves.
    _profile->setHttpUserAgent(_profile->httpUserAgent() + QStringLiteral(" orvin-viewer/") +
                               QStringLiteral(ORVIN_VERSION));
    _interceptor = new WebUrlRequestInterceptor(this, false);
    _profile->setUrlRequestInterceptor(_interceptor);
    setPage(_newPage(this));
    setContextMenuPolicy(Qt::NoContextMenu);
}

RMWidgetMap::~RMWidgetMap() {
    // Pages go before their profile, and the profile never calls a deleted
    // interceptor.
    delete _extraView;
    delete page();
    _profile->setUrlRequestInterceptor(nullptr);
    delete _profile;
}

QWebEnginePage* RMWidgetMap::_newPage(QObject* parent) {
    auto* page = new QWebEnginePage(_profile, parent);
    // The page is local (the resource bundle) and draws remote tiles; it
    // never reads local files.
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    return page;
}

void RMWidgetMap::loadMap() {
    load(QUrl(QString::fromLatin1(kPageUrl)));
}

void RMWidgetMap::runScript(const QString& script) {
    ++_scriptCount;
    Q_EMIT scriptRun(script);
    page()->runJavaScript(script);
}

QWebEngineView* RMWidgetMap::createWindow(QWebEnginePage::WebWindowType type) {
    delete _extraView;
    if (type != QWebEnginePage::WebBrowserTab) {
        return nullptr;
    }
    _extraView = new QWebEngineView(this);
    _extraView->hide();
    _extraView->setPage(_newPage(_extraView));
    // The new tab's first page load is the first main-frame request the
    // profile sees from now on; the map's tiles are not main frames.
    auto* interceptor = new WebUrlRequestInterceptor(this);
    _profile->setUrlRequestInterceptor(interceptor);
    delete _interceptor;
    _interceptor = interceptor;
    return _extraView;
}
