#pragma once

#include <QWidget>

#include "app/rm_app.h"

// A widget that can follow the application's window events.
class RMWidgetBase : public QWidget {
    Q_OBJECT
public:
    RMWidgetBase(QWidget* parent, bool appEvents);

public Q_SLOTS:
    virtual void onAppEvent(RMApp::Event event);
};
