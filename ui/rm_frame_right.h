#pragma once

#include "app/rm_language.h"
#include "widgets/rm_widget_base.h"

class QLabel;
class QVBoxLayout;
class RMFrameList;

// Right column of the main window: the small video pane above the list of
// recordings. Hidden in full screen.
class RMFrameRight : public RMWidgetBase {
    Q_OBJECT
public:
    explicit RMFrameRight(QWidget* parent);

    RMFrameList* frameList() const { return _frameList; }

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    QVBoxLayout* _layout;
    QLabel* _paneTitle;
    RMFrameList* _frameList;
};
