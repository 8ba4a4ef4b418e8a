#pragma once

#include "app/rm_language.h"
#include "widgets/rm_widget_base.h"

class QLabel;
class QVBoxLayout;

// Left column of the main window: the large video pane and, under it, the
// position slider, the G-sensor graph and the playback bar.
class RMFrameLeft : public RMWidgetBase {
    Q_OBJECT
public:
    explicit RMFrameLeft(QWidget* parent);

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    QVBoxLayout* _layout;
    QLabel* _paneTitle;
};
