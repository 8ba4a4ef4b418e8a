#include "ui/rm_widget_map.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>

#include "ui/web_url_request_interceptor.h"

const char* const RMWidgetMap::kPageUrl = "qrc:/html/gmap.html";

RMWidgetMap::RMWidgetMap(QWidget* parent) : QWebEngineView(parent) {
    _configure(this);
    setContextMenuPolicy(Qt::NoContextMenu);
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
    // Only this view's requests pass the interceptor; the map's own tiles
    // never meet it.
    auto* interceptor = new WebUrlRequestInterceptor(_extraView->page());
    _extraView->page()->setUrlRequestInterceptor(interceptor);
    return _extraView;
}
