#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include "export/rm_clip_range.h"

// What one export is asked to do: a job description in, files out. The
// viewer's export window and the command line fill it alike.
struct RMExportJob {
    // An evidence pack (RMEvidencePack) holds the originals, the original and
    // inset layouts, the track, stills and a report.
    enum Layout { LAYOUT_ORIGINAL, LAYOUT_INSET, LAYOUT_SIDE, LAYOUT_EVIDENCE };
    enum Corner { CORNER_BOTTOM_RIGHT, CORNER_BOTTOM_LEFT, CORNER_TOP_RIGHT, CORNER_TOP_LEFT };

    QList<RMClipPart> parts;  // the range, resolved (RMClipRange::resolve)
    Layout layout = LAYOUT_ORIGINAL;
    Corner corner = CORNER_BOTTOM_RIGHT;
    bool stamp = true;     // composites only
    bool gpx = true;       // the GPS track beside the video
    bool smaller = false;  // composites: x264 "medium" instead of "veryfast"
    bool mph = false;      // the stamp's speed unit
    int threads = 0;       // encoder threads; 0 lets the encoder choose
    QString outDir;
    QString cardRoot;      // the card the recordings come from: never written to
    bool replace = false;  // replace files of the same names
    // Evidence pack only:
    QDateTime at;           // the moment the user picked (camera clock); invalid: the start
    QString model;          // the camera's model name; empty when unknown
    bool japanese = false;  // the report's language
};

// What came of it.
struct RMExportResult {
    bool ok = false;
    bool cancelled = false;
    QStringList files;     // written, final names (a pack: its folder)
    QStringList existing;  // names already taken (nothing written; ask, then replace)
    QString error;         // the one cause, in English, when not ok
    qint64 leadMs = 0;     // the original cut starts this much before the start mark
};

Q_DECLARE_METATYPE(RMExportJob)
Q_DECLARE_METATYPE(RMExportResult)
