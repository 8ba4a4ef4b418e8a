#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QOpenGLContext>
#include <QPainter>
#include <QSignalSpy>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/av_player.h"
#include "engine/null_renderer.h"
#include "engine/opengl_widget_renderer.h"
#include "engine/repaint_batch.h"
#include "engine/video_renderer_factory.h"
#include "engine/widget_renderer.h"
#include "engine_fixture.h"
#include "test_support.h"

using engine_fixture::makeMedia;
using engine_fixture::MediaShape;
using engine_fixture::waitUntil;

namespace {

std::unique_ptr<VideoRenderer> shown(int id, const QSize& size) {
    std::unique_ptr<VideoRenderer> renderer(VideoRendererFactory::create(id));
    QWidget* widget = renderer->widget();
    widget->setFixedSize(size);
    widget->show();
    if (!QTest::qWaitForWindowExposed(widget)) {
        return nullptr;
    }
    return renderer;
}

QImage grab(VideoRenderer* renderer) {
    QCoreApplication::processEvents();
    return renderer->widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A picture in four coloured quarters: red, green / blue, white.
QImage quarters(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::white);
    return image;
}

QString colourName(QRgb c) {
    const auto on = [](int v) { return v > 190; };
    const auto off = [](int v) { return v < 70; };
    if (on(qRed(c)) && on(qGreen(c)) && on(qBlue(c))) {
        return "white";
    }
    if (off(qRed(c)) && off(qGreen(c)) && off(qBlue(c))) {
        return "black";
    }
    if (on(qRed(c)) && off(qGreen(c)) && off(qBlue(c))) {
        return "red";
    }
    if (off(qRed(c)) && on(qGreen(c)) && off(qBlue(c))) {
        return "green";
    }
    if (off(qRed(c)) && off(qGreen(c)) && on(qBlue(c))) {
        return "blue";
    }
    return QString("#%1").arg(c & 0xffffff, 6, 16, QChar('0'));
}

QString at(const QImage& image, int x, int y) {
    return colourName(image.pixel(x, y));
}

void addRendererRows() {
    QTest::addColumn<int>("id");
    QTest::newRow("OpenGL") << int(VideoRendererId_OpenGLWidget);
    QTest::newRow("widget") << int(VideoRendererId_Widget);
}

}  // namespace

class TestEngineRenderers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void factory();
    void pictureAndBlank_data() { addRendererRows(); }
    void pictureAndBlank();
    void aspectRatioModes_data() { addRendererRows(); }
    void aspectRatioModes();
    void regionOfInterest_data() { addRendererRows(); }
    void regionOfInterest();
    void framesAtTheSizeShown_data() { addRendererRows(); }
    void framesAtTheSizeShown();
    void framesFromAPlayer_data();
    void framesFromAPlayer();
    void framesOfOneMomentArePaintedTogether_data() { addRendererRows(); }
    void framesOfOneMomentArePaintedTogether();
    void positionReportsRideAlongWithThePictures();
};

void TestEngineRenderers::initTestCase() {
    // Xvfb with Mesa gives software OpenGL; without it the GL rows mean nothing.
    QOpenGLContext context;
    QVERIFY(context.create());
}

void TestEngineRenderers::factory() {
    std::unique_ptr<VideoRenderer> gl(VideoRendererFactory::create(VideoRendererId_OpenGLWidget));
    QVERIFY(dynamic_cast<OpenGLWidgetRenderer*>(gl.get()) != nullptr);
    QVERIFY(gl->isAvailable());
    QCOMPARE(gl->widget(), dynamic_cast<QWidget*>(gl.get()));
    std::unique_ptr<VideoRenderer> widget(VideoRendererFactory::create(VideoRendererId_Widget));
    QCOMPARE(widget->id(), VideoRendererId_Widget);
    QVERIFY(widget->widget() != nullptr);
    std::unique_ptr<VideoRenderer> null(VideoRendererFactory::create(VideoRendererId_Null));
    QCOMPARE(null->widget(), nullptr);
    QCOMPARE(VideoRendererFactory::create(99), nullptr);
}

void TestEngineRenderers::pictureAndBlank() {
    QFETCH(int, id);
    const std::unique_ptr<VideoRenderer> renderer = shown(id, QSize(160, 120));
    QVERIFY(renderer);
    QCOMPARE(at(grab(renderer.get()), 80, 60), QString("black"));  // nothing yet
    QImage red(160, 120, QImage::Format_RGB32);
    red.fill(Qt::red);
    renderer->receive(VideoFrame::fromImage(red));
    QCOMPARE(at(grab(renderer.get()), 80, 60), QString("red"));
    QCOMPARE(at(grab(renderer.get()), 2, 2), QString("red"));
    renderer->receive(VideoFrame());
    const QImage blank = grab(renderer.get());
    QCOMPARE(at(blank, 80, 60), QString("black"));
    QCOMPARE(at(blank, 2, 2), QString("black"));
}

void TestEngineRenderers::aspectRatioModes() {
    QFETCH(int, id);
    const std::unique_ptr<VideoRenderer> renderer = shown(id, QSize(400, 200));
    QVERIFY(renderer);
    QImage square(120, 120, QImage::Format_RGB32);
    square.fill(Qt::blue);
    renderer->receive(VideoFrame::fromImage(square));

    // A square picture in a 2:1 output: bars left and right.
    renderer->setOutAspectRatioMode(VideoRenderer::VideoAspectRatio);
    QImage image = grab(renderer.get());
    QCOMPARE(at(image, 20, 100), QString("black"));
    QCOMPARE(at(image, 200, 100), QString("blue"));
    QCOMPARE(at(image, 200, 5), QString("blue"));
    QCOMPARE(renderer->videoRect(QSize(400, 200)), QRect(100, 0, 200, 200));

    renderer->setOutAspectRatioMode(VideoRenderer::RendererAspectRatio);
    image = grab(renderer.get());
    QCOMPARE(at(image, 20, 100), QString("blue"));

    // 4:1 in a 2:1 output: bars above and below.
    renderer->setOutAspectRatio(4.0);
    QCOMPARE(renderer->outAspectRatioMode(), VideoRenderer::CustomAspectRation);
    image = grab(renderer.get());
    QCOMPARE(at(image, 200, 20), QString("black"));
    QCOMPARE(at(image, 200, 100), QString("blue"));
    QCOMPARE(at(image, 5, 100), QString("blue"));
}

void TestEngineRenderers::regionOfInterest() {
    QFETCH(int, id);
    const std::unique_ptr<VideoRenderer> renderer = shown(id, QSize(200, 200));
    QVERIFY(renderer);
    renderer->receive(VideoFrame::fromImage(quarters(QSize(320, 320))));
    QImage image = grab(renderer.get());
    QCOMPARE(at(image, 50, 50), QString("red"));
    QCOMPARE(at(image, 150, 150), QString("white"));

    // The top right quarter fills the output.
    renderer->setRegionOfInterest(0.5, 0, 0.5, 0.5);
    QCOMPARE(renderer->realROI(), QRect(160, 0, 160, 160));
    image = grab(renderer.get());
    QCOMPARE(at(image, 10, 10), QString("green"));
    QCOMPARE(at(image, 190, 190), QString("green"));

    // The centre quarter: a part of each colour, as the zoom shows it.
    renderer->setRegionOfInterest(0.25, 0.25, 0.5, 0.5);
    image = grab(renderer.get());
    QCOMPARE(at(image, 50, 50), QString("red"));
    QCOMPARE(at(image, 150, 50), QString("green"));
    QCOMPARE(at(image, 50, 150), QString("blue"));
    QCOMPARE(at(image, 150, 150), QString("white"));

    // An empty region is the whole frame again.
    renderer->setRegionOfInterest(QRectF());
    image = grab(renderer.get());
    QCOMPARE(at(image, 10, 10), QString("red"));
}

void TestEngineRenderers::framesAtTheSizeShown() {
    // A picture larger than its pane is drawn from a copy at the pane's size
    // in device pixels: the whole picture, the zoomed region of it, and after
    // a resize the decoded frame itself once the pane is larger than the
    // region. The renderer's current frame stays the decoded one.
    QFETCH(int, id);
    const std::unique_ptr<VideoRenderer> renderer = shown(id, QSize(200, 200));
    QVERIFY(renderer);
    const qreal dpr = renderer->widget()->devicePixelRatioF();
    const VideoFrame frame = VideoFrame::fromImage(quarters(QSize(1280, 1280)));
    std::thread([&] { renderer->receive(frame); }).join();  // as a video thread does
    QImage image = grab(renderer.get());
    QCOMPARE(renderer->paintedFrameSize(), QSize(200, 200) * dpr);
    QCOMPARE(renderer->currentFrame().size(), QSize(1280, 1280));
    QCOMPARE(at(image, 50, 50), QString("red"));
    QCOMPARE(at(image, 150, 150), QString("white"));

    // An odd size: the copy is made a pixel larger, where RGB conversion is
    // fast, and the extra pixel is cut off, not left black or squeezed in.
    renderer->widget()->setFixedSize(201, 201);
    std::thread([&] { renderer->receive(frame); }).join();
    image = grab(renderer.get());
    const int odd = qRound(201 * dpr);
    QCOMPARE(renderer->paintedFrameSize(), QSize(odd + odd % 2, odd + odd % 2));
    QCOMPARE(at(image, 200, 200), QString("white"));
    QCOMPARE(at(image, 0, 200), QString("blue"));
    QCOMPARE(at(image, 200, 0), QString("green"));
    renderer->widget()->setFixedSize(200, 200);

    renderer->setRegionOfInterest(0.5, 0, 0.5, 0.5);
    image = grab(renderer.get());
    QCOMPARE(renderer->paintedFrameSize(), QSize(200, 200) * dpr);
    QCOMPARE(at(image, 5, 5), QString("green"));
    QCOMPARE(at(image, 195, 195), QString("green"));

    renderer->setRegionOfInterest(0.25, 0.25, 0.5, 0.5);
    renderer->widget()->setFixedSize(800, 800);
    image = grab(renderer.get());
    QCOMPARE(renderer->paintedFrameSize(), QSize(1280, 1280));
    QCOMPARE(at(image, 200, 200), QString("red"));
    QCOMPARE(at(image, 600, 200), QString("green"));
    QCOMPARE(at(image, 200, 600), QString("blue"));
    QCOMPARE(at(image, 600, 600), QString("white"));
}

void TestEngineRenderers::framesFromAPlayer_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<MediaShape>("shape");
    QTest::addColumn<QSize>("pane");
    QTest::newRow("OpenGL, odd width") << int(VideoRendererId_OpenGLWidget)
                                       << MediaShape{318, 178, 30, 2.0, 10} << QSize(318, 178);
    QTest::newRow("OpenGL, pane smaller than the picture")
        << int(VideoRendererId_OpenGLWidget) << MediaShape{640, 360, 30, 2.0, 10}
        << QSize(318, 179);
    MediaShape full{320, 240, 30, 2.0, 10};
    full.pixelFormat = "yuv444p";
    QTest::newRow("OpenGL, 4:4:4") << int(VideoRendererId_OpenGLWidget) << full << QSize(320, 240);
    QTest::newRow("widget") << int(VideoRendererId_Widget) << MediaShape{318, 178, 30, 2.0, 10}
                            << QSize(318, 178);
}

void TestEngineRenderers::framesFromAPlayer() {
    QFETCH(int, id);
    QFETCH(MediaShape, shape);
    QFETCH(QSize, pane);
    const QString media = makeMedia(
        QString("render_%1x%2_%3").arg(shape.width).arg(shape.height).arg(shape.pixelFormat),
        shape);
    QVERIFY(!media.isEmpty());
    const std::unique_ptr<VideoRenderer> renderer = shown(id, pane);
    QVERIFY(renderer);
    AVPlayer player;
    player.setRenderer(renderer.get());
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return player.displyedFrame().isValid(); }));
    player.pause(true);
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(1100);
    QVERIFY(waitUntil([&] { return finished.count() == 1; }));
    // What is on screen is the player's picture: planes, strides, scaling and
    // colour conversion are right, and the player keeps the decoded frame. The shader interpolates
    // the chroma where swscale repeats it, which costs a few dB on the test picture's sharp colour
    // edges; swapped chroma planes score about 4 dB, a wrong stride about 9.
    QCOMPARE(player.displyedFrame().size(), QSize(shape.width, shape.height));
    const QImage expected = player.displyedFrame().toImage(QImage::Format_RGB32, pane);
    const double db = engine_fixture::psnr(grab(renderer.get()), expected);
    QVERIFY2(db > 24, qPrintable(QString::number(db)));
    player.stop();
}

// Counts the paints of a window and notes in which of them a widget painted.
class PaintPasses : public QObject {
public:
    explicit PaintPasses(QWidget* window) { window->installEventFilter(this); }
    void watch(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            ++pass;
        } else if (event->type() == QEvent::Paint) {
            painted[watched] = pass;
        }
        return false;
    }
    int pass = 0;
    QHash<QObject*, int> painted;
};

void TestEngineRenderers::framesOfOneMomentArePaintedTogether() {
    // Two players on one clock hand their frames of one moment to their
    // panes a little apart; both panes reach the screen in one paint of the
    // window, not one after the other.
    QFETCH(int, id);
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    std::unique_ptr<VideoRenderer> a(VideoRendererFactory::create(id));
    std::unique_ptr<VideoRenderer> b(VideoRendererFactory::create(id));
    for (VideoRenderer* renderer : {a.get(), b.get()}) {
        renderer->widget()->setFixedSize(160, 90);
        layout->addWidget(renderer->widget());
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PaintPasses passes(&window);
    passes.watch(a->widget());
    passes.watch(b->widget());
    const VideoFrame frame = VideoFrame::fromImage(quarters(QSize(160, 90)));
    int together = 0;
    for (int round = 0; round < 10; ++round) {
        QTest::qWait(50);
        passes.painted.clear();
        std::thread player([&] {
            a->receive(frame);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            b->receive(frame);
        });
        // The GUI thread runs meanwhile, as it does while players play.
        const bool both = waitUntil([&] { return passes.painted.size() == 2; });
        player.join();
        QVERIFY(both);
        together += passes.painted.value(a->widget()) == passes.painted.value(b->widget());
    }
    QVERIFY2(together >= 8, qPrintable(QString::number(together)));
    // Once both panes of the last paint have their next frame, the batch does
    // not wait out its hold: at 2x a frame is due every 17 ms.
    QTest::qWait(50);
    int repaints = 0;
    const QMetaObject::Connection counter =
        connect(RepaintBatch::instance(), &RepaintBatch::repainting, [&] { ++repaints; });
    a->receive(frame);
    b->receive(frame);
    QCoreApplication::processEvents();
    disconnect(counter);
    QCOMPARE(repaints, 1);
}

void TestEngineRenderers::positionReportsRideAlongWithThePictures() {
    // While pictures come, a position report (which moves a slider) goes
    // out when the pictures are repainted, so the window is painted once
    // for both instead of once more for the slider.
    const QString media = makeMedia("ride_along", MediaShape{320, 240, 30, 3.0, 30});
    const std::unique_ptr<VideoRenderer> renderer = shown(VideoRendererId_Widget, QSize(320, 240));
    QVERIFY(renderer);
    QElapsedTimer clock;
    clock.start();
    QList<qint64> repaints;
    QList<qint64> reports;
    connect(RepaintBatch::instance(), &RepaintBatch::repainting, this,
            [&] { repaints << clock.nsecsElapsed(); });
    AVPlayer player;
    player.setRenderer(renderer.get());
    connect(&player, &AVPlayer::positionChanged, this, [&] { reports << clock.nsecsElapsed(); });
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return player.position() >= 2000; }, 10000));
    player.stop();
    int along = 0;
    for (qint64 report : reports) {
        // Emitted from within the batch's signal.
        along += std::any_of(repaints.begin(), repaints.end(), [report](qint64 repaint) {
            return std::abs(repaint - report) < 2000000;
        });
    }
    QVERIFY2(reports.size() >= 12, qPrintable(QString::number(reports.size())));
    QVERIFY2(along >= reports.size() - 2,
             qPrintable(QString("%1 of %2").arg(along).arg(reports.size())));
}

ORVIN_TEST_MAIN(TestEngineRenderers)
#include "test_engine_renderers.moc"
