#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <functional>

// Hands the first page a link opens in a new tab to the system's browser,
// once, and only when it is a web address (http or https): a link to a
// local file or any other scheme is never handed on.
class WebUrlRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using Opener = std::function<bool(const QUrl&)>;

    explicit WebUrlRequestInterceptor(QObject* parent = nullptr);

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
