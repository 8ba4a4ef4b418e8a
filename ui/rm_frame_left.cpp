#include "ui/rm_frame_left.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "widgets/rm_layout.h"
#include "widgets/rm_widget_style_base.h"

namespace {
const int kNormalWidth = 665;

RMWidgetStyleBase* addBand(QWidget* parent, QVBoxLayout* layout, const char* style, int height) {
    auto* band = new RMWidgetStyleBase(parent, style, true);
    band->setFixedHeight(height);
    band->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(band);
    return band;
}
}  // namespace

RMFrameLeft::RMFrameLeft(QWidget* parent) : RMWidgetBase(parent, true) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setFixedWidth(kNormalWidth);
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(0);

    // The video pane shows its logo while nothing plays.
    RMWidgetStyleBase* pane = addBand(this, _layout, "top_border", 410);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(1, 1, 1, 1);
    paneLayout->setSpacing(0);
    _paneTitle = new QLabel(pane);
    _paneTitle->setFixedHeight(35);
    paneLayout->addWidget(_paneTitle);
    auto* logo = new QFrame(pane);
    logo->setObjectName("video_main_logo");
    logo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    paneLayout->addWidget(logo);

    addBand(this, _layout, "bottom_border", 66);
    RMLayout::addSpacer(_layout, 0, 6);
    // One pixel less than the graph's own height so the column fits the window.
    addBand(this, _layout, "top_border_5A", 77);
    addBand(this, _layout, "player_bg", 76);

    onLanguageChange(RMLanguage::instance()->language());
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
}

void RMFrameLeft::onLanguageChange(RMLanguage::LANGUAGE_TYPE language) {
    const QString suffix = language == RMLanguage::LANGUAGE_JAPANESE ? "" : "_en";
    _paneTitle->setPixmap(QPixmap(":/image/title_video_front" + suffix + ".png"));
}

void RMFrameLeft::onAppEvent(RMApp::Event event) {
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        setFixedWidth(kNormalWidth);
    }
}
