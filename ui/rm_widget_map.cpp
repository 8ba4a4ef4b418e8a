#include "ui/rm_widget_map.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/version.h"
#include "ui/web_url_request_interceptor.h"

const char* const RMWidgetMap::kPageUrl = "qrc:/html/gmap.html";

RMWidgetMap::RMWidgetMap(QWidget* parent) : QWebEngineView(parent) {
    _configure(this);
    // Tile servers ask applications to name themselves.
    QWebEngineProfile* profile = page()->profile();
    const QString name = QStringLiteral(" orvin-viewer/") + QStringLiteral(ORVIN_VERSION);
    if (!profile->httpUserAgent().endsWith(name)) {
        profile->setHttpUserAgent(profile->httpUserAgent() + name);
    }
    setContextMenuPolicy(Qt::NoContextMenu);
}

RMWidgetMap::~RMWidgetMap() {
    // The profile outlives this view and must not call a deleted interceptor.
    if (_interceptor) {
        page()->profile()->setUrlRequestInterceptor(nullptr);
    }
}

void RMWidgetMap::_configure(QWebEngineView* view) {
    QWebEngineSettings* settings = view->page()->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
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
    _configure(_extraView);
    // The new tab's first page load is the first main-frame request the
    // profile sees from now on; the map's tiles are not main frames.
    auto* interceptor = new WebUrlRequestInterceptor(this);
    _extraView->page()->profile()->setUrlRequestInterceptor(interceptor);
    delete _interceptor;
    _interceptor = interceptor;
    return _extraView;
}
