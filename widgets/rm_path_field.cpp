#include "widgets/rm_path_field.h"

#include <QDir>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionFrame>

RMPathField::RMPathField(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
}

void RMPathField::setPath(const QString& path) {
    _path = path;
    setToolTip(QDir::toNativeSeparators(path));
    _showPath();
}

void RMPathField::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    _showPath();
}

// The room for text is what the style leaves inside the frame, less the
// line edit's own side margins.
void RMPathField::_showPath() {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect inner = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QMargins margins = textMargins();
    const int room = inner.width() - margins.left() - margins.right() - 4;
    setText(fontMetrics().elidedText(QDir::toNativeSeparators(_path), Qt::ElideMiddle, room));
    setCursorPosition(0);
}
