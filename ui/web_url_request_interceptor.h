#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <functional>

// Guards the map's profile. Requests for anything but the page's bundle and
// the web (qrc, http, https, data, blob) are blocked, so a script on the
// page never reads a local file. When made for a new tab, it also hands the
// first page a link opens there to the system's browser, once, and only
// when it is a web address: a link to a local file or any other scheme is
// never handed on.
class WebUrlRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using Opener = std::function<bool(const QUrl&)>;

    // forNewTab false: only the scheme guard.
    explicit WebUrlRequestInterceptor(QObject* parent = nullptr, bool forNewTab = true);
    // Whether the page may load this address at all.
    static bool isAllowed(const QUrl& url);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // Decides on one request; true for the one it takes (the first main
    // frame), which is then not loaded here. Only a web address of it goes
    // on to the browser.
    bool handle(const QUrl& url, bool mainFrame);
    bool handled() const { return _handled; }

    // Replaces the system browser (tests); an empty function restores it.
    static void setOpener(Opener opener);

private:
    static Opener& _opener();
    bool _handled = false;
};
