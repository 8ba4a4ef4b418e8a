#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

// The picture a recording shows at a position (the last one whose time is
// not after it), decoded at full size.
class RMClipStill {
public:
    // A null image, with the reason in `error`, when the recording cannot be
    // read or decoded up to the position.
    static QImage at(const QString& path, qint64 positionMs, QString* error);
};
