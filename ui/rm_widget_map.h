#pragma once

#include <QPointer>
#include <QWebEngineView>

class WebUrlRequestInterceptor;

// The web view of the map page. Links the page opens in a new tab go to
// the system's browser through a hidden extra view.
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

Q_SIGNALS:
    // Every script run in the page, in order.
    void scriptRun(const QString& script);

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    static void _configure(QWebEngineView* view);

    QPointer<QWebEngineView> _extraView;
    // Installed on the profile for the latest new tab; owned here.
    WebUrlRequestInterceptor* _interceptor = nullptr;
    int _scriptCount = 0;
};
