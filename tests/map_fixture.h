#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>

#include "engine_fixture.h"

// What the map page has drawn, read from the page itself.
namespace map_fixture {

// The page's polylines (colour, point count, weight, opacity) and its
// markers' positions, as JSON text.
inline const char* pageStateScript() {
    return R"((function () {
  var lines = [], markers = [];
  map.eachLayer(function (l) {
    if (l instanceof L.Polyline) lines.push({ color: l.options.color, points: l.getLatLngs().length,
                                               weight: l.options.weight, opacity: l.options.opacity });
    if (l instanceof L.Marker) markers.push([l.getLatLng().lat, l.getLatLng().lng]);
  });
  return JSON.stringify({ lines: lines, markers: markers });
})())";
}

// {"lines": [...], "markers": [...]}; empty when the page did not answer.
inline QJsonObject pageState(QWebEnginePage* page) {
    QString result;
    page->runJavaScript(pageStateScript(), [&](const QVariant& v) { result = v.toString(); });
    engine_fixture::waitUntil([&] { return !result.isEmpty(); });
    return QJsonDocument::fromJson(result.toUtf8()).object();
}

}  // namespace map_fixture
