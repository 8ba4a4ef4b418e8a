#include "ui/rm_frame_graph.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "ui/rm_graph_widget.h"
#include "ui/rm_speed_label.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"

RMFrameGraph::RMFrameGraph(QWidget* parent) : RMWidgetStyleBase(parent, "top_border_5A", true) {
    setFixedHeight(78);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(3);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setAlignment(Qt::AlignLeft);
    RMLayout::addSpacer(layout, 4, 0);

    _speed = new RMSpeedLabel(this);
    layout->addWidget(_speed);
    auto* legend = new QLabel(this);
    legend->setPixmap(QPixmap(":/image/graph_xyz.png"));
    legend->setFixedSize(27, 72);
    layout->addWidget(legend);
    _graph = new RMGraphWidget(this, {1, 2, 4});
    layout->addWidget(_graph);

    auto* zoom = new QVBoxLayout;
    zoom->setSpacing(0);
    zoom->setContentsMargins(0, 0, 0, 0);
    _zoomIn = RMButton::create(this, zoom, "zoomin", "拡大", QSize(45, 39));
    _zoomOut = RMButton::create(this, zoom, "zoomout", "縮小", QSize(45, 39));
    RMLanguage* language = RMLanguage::instance();
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _zoomIn, "Zoom In");
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _zoomOut, "Zoom Out");
    layout->addLayout(zoom);

    connect(_zoomIn, SIGNAL(clicked()), _graph, SLOT(onZoomIn()));
    connect(_zoomOut, SIGNAL(clicked()), _graph, SLOT(onZoomOut()));
    connect(_graph, SIGNAL(zoomChange(bool, bool)), this, SLOT(onZoomChange(bool, bool)));
}

void RMFrameGraph::onZoomChange(bool zi, bool zo) {
    _zoomIn->setEnabled(zi);
    _zoomOut->setEnabled(zo);
}

void RMFrameGraph::onAppEvent(RMApp::Event event) {
    RMWidgetStyleBase::onAppEvent(event);
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        hide();
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        show();
    }
}
