#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bytes of a recovered file that differ from the cut-off original: written
// over the copy at `pos`.
struct RMRecoverPatch {
    qint64 pos = 0;
    QByteArray bytes;
};
