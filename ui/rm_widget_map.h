#pragma once

#include <QPointer>
#include <QWebEngineView>

class QWebEngineProfile;
class WebUrlRequestInterceptor;

// The web view of the map page, on a profile of its own (kept in memory)
// that lives as long as the view: creating the view starts the web engine. Links the page
// opens in a new tab go to the system's browser through a hidden extra view.
class RMWidgetMap : public QWebEngineView {
    Q_OBJECT
public:
    explicit RMWidgetMap(QWidget* parent);
    ~RMWidgetMap() override;

    static const char* const kPageUrl;

    void loadMap();
    void runScript(const QString& script);
    int scriptCount() const { return _scriptCount; }
    QWebEngineView* extraView() const { return _extraView; }
    QWebEngineProfile* profile() const { return _profile; }

Q_SIGNALS:
    // Every script run in the page, in order.
    void scriptRun(const QString& script);

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    // A page on the map's profile, with the settings the map needs.
    QWebEnginePage* _newPage(QObject* parent);

    QWebEngineProfile* _profile;  // deleted after every page on it
    QPointer<QWebEngineView> _extraView;
    // Installed on the profile: the scheme guard, and the latest new tab's
    // hand-over to the browser; owned here.
    WebUrlRequestInterceptor* _interceptor = nullptr;
    int _scriptCount = 0;
};
