#include "widgets/rm_notice.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>
#include <QtDebug>

int RMNotice::holdMs = 4000;
int RMNotice::fadeMs = 800;

namespace {
const char kObjectName[] = "notice";
const int kBottomGap = 40;
const int kSideGap = 40;
// Both sides' padding of the style sheet, and a little room for rounding.
const int kPadding = 2 * 14 + 2 * 1 + 4;
const char kStyle[] =
    "QLabel#notice { background: rgba(24, 24, 24, 230); color: white; font-size: 14px;"
    " border: 1px solid #8F8F8F; border-radius: 4px; padding: 8px 14px; }";
}  // namespace

RMNotice::RMNotice(QWidget* window)
    : QLabel(window),
      _opacity(new QGraphicsOpacityEffect(this)),
      _fade(new QPropertyAnimation(_opacity, "opacity", this)),
      _hold(new QTimer(this)) {
    setObjectName(kObjectName);
    setStyleSheet(kStyle);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setGraphicsEffect(_opacity);
    _hold->setSingleShot(true);
    connect(_hold, &QTimer::timeout, this, [this] {
        _fade->setDuration(fadeMs);
        _fade->setStartValue(1.0);
        _fade->setEndValue(0.0);
        _fade->start();
    });
    connect(_fade, &QPropertyAnimation::finished, this, &QWidget::hide);
    hide();
}

RMNotice* RMNotice::of(QWidget* window) {
    return window ? window->findChild<RMNotice*>(kObjectName, Qt::FindDirectChildrenOnly) : nullptr;
}

RMNotice* RMNotice::post(QWidget* window, const QString& text) {
    qInfo() << Q_FUNC_INFO << __LINE__ << text;
    if (window == nullptr) {
        return nullptr;
    }
    RMNotice* notice = of(window);
    if (notice == nullptr) {
        notice = new RMNotice(window);
    }
    notice->_show(text);
    return notice;
}

void RMNotice::_show(const QString& text) {
    _fade->stop();
    _opacity->setOpacity(1.0);
    setText(text);
    _place();
    show();
    raise();
    _hold->start(holdMs);
}

// Centred near the bottom of the window, as wide as its longest line needs
// (wrapped only when the window is narrower).
void RMNotice::_place() {
    ensurePolished();  // the style sheet's font and padding
    const QWidget* window = parentWidget();
    const int maxWidth = qMax(100, window->width() - 2 * kSideGap);
    int widest = 0;
    for (const QString& line : text().split('\n')) {
        widest = qMax(widest, fontMetrics().horizontalAdvance(line));
    }
    const QMargins frame = contentsMargins();
    const int width = qMin(maxWidth, widest + kPadding + frame.left() + frame.right());
    const int height = qMax(heightForWidth(width), sizeHint().height());
    resize(width, height);
    move((window->width() - width) / 2, window->height() - height - kBottomGap);
}
