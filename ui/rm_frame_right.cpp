#include "ui/rm_frame_right.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/rm_frame_list.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_widget_style_base.h"

RMFrameRight::RMFrameRight(QWidget* parent) : RMWidgetBase(parent, true) {
    setFixedWidth(340);
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(0);

    auto* pane = new RMWidgetStyleBase(this, "top_border", true);
    pane->setFixedHeight(262);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(1, 1, 1, 1);
    paneLayout->setSpacing(0);
    _paneTitle = new QLabel(pane);
    _paneTitle->setFixedHeight(35);
    paneLayout->addWidget(_paneTitle);
    auto* logo = new QFrame(pane);
    logo->setObjectName("video_sub_logo");
    logo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    paneLayout->addWidget(logo);
    _layout->addWidget(pane);

    RMLayout::addSpacer(_layout, 0, 11);

    _frameList = new RMFrameList(this);
    _layout->addWidget(_frameList);

    onLanguageChange(RMLanguage::instance()->language());
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
}

void RMFrameRight::onLanguageChange(RMLanguage::LANGUAGE_TYPE language) {
    const QString suffix = language == RMLanguage::LANGUAGE_JAPANESE ? "" : "_en";
    _paneTitle->setPixmap(QPixmap(":/image/title_video_rear" + suffix + ".png"));
}

void RMFrameRight::onAppEvent(RMApp::Event event) {
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        hide();
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        show();
    }
}
