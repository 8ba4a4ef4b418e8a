#include "export/rm_evidence_report.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QtDebug>
#include <cmath>

namespace {

const int kDpi = 300;
const double kMarginMm = 15;
const char* const kClockFormat = "yyyy-MM-dd HH:mm:ss";
const QRgb kSpeedColors[14] = {0x7FED11, 0x35ED11, 0x11ED3C, 0x11ED7F, 0x11EDC8,
                               0x11C8ED, 0x117FED, 0x1135ED, 0x3511ED, 0x7F11ED,
                               0xC811ED, 0xED11C8, 0xED117F, 0xED1135};
const double kEarthRadiusM = 6371000.0;
const double kDegree = M_PI / 180.0;

double mm(double millimetres) {
    return millimetres * kDpi / 25.4;
}

// Lays out text and drawings from the top of a page down, starting a new
// page when the next block does not fit.
class Sheet {
public:
    Sheet(QPdfWriter* writer, bool japanese)
        : _writer(writer), _painter(writer), _japanese(japanese) {
        _width = writer->width() - 2 * mm(kMarginMm);
        _bottom = writer->height() - mm(kMarginMm);
        _y = mm(kMarginMm);
    }
    bool isActive() const { return _painter.isActive(); }
    QPainter& painter() { return _painter; }
    double width() const { return _width; }
    double left() const { return mm(kMarginMm); }

    QString tr(const char* japanese, const char* english) const {
        return QString::fromUtf8(_japanese ? japanese : english);
    }

    void heading(const QString& text) {
        _y += mm(3);
        line(text, 13, true);
        _y += mm(1);
    }
    // A line of text, wrapped at the page's width.
    void line(const QString& text, double points = 10, bool bold = false, bool mono = false) {
        _painter.setFont(font(points, bold, mono));
        const QRectF box(left(), 0, _width, 1e6);
        const QRectF needed = _painter.boundingRect(box, Qt::TextWordWrap, text);
        room(needed.height());
        _painter.drawText(QRectF(left(), _y, _width, needed.height()), Qt::TextWordWrap, text);
        _y += needed.height();
    }
    // A block of the given height, for the caller to draw into.
    QRectF block(double height) {
        room(height);
        const QRectF rect(left(), _y, _width, height);
        _y += height + mm(2);
        return rect;
    }
    void newPage() {
        _writer->newPage();
        _y = mm(kMarginMm);
    }
    QFont font(double points, bool bold = false, bool mono = false) const {
        // A Latin face first, Japanese from the system's fallback: the CJK
        // face's digits lose their text in the PDF. A hair of letter spacing
        // turns ligatures off, so "fi" in a file name stays two letters.
        QFont f(mono ? "DejaVu Sans Mono" : "DejaVu Sans");
        f.setPointSizeF(points);
        f.setBold(bold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 0.1);
        return f;
    }

private:
    void room(double height) {
        if (_y + height > _bottom) {
            newPage();
        }
    }

    QPdfWriter* _writer;
    QPainter _painter;
    bool _japanese;
    double _width = 0;
    double _bottom = 0;
    double _y = 0;
};

QString clockText(const QDateTime& time) {
    return time.isValid() ? time.toString(kClockFormat) : QStringLiteral("--");
}

QString position(double latitude, double longitude) {
    return QString("%1, %2").arg(latitude, 0, 'f', 6).arg(longitude, 0, 'f', 6);
}

QString speedText(double kmh) {
    return QString("%1 km/h (%2 mph)").arg(kmh, 0, 'f', 0).arg(kmh / 1.609344, 0, 'f', 0);
}

// Metres east and north of a reference point, on a local flat projection.
QPointF metres(const RMGPSSample& s, const RMGPSSample& origin) {
    const double east = (s.longitude - origin.longitude) * kDegree * kEarthRadiusM *
                        std::cos(origin.latitude * kDegree);
    const double north = (s.latitude - origin.latitude) * kDegree * kEarthRadiusM;
    return QPointF(east, north);
}

// A round length of at most `limit` metres for the scale bar.
double scaleLength(double limit) {
    double step = 1;
    while (step * 10 <= limit) {
        step *= 10;
    }
    for (double factor : {5.0, 2.0, 1.0}) {
        if (step * factor <= limit) {
            return step * factor;
        }
    }
    return step;
}

void drawNorthArrow(QPainter& p, const QRectF& area) {
    const QPointF tip(area.right() - mm(8), area.top() + mm(4));
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(-mm(2.5), mm(8)));
    arrow.lineTo(tip + QPointF(0, mm(6)));
    arrow.lineTo(tip + QPointF(mm(2.5), mm(8)));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(arrow);
    p.setPen(Qt::black);
    p.drawText(QRectF(tip.x() - mm(5), tip.y() + mm(8.5), mm(10), mm(5)), Qt::AlignCenter, "N");
}

void drawScaleBar(QPainter& p, const QRectF& area, double metresPerPixel) {
    const double length = scaleLength(mm(40) * metresPerPixel);
    const double pixels = length / metresPerPixel;
    const QPointF start(area.left() + mm(4), area.bottom() - mm(5));
    p.setPen(QPen(Qt::black, mm(0.5)));
    p.drawLine(start, start + QPointF(pixels, 0));
    p.drawLine(start, start + QPointF(0, -mm(1.5)));
    p.drawLine(start + QPointF(pixels, 0), start + QPointF(pixels, -mm(1.5)));
    const QString label =
        length >= 1000 ? QString("%1 km").arg(length / 1000) : QString("%1 m").arg(length);
    p.drawText(QRectF(start.x(), start.y() - mm(6.5), pixels, mm(4.5)), Qt::AlignCenter, label);
}

// The fixed samples as points in metres, with their speeds.
QVector<QPair<QPointF, double>> routePoints(const QVector<RMEvidenceGps>& gps) {
    QVector<QPair<QPointF, double>> points;
    const RMGPSSample* origin = nullptr;
    for (const RMEvidenceGps& entry : gps) {
        if (!entry.sample.hasFix()) {
            continue;
        }
        if (!origin) {
            origin = &entry.sample;
        }
        points.append({metres(entry.sample, *origin), entry.sample.speed});
    }
    return points;
}

void drawRoute(QPainter& p, const QRectF& area, const QVector<RMEvidenceGps>& gps) {
    const QVector<QPair<QPointF, double>> points = routePoints(gps);
    p.setPen(QPen(Qt::gray, mm(0.2)));
    p.setBrush(QColor(0xF4, 0xF4, 0xF0));
    p.drawRect(area);
    QRectF bounds;
    for (const auto& point : points) {
        bounds = bounds.united(QRectF(point.first, QSizeF(1e-6, 1e-6)));
    }
    const QRectF inner = area.adjusted(mm(8), mm(8), -mm(8), -mm(12));
    const double span = qMax(qMax(bounds.width(), bounds.height()), 50.0);
    const double metresPerPixel = span / qMin(inner.width(), inner.height());
    const QPointF centre = bounds.center();
    auto place = [&](const QPointF& m) {
        return inner.center() + QPointF((m.x() - centre.x()) / metresPerPixel,
                                        -(m.y() - centre.y()) / metresPerPixel);
    };
    for (int i = 1; i < points.size(); ++i) {
        p.setPen(QPen(QColor(RMEvidenceReport::speedColor(points[i].second)), mm(1.2),
                      Qt::SolidLine, Qt::RoundCap));
        p.drawLine(place(points[i - 1].first), place(points[i].first));
    }
    if (!points.isEmpty()) {
        p.setPen(QPen(Qt::black, mm(0.3)));
        p.setBrush(Qt::white);
        p.drawEllipse(place(points.first().first), mm(1.5), mm(1.5));
        p.setBrush(Qt::black);
        p.drawEllipse(place(points.last().first), mm(1.5), mm(1.5));
    }
    drawNorthArrow(p, area);
    drawScaleBar(p, area, metresPerPixel);
}

void drawGraph(QPainter& p, const QRectF& area, const RMEvidenceReportInput& in) {
    p.setPen(QPen(Qt::gray, mm(0.2)));
    p.setBrush(Qt::white);
    p.drawRect(area);
    const qint64 spanMs = qMax<qint64>(1, in.start.msecsTo(in.end));
    float limit = 0.5f;
    for (const RMEvidenceG& s : in.g) {
        for (float v : s.axis) {
            if (std::isfinite(v)) {
                limit = qMax(limit, std::abs(v));
            }
        }
    }
    auto x = [&](const QDateTime& t) {
        return area.left() + area.width() * double(in.start.msecsTo(t)) / double(spanMs);
    };
    auto y = [&](float g) { return area.center().y() - g / limit * area.height() / 2 * 0.9; };
    p.setPen(QPen(Qt::lightGray, mm(0.2)));
    p.drawLine(QPointF(area.left(), y(0)), QPointF(area.right(), y(0)));
    const QColor colors[3] = {Qt::red, QColor(0, 160, 0), Qt::blue};
    for (int axis = 0; axis < 3; ++axis) {
        QPainterPath path;
        for (int i = 0; i < in.g.size(); ++i) {
            const QPointF point(x(in.g[i].clock), y(in.g[i].axis[axis]));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
        p.setPen(QPen(colors[axis], mm(0.3)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setPen(QPen(Qt::black, mm(0.4), Qt::DashLine));
    for (const QDateTime& at : {in.picked.at, in.largest.at}) {
        if (at.isValid()) {
            p.drawLine(QPointF(x(at), area.top()), QPointF(x(at), area.bottom()));
        }
    }
    p.setPen(Qt::black);
    p.drawText(area.adjusted(mm(1), mm(1), 0, 0), Qt::AlignLeft | Qt::AlignTop,
               QString("±%1 g").arg(double(limit), 0, 'f', 2));
}

void writeHeader(Sheet& s, const RMEvidenceReportInput& in) {
    s.line(s.tr("証拠資料レポート", "Evidence report"), 18, true);
    s.line(s.tr("作成: ", "Made: ") + QDateTime::currentDateTime().toString(kClockFormat), 9);
    s.heading(s.tr("カメラと録画", "Camera and recordings"));
    s.line(s.tr("機種: ", "Model: ") +
           (in.model.isEmpty() ? s.tr("不明 (設定ファイルなし)", "unknown (no settings file)")
                               : in.model));
    for (const QString& name : in.recordings) {
        s.line(name, 9, false, true);
    }
}

void writeRange(Sheet& s, const RMEvidenceReportInput& in) {
    const RMEvidenceFacts& f = in.facts;
    s.heading(s.tr("範囲", "Range"));
    s.line(s.tr("カメラ時計: ", "Camera clock: ") + clockText(in.start) + " – " +
           clockText(in.end));
    if (f.hasOffset) {
        s.line(s.tr("GPS 時刻 (UTC): ", "GPS time (UTC): ") + clockText(f.utcOf(in.start)) + " – " +
               clockText(f.utcOf(in.end)));
        s.line(
            s.tr("カメラ時計と GPS 時刻の差 (中央値): ", "Camera clock minus GPS time (median): ") +
            QString("%1 s").arg(f.clockOffsetS, 0, 'f', 1));
    } else {
        s.line(s.tr("GPS 時刻なし: 時計の差は測れません。",
                    "No GPS time: the clock's offset cannot be measured."));
    }
}

void writeWhere(Sheet& s, const RMEvidenceReportInput& in) {
    const RMEvidenceFacts& f = in.facts;
    s.heading(s.tr("場所", "Where"));
    if (f.fixCount == 0) {
        s.line(s.tr("この範囲に GPS の測位はありません。経路図はありません。",
                    "No GPS fix in this range: no route drawing."));
        return;
    }
    s.line(s.tr("始点: ", "Start: ") + position(f.startLatitude, f.startLongitude));
    s.line(s.tr("終点: ", "End: ") + position(f.endLatitude, f.endLongitude));
    drawRoute(s.painter(), s.block(mm(95)), in.gps);
}

void writeMotion(Sheet& s, const RMEvidenceReportInput& in) {
    const RMEvidenceFacts& f = in.facts;
    s.heading(s.tr("速度と加速度", "Speed and G-force"));
    if (f.fixCount > 0) {
        s.line(s.tr("最高速度: ", "Largest speed: ") + speedText(f.maxSpeed) + "  " +
               clockText(f.maxSpeedAt));
        s.line(s.tr("平均速度: ", "Average speed: ") + speedText(f.averageSpeed));
    }
    if (f.gCount == 0) {
        s.line(s.tr("G センサーのデータはありません。", "No G-sensor data."));
        return;
    }
    const char* axes = "XYZ";
    for (int axis = 0; axis < 3; ++axis) {
        s.line(s.tr("最大 G ", "Largest G ") + QChar(axes[axis]) + ": " +
               QString("%1 g").arg(double(f.peak[axis].g), 0, 'f', 2) + "  " +
               clockText(f.peak[axis].at));
    }
    drawGraph(s.painter(), s.block(mm(45)), in);
    s.line(s.tr("X 赤、Y 緑、Z 青。破線: 2 枚の静止画の時刻",
                "X red, Y green, Z blue. Dashed lines: the moments of the two stills"),
           8);
}

void writeStill(Sheet& s, const QString& title, const RMEvidenceReportInput::Still& still) {
    s.heading(title + "  " + clockText(still.at));
    for (const QImage& image : {still.front, still.rear}) {
        if (image.isNull()) {
            continue;
        }
        const QSizeF size =
            QSizeF(image.size()).scaled(QSizeF(s.width(), mm(75)), Qt::KeepAspectRatio);
        const QRectF area = s.block(size.height());
        s.painter().drawImage(QRectF(area.topLeft(), size), image);
    }
}

void writeFiles(Sheet& s, const RMEvidenceReportInput& in) {
    s.heading(s.tr("ファイルと SHA-256", "Files and SHA-256"));
    for (const RMEvidenceReportInput::File& file : in.files) {
        s.line(file.path + "  (" + QString::number(file.size) + " bytes)", 8, true, true);
        s.line(QString::fromLatin1(file.sha256), 7.5, false, true);
    }
    s.heading(s.tr("確かめ方", "How to verify"));
    s.line(
        s.tr("このフォルダーで次を実行します。全てのファイルが「OK」になれば、作成後に"
             "変更されていません。",
             "In this folder, run the command below. When every file reads \"OK\", none "
             "was changed after the pack was made."));
    s.line("sha256sum -c SHA256SUMS", 10, false, true);
    s.line(
        s.tr("original/ のファイルは SD カードの元のファイルのコピーです。名前と大きさが"
             "カードのものと同じであることも確かめてください。",
             "The files in original/ are copies of the card's own files: check that their "
             "names and sizes match those on the card."));
}

}  // namespace

QRgb RMEvidenceReport::speedColor(double kmh) {
    const int level = qBound(0, int(kmh / 13.0), 13);
    return 0xFF000000u | kSpeedColors[level];
}

bool RMEvidenceReport::write(const QString& path, const RMEvidenceReportInput& input) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot write" << path << file.errorString();
        return false;
    }
    return write(&file, input) && file.flush();
}

bool RMEvidenceReport::write(QIODevice* device, const RMEvidenceReportInput& input) {
    QPdfWriter writer(device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(kDpi);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(input.japanese ? QStringLiteral("証拠資料レポート")
                                   : QStringLiteral("Evidence report"));
    writer.setCreator(QStringLiteral("Orvin viewer"));
    Sheet sheet(&writer, input.japanese);
    if (!sheet.isActive()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot draw the report";
        return false;
    }
    writeHeader(sheet, input);
    writeRange(sheet, input);
    writeWhere(sheet, input);
    writeMotion(sheet, input);
    sheet.newPage();
    writeStill(sheet, sheet.tr("選んだ時刻の静止画", "Still at the chosen moment"), input.picked);
    writeStill(sheet, sheet.tr("最大 G の時刻の静止画", "Still at the largest G"), input.largest);
    sheet.newPage();
    writeFiles(sheet, input);
    return sheet.painter().end();
}
