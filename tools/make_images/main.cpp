// Draws every image of the viewer's user interface and writes them, with a
// Qt resource file listing them, into the folder given on the command line:
//   orvin-make-images <out>  ->  <out>/image/*.png|jpg and <out>/images.qrc
// It also draws the application icon for the desktop's menu, at the sizes
// that get installed, into <out>/icons/app_icon_<size>.png.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <functional>

#include "app_icon.h"
#include "icons.h"
#include "paint.h"

using namespace paint;

namespace {

// Collects the written files so that the resource file lists exactly them.
class Output {
public:
    explicit Output(const QString& dir) : m_dir(dir) {}

    void save(const QImage& img, const QString& name) {
        const QString path = m_dir + QStringLiteral("/image/") + name;
        const bool jpeg = name.endsWith(QLatin1String(".jpg"));
        const bool ok = jpeg ? img.convertToFormat(QImage::Format_RGB32).save(path, "JPG", 90)
                             : img.save(path, "PNG");
        if (!ok) {
            std::fprintf(stderr, "orvin-make-images: cannot write %s\n", qPrintable(path));
            m_ok = false;
        }
        if (m_names.contains(name)) {
            std::fprintf(stderr, "orvin-make-images: %s drawn twice\n", qPrintable(name));
            m_ok = false;
        }
        m_names << name;
    }

    bool writeQrc() {
        QStringList names = m_names;
        names.sort();
        QByteArray xml = "<RCC>\n<qresource prefix=\"/\">\n";
        for (const QString& n : names)
            xml += "  <file alias=\"image/" + n.toUtf8() + "\">image/" + n.toUtf8() + "</file>\n";
        xml += "</qresource>\n</RCC>\n";
        QFile f(m_dir + QStringLiteral("/images.qrc"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(xml) != xml.size()) {
            std::fprintf(stderr, "orvin-make-images: cannot write %s\n", qPrintable(f.fileName()));
            return false;
        }
        return m_ok;
    }

    int count() const { return m_names.size(); }

private:
    QString m_dir;
    QStringList m_names;
    bool m_ok = true;
};

struct Words {
    QString ja, en;
};

const QString kPng = QStringLiteral(".png");
const QString kEn = QStringLiteral("_en");

// A single image painted by fn, written under its name.
void single(Output& out, const QString& name, QSize size,
            const std::function<void(QPainter&, const QRectF&)>& fn,
            const QColor& fill = Qt::transparent) {
    QImage img = canvas(size.width(), size.height(), fill);
    QPainter p(&img);
    setupPainter(p);
    fn(p, QRectF(QPointF(0, 0), size));
    p.end();
    out.save(img, name);
}

// Japanese image under <stem>.png, English twin under <stem>_en.png.
void singleInLanguages(Output& out, const QString& stem, QSize size, const Words& words,
                       const std::function<void(QPainter&, const QRectF&, const QString&)>& fn) {
    for (bool en : {false, true})
        single(out, stem + (en ? kEn : QString()) + kPng, size,
               [&](QPainter& p, const QRectF& r) { fn(p, r, en ? words.en : words.ja); });
}

using StatePainter = std::function<void(QPainter&, const QRectF&, State)>;

// Writes <stem>_<state><tail>.png for every state of the set.
void eachState(Output& out, const QString& stem, const QString& tail, QSize size,
               const StateSet& states, const StatePainter& paintOne) {
    for (const StateFile& sf : states)
        single(out, stem + QLatin1Char('_') + QLatin1String(sf.suffix) + tail + kPng, size,
               [&](QPainter& p, const QRectF& r) { paintOne(p, r, sf.state); });
}

// Same, once with the Japanese words (no tail) and once with the English ones.
void eachStateAndLanguage(
    Output& out, const QString& stem, QSize size, const StateSet& states, const Words& words,
    const std::function<void(QPainter&, const QRectF&, State, const QString&)>& paintOne) {
    for (bool en : {false, true}) {
        const QString& word = en ? words.en : words.ja;
        eachState(out, stem, en ? kEn : QString(), size, states,
                  [&](QPainter& p, const QRectF& r, State s) { paintOne(p, r, s, word); });
    }
}

// ---------------------------------------------------------------- buttons

// Icon-only button in every state.
void iconButton(Output& out, const QString& stem, QSize size, const StateSet& states, Face face,
                icons::Icon icon, const QRectF& iconBox, qreal strokePx = 1.75,
                bool danger = false) {
    eachState(out, stem, QString(), size, states, [&](QPainter& p, const QRectF& r, State s) {
        paintFace(p, r, face, s, danger);
        icons::drawIcon(p, icon, iconBox, inkFor(s), strokePx);
    });
}

// Button with words, optionally preceded by an icon, centred as a group.
void textButton(Output& out, const QString& stem, QSize size, const StateSet& states, Face face,
                const Words& words, icons::Icon icon = nullptr, int fontPx = 14) {
    const qreal iconPx = icon ? 18 : 0;
    const qreal gap = icon ? 6 : 0;
    eachStateAndLanguage(
        out, stem, size, states, words,
        [&](QPainter& p, const QRectF& r, State s, const QString& word) {
            paintFace(p, r, face, s);
            const QFont f = fitted(uiFont(fontPx, true), word, r.width() - iconPx - gap - 8);
            const qreal total = iconPx + gap + textWidth(f, word);
            const qreal x = qRound((r.width() - total) / 2);
            const qreal cy = face == Face::Tab ? r.height() / 2 - 1 : r.height() / 2;
            if (icon)
                icons::drawIcon(p, icon, QRectF(x, qRound(cy - iconPx / 2), iconPx, iconPx),
                                inkFor(s));
            drawText(p, f, word, x + iconPx + gap, cy, inkFor(s));
        });
}

// ---------------------------------------------------------------- title bar

void barBackground(QPainter& p, const QRectF& r) {
    p.fillRect(r, vertical(r, QColor(0x3A, 0x3A, 0x3A), QColor(0x26, 0x26, 0x26)));
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), QColor(0x55, 0x55, 0x55));
}

void titleBar(Output& out) {
    single(out, QStringLiteral("title_bg.png"), {1030, 43}, barBackground);
    single(out, QStringLiteral("title_popup_bg.png"), {400, 39}, barBackground);

    single(out, QStringLiteral("title_logo_vk7300.png"), {230, 43},
           [](QPainter& p, const QRectF& r) {
               const QString model = QStringLiteral("VK7300");
               const QFont bold = uiFont(20, true);
               const QFont light = uiFont(18, false);
               const qreal cy = r.height() / 2;
               drawText(p, bold, model, 12, cy, kWhite);
               drawText(p, light, QStringLiteral("Viewer"), 12 + textWidth(bold, model) + 7, cy,
                        QColor(0xB8, 0xB8, 0xB8));
           });

    singleInLanguages(out, QStringLiteral("title_settings"), {260, 39},
                      {QStringLiteral("本体設定"), QStringLiteral("Camera Settings")},
                      [](QPainter& p, const QRectF& r, const QString& word) {
                          drawText(p, fitted(uiFont(16, true), word, r.width() - 16), word, 12,
                                   r.height() / 2, kWhite);
                      });

    const QSize tool(34, 42);
    const QRectF toolIcon(6, 10, 22, 22);
    iconButton(out, QStringLiteral("title_language"), tool, kPressStates, Face::Bare, icons::globe,
               toolIcon, 1.6);
    iconButton(out, QStringLiteral("title_setup"), tool, kPressStates, Face::Bare, icons::gear,
               toolIcon, 1.6);
    iconButton(out, QStringLiteral("title_info"), tool, kPressStates, Face::Bare, icons::info,
               toolIcon, 1.6);

    eachState(out, QStringLiteral("title_savejpg"), QString(), {48, 42}, kPressStates,
              [](QPainter& p, const QRectF& r, State s) {
                  paintFace(p, r, Face::Bare, s);
                  icons::drawIcon(p, icons::camera, QRectF(13, 4, 22, 22), inkFor(s), 1.6);
                  drawTextCentred(p, uiFont(10, true), QStringLiteral("JPG"),
                                  QRectF(0, 26, r.width(), 11), inkFor(s));
              });

    eachStateAndLanguage(out, QStringLiteral("title_export"), {48, 42}, kPressStates,
                         {QStringLiteral("書出し"), QStringLiteral("Clip")},
                         [](QPainter& p, const QRectF& r, State s, const QString& word) {
                             paintFace(p, r, Face::Bare, s);
                             icons::drawIcon(p, icons::clip, QRectF(13, 4, 22, 22), inkFor(s),
                                             1.6);
                             drawTextCentred(p, fitted(uiFont(10, true), word, r.width() - 4),
                                             word, QRectF(0, 26, r.width(), 11), inkFor(s));
                         });

    // Window caption buttons.
    const QSize caption(42, 30);
    const QRectF captionIcon(15, 9, 12, 12);
    iconButton(out, QStringLiteral("title_min"), caption, kSelectStates, Face::Bare,
               icons::minimise, captionIcon, 2);
    iconButton(out, QStringLiteral("title_full"), caption, kSelectStates, Face::Bare,
               icons::fullScreen, captionIcon, 2);
    iconButton(out, QStringLiteral("title_restore"), caption, kSelectStates, Face::Bare,
               icons::restore, captionIcon, 2);
    iconButton(out, QStringLiteral("title_exit"), caption, kSelectStates, Face::Bare, icons::cross,
               captionIcon, 1.75, true);
    iconButton(out, QStringLiteral("title_popup_exit"), {38, 38}, kPressStates, Face::Bare,
               icons::cross, QRectF(12, 12, 14, 14), 1.6, true);
}

// ---------------------------------------------------------------- common buttons

// Background only: the button draws its own words on top.
void commonButtons(Output& out) {
    eachState(out, QStringLiteral("popup_btn"), QString(), {120, 30}, kPressStates,
              [](QPainter& p, const QRectF& r, State s) { paintFace(p, r, Face::Plate, s); });
}

// ---------------------------------------------------------------- list frame

// Header strip above a list or a video pane: orange marker and words.
void headerStrip(QPainter& p, const QRectF& r, const QString& word) {
    p.fillRect(r, vertical(r, QColor(0x48, 0x48, 0x48), QColor(0x36, 0x36, 0x36)));
    p.fillRect(QRectF(0, 0, r.width(), 1), QColor(0x5A, 0x5A, 0x5A));
    p.fillRect(QRectF(0, r.height() - 1, r.width(), 1), kDarkest);
    const qreal cy = r.height() / 2;
    p.fillRect(QRectF(10, qRound(cy - 8), 3, 16), kAccent);
    drawText(p, fitted(uiFont(15, true), word, r.width() - 30), word, 21, cy, kWhite);
}

void checkbox(QPainter& p, bool checked) {
    p.setPen(QPen(kWhite, 1));
    p.setBrush(QColor(0x2B, 0x2B, 0x2B));
    p.drawRect(QRectF(0.5, 0.5, 15, 15));
    if (checked) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({{3.8, 8.2}, {6.8, 11.2}, {12.2, 4.8}}));
    }
}

void listFrame(Output& out) {
    singleInLanguages(out, QStringLiteral("title_list"), {338, 41},
                      {QStringLiteral("録画ファイル一覧"), QStringLiteral("Recordings")},
                      headerStrip);

    textButton(out, QStringLiteral("group_normal"), {169, 33}, kCheckStates, Face::Tab,
               {QStringLiteral("常時録画"), QStringLiteral("Normal")});
    textButton(out, QStringLiteral("group_event"), {169, 33}, kCheckStates, Face::Tab,
               {QStringLiteral("イベント録画"), QStringLiteral("Event")});

    textButton(out, QStringLiteral("open"), {113, 30}, kPress3States, Face::Segment,
               {QStringLiteral("開く"), QStringLiteral("Open")}, icons::folder, 13);
    textButton(out, QStringLiteral("backup"), {112, 30}, kPressStates, Face::Segment,
               {QStringLiteral("バックアップ"), QStringLiteral("Backup")}, icons::disk, 13);
    single(out, QStringLiteral("list_file_unused.png"), {115, 30},
           [](QPainter& p, const QRectF& r) { paintFace(p, r, Face::Segment, State::Normal); });

    single(out, QStringLiteral("checkbox_checked.png"), {16, 16},
           [](QPainter& p, const QRectF&) { checkbox(p, true); });
    single(out, QStringLiteral("checkbox_unchecked.png"), {16, 16},
           [](QPainter& p, const QRectF&) { checkbox(p, false); });
}

// ---------------------------------------------------------------- video panes

// "No video" picture: a faint camera and the channel name on near black.
void placeholder(Output& out, const QString& name, QSize size, const QString& word) {
    single(
        out, name, size,
        [&](QPainter& p, const QRectF& r) {
            p.fillRect(r, vertical(r, QColor(0x1A, 0x1A, 0x1A), QColor(0x10, 0x10, 0x10)));
            const qreal h = r.height();
            const qreal side = qRound(h * 0.40);
            icons::drawIcon(p, icons::camera,
                            QRectF(qRound((r.width() - side) / 2), qRound(h * 0.17), side, side),
                            QColor(0x3A, 0x3A, 0x3A), side / 24 * 1.1);
            QFont f = uiFont(qRound(h * 0.075), true);
            // The extra spacing also follows the last letter; shift to keep the word centred.
            const qreal trailing = textWidth(f, word.right(1)) * 0.3;
            f.setLetterSpacing(QFont::PercentageSpacing, 130);
            drawTextCentred(p, f, word, QRectF(trailing / 2, h * 0.64, r.width(), h * 0.14),
                            QColor(0x55, 0x55, 0x55));
        },
        Qt::black);
}

void videoPanes(Output& out) {
    textButton(out, QStringLiteral("swap_display"), {169, 35}, kSelectStates, Face::Segment,
               {QStringLiteral("画面切替"), QStringLiteral("Swap")}, icons::swapArrows);
    textButton(out, QStringLiteral("map"), {170, 35}, kSelectStates, Face::Segment,
               {QStringLiteral("地図"), QStringLiteral("Map")}, icons::mapPin);
    textButton(out, QStringLiteral("player_front"), {110, 34}, kPressStates, Face::Plate,
               {QStringLiteral("フロント"), QStringLiteral("Front")});
    textButton(out, QStringLiteral("player_rear"), {110, 34}, kPressStates, Face::Plate,
               {QStringLiteral("リア"), QStringLiteral("Rear")});

    singleInLanguages(out, QStringLiteral("title_video_front"), {663, 35},
                      {QStringLiteral("フロントカメラ"), QStringLiteral("Front camera")},
                      headerStrip);
    singleInLanguages(out, QStringLiteral("title_video_rear"), {663, 35},
                      {QStringLiteral("リアカメラ"), QStringLiteral("Rear camera")}, headerStrip);

    placeholder(out, QStringLiteral("logo_front_big.jpg"), {663, 374}, QStringLiteral("FRONT"));
    placeholder(out, QStringLiteral("logo_rear_big.jpg"), {663, 374}, QStringLiteral("REAR"));
    placeholder(out, QStringLiteral("logo_front_small.jpg"), {338, 190}, QStringLiteral("FRONT"));
    placeholder(out, QStringLiteral("logo_rear_small.jpg"), {338, 190}, QStringLiteral("REAR"));

    // Stretched with a 1 px border: light top edge, dark other edges.
    single(out, QStringLiteral("player_bg.png"), {665, 76}, [](QPainter& p, const QRectF& r) {
        p.fillRect(r, QColor(0x1E, 0x1E, 0x1E));
        const QRectF in = r.adjusted(1, 1, -1, -1);
        p.fillRect(in, vertical(in, QColor(0x34, 0x34, 0x34), QColor(0x27, 0x27, 0x27)));
        p.fillRect(QRectF(1, 0, r.width() - 2, 1), QColor(0x50, 0x50, 0x50));
    });

    // Stretched with 2 px borders: dark outer edge, lighter inner edge.
    single(out, QStringLiteral("panel_bg9.png"), {32, 32}, [](QPainter& p, const QRectF& r) {
        p.fillRect(r, QColor(0x3C, 0x3C, 0x3C));
        p.fillRect(r.adjusted(1, 1, -1, -1), QColor(0x6A, 0x6A, 0x6A));
        p.fillRect(r.adjusted(2, 2, -2, -2), QColor(0x5A, 0x5A, 0x5A));
    });
}

// ---------------------------------------------------------------- playback bar

// 54x76 button: a square plate in the upper part with the icon in it,
// optionally with a small "1s" under the icon.
void playbackButton(Output& out, const QString& stem, icons::Icon icon, bool oneSecond = false) {
    eachState(out, stem, QString(), {54, 76}, kPressStates,
              [&](QPainter& p, const QRectF&, State s) {
                  const QRectF plate(4, 4, 46, 46);
                  paintFace(p, plate, Face::Plate, s);
                  const QRectF box(15, oneSecond ? 9 : 15, 24, 24);
                  icons::drawIcon(p, icon, box, inkFor(s), 2.2);
                  if (oneSecond)
                      drawTextCentred(p, uiFont(10, true), QStringLiteral("1s"),
                                      QRectF(4, 34, 46, 10), inkFor(s));
              });
}

void playbackBar(Output& out) {
    playbackButton(out, QStringLiteral("frame_backward"), icons::chevronsLeft, true);
    playbackButton(out, QStringLiteral("play_pause"), icons::play);
    playbackButton(out, QStringLiteral("pause"), icons::pause);
    playbackButton(out, QStringLiteral("stop"), icons::stop);
    playbackButton(out, QStringLiteral("frame_forward"), icons::chevronsRight, true);
    playbackButton(out, QStringLiteral("file_backward"), icons::previousFile);
    playbackButton(out, QStringLiteral("file_forward"), icons::nextFile);

    eachState(out, QStringLiteral("mute"), QString(), {19, 19}, kCheckStates,
              [](QPainter& p, const QRectF& r, State s) {
                  const bool muted = s == State::Checked;
                  icons::drawIcon(p, muted ? icons::speakerMuted : icons::speaker, r, inkFor(s),
                                  1.5, s == State::Disabled ? kDisabledInk : kAccent);
              });

    const QRectF zoomIcon(10.5, 7.5, 24, 24);
    iconButton(out, QStringLiteral("zoomin"), {45, 39}, kPressStates, Face::Plate, icons::zoomIn,
               zoomIcon);
    iconButton(out, QStringLiteral("zoomout"), {45, 39}, kPressStates, Face::Plate, icons::zoomOut,
               zoomIcon);
}

// ---------------------------------------------------------------- captions and legends

void legends(Output& out) {
    const Words speed{QStringLiteral("再生速度"), QStringLiteral("Speed")};
    const auto label = [](const QColor& c) {
        return [c](QPainter& p, const QRectF& r, const QString& word) {
            drawTextCentred(p, fitted(uiFont(14, false), word, r.width() - 4), word, r, c);
        };
    };
    singleInLanguages(out, QStringLiteral("speed_control_label"), {71, 22}, speed, label(kWhite));
    singleInLanguages(out, QStringLiteral("speed_control_label_dark"), {71, 22}, speed,
                      label(QColor(0xC8, 0xC8, 0xC8)));

    single(
        out, QStringLiteral("graph_xyz.png"), {27, 72},
        [](QPainter& p, const QRectF&) {
            const struct {
                const char* letter;
                QColor colour;
            } axes[] = {{"X", QColor(0xFF, 0x50, 0x50)},
                        {"Y", QColor(0x50, 0xD0, 0x50)},
                        {"Z", QColor(0x50, 0xA0, 0xFF)}};
            const QFont f = uiFont(12, true);
            for (int i = 0; i < 3; ++i) {
                const qreal cy = 12 + 24 * i;
                p.fillRect(QRectF(3, cy - 1, 9, 2), axes[i].colour);
                drawText(p, f, QLatin1String(axes[i].letter), 15, cy, axes[i].colour);
            }
        },
        QColor(0x1B, 0x1C, 0x1C));

    single(out, QStringLiteral("speed_bar.png"), {392, 22}, [](QPainter& p, const QRectF& r) {
        const QRgb cells[] = {0x7FED11, 0x35ED11, 0x11ED3C, 0x11ED7F, 0x11EDC8, 0x11C8ED, 0x117FED,
                              0x1135ED, 0x3511ED, 0x7F11ED, 0xC811ED, 0xED11C8, 0xED117F, 0xED1135};
        const int n = int(sizeof cells / sizeof cells[0]);
        const qreal w = r.width() / n;
        for (int i = 0; i < n; ++i) p.fillRect(QRectF(i * w, 0, w, r.height()), QColor(cells[i]));
    });
}

// ---------------------------------------------------------------- application icon

// Sizes installed into the desktop's icon theme; the largest one stands in
// for a scalable icon.
const int kIconSizes[] = {48, 128, 256, 512};

// The window icon goes into the resources; the theme sizes beside them. The
// window icon stays small: X servers refuse a window property the size of a
// 256 px icon unless they allow big requests.
bool applicationIcon(Output& out, const QString& dir) {
    out.save(app_icon::draw(128), QStringLiteral("app_icon.png"));
    if (!QDir().mkpath(dir + QStringLiteral("/icons"))) {
        std::fprintf(stderr, "orvin-make-images: cannot create %s/icons\n", qPrintable(dir));
        return false;
    }
    for (int side : kIconSizes) {
        const QString path = dir + QStringLiteral("/icons/app_icon_%1.png").arg(side);
        if (!app_icon::draw(side).save(path, "PNG")) {
            std::fprintf(stderr, "orvin-make-images: cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

// Words must come out as real glyphs, not boxes: insist on the CJK family.
bool fontAvailable() {
    const QString family = QString::fromLatin1(kFamily);
    if (!QFontDatabase().families().contains(family) ||
        QFontInfo(uiFont(14, true)).family() != family) {
        std::fprintf(stderr, "orvin-make-images: font \"%s\" not found (install fonts-noto-cjk)\n",
                     kFamily);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: orvin-make-images <output folder>\n");
        return 2;
    }
    if (!fontAvailable())
        return 1;

    const QString dir = QDir(args.at(1)).absolutePath();
    if (!QDir().mkpath(dir + QStringLiteral("/image"))) {
        std::fprintf(stderr, "orvin-make-images: cannot create %s/image\n", qPrintable(dir));
        return 1;
    }

    Output out(dir);
    titleBar(out);
    commonButtons(out);
    listFrame(out);
    videoPanes(out);
    playbackBar(out);
    legends(out);
    if (!applicationIcon(out, dir) || !out.writeQrc())
        return 1;
    std::printf("orvin-make-images: wrote %d images to %s/image\n", out.count(), qPrintable(dir));
    return 0;
}
