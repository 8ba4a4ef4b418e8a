#pragma once

#include "widgets/rm_widget_base.h"

// A widget styled through its object name, which it drops in full screen
// (so the full-screen look applies) and takes back afterwards.
class RMWidgetStyleBase : public RMWidgetBase {
    Q_OBJECT
public:
    RMWidgetStyleBase(QWidget* parent, QString styleName, bool appEvents);

    QString styleName;

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
