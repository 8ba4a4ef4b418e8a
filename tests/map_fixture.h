#pragma once

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>

#include "engine_fixture.h"

// What the map page has drawn, read from the page itself.
namespace map_fixture {

// The page's polylines (colour, point count, weight, opacity), its
// markers' positions, the URL templates of the tile layers shown and the
// names in the layer choice, as JSON text.
inline const char* pageStateScript() {
    return R"((function () {
  var lines = [], markers = [], tiles = [];
  map.eachLayer(function (l) {
    if (l instanceof L.Polyline) lines.push({ color: l.options.color, points: l.getLatLngs().length,
                                               weight: l.options.weight, opacity: l.options.opacity });
    if (l instanceof L.Marker) markers.push([l.getLatLng().lat, l.getLatLng().lng]);
    if (l instanceof L.TileLayer) tiles.push(l._url);
  });
  var choices = Array.prototype.map.call(
      document.querySelectorAll(".leaflet-control-layers-base label"),
      function (label) { return label.textContent.trim(); });
  return JSON.stringify({ lines: lines, markers: markers, tiles: tiles, choices: choices,
                          tilesDrawn: document.querySelectorAll(".leaflet-tile-loaded").length });
})())";
}

// What a script on the page gets when it reads an address: "read STATUS
// TEXT", or "failed NAME".
inline QString scriptRead(QWebEnginePage* page, const QUrl& url) {
    QString result;
    page->runJavaScript(
        "(function () { try { var x = new XMLHttpRequest(); x.open('GET', '" + url.toString() +
            "', false); x.send(); return 'read ' + x.status + ' ' + x.responseText; }"
            " catch (e) { return 'failed ' + e.name; } })()",
        [&](const QVariant& v) { result = v.toString(); });
    engine_fixture::waitUntil([&] { return !result.isEmpty(); });
    return result;
}

// {"lines": [...], "markers": [...], "tiles": [...], "choices": [...],
// "tilesDrawn": N}; empty when the page did not answer.
inline QJsonObject pageState(QWebEnginePage* page) {
    QString result;
    page->runJavaScript(pageStateScript(), [&](const QVariant& v) { result = v.toString(); });
    engine_fixture::waitUntil([&] { return !result.isEmpty(); });
    return QJsonDocument::fromJson(result.toUtf8()).object();
}

// A tile server on the loopback: one grey 256 x 256 PNG for every request.
class TileServer : public QTcpServer {
public:
    TileServer() {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(Qt::gray);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        tile.save(&png, "PNG");
        _response = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                    QByteArray::number(png.data().size()) + "\r\nConnection: close\r\n\r\n" +
                    png.data();
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write(_response);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString urlTemplate() const {
        return QString("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(serverPort());
    }

private:
    QByteArray _response;
};

}  // namespace map_fixture
