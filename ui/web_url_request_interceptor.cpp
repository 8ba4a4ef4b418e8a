#include "ui/web_url_request_interceptor.h"

#include <QDesktopServices>
#include <QtDebug>

WebUrlRequestInterceptor::WebUrlRequestInterceptor(QObject* parent, bool forNewTab)
    : QWebEngineUrlRequestInterceptor(parent), _handled(!forNewTab) {}

bool WebUrlRequestInterceptor::isAllowed(const QUrl& url) {
    static const QStringList allowed{"qrc", "http", "https", "data", "blob"};
    return allowed.contains(url.scheme().toLower());
}

WebUrlRequestInterceptor::Opener& WebUrlRequestInterceptor::_opener() {
    static Opener opener;
    return opener;
}

void WebUrlRequestInterceptor::setOpener(Opener opener) {
    _opener() = std::move(opener);
}

void WebUrlRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (!isAllowed(info.requestUrl())) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "blocked:" << info.requestUrl().scheme();
        info.block(true);
        return;
    }
    const bool mainFrame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    if (handle(info.requestUrl(), mainFrame)) {
        qInfo() << "interceptRequest" << info.requestUrl() << info.resourceType();
        info.block(true);
    }
}

bool WebUrlRequestInterceptor::handle(const QUrl& url, bool mainFrame) {
    if (_handled || !mainFrame) {
        return false;
    }
    _handled = true;
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https") {
        qInfo() << Q_FUNC_INFO << __LINE__ << "not opened:" << url.scheme();
        return true;
    }
    const Opener& opener = _opener();
    if (opener) {
        opener(url);
    } else {
        QDesktopServices::openUrl(url);
    }
    return true;
}
