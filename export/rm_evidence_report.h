#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include "export/rm_evidence_facts.h"

// Everything the printable report of an evidence pack shows.
struct RMEvidenceReportInput {
    struct Still {
        QDateTime at;  // camera clock
        QImage front;
        QImage rear;  // null without a rear channel
    };
    struct File {
        QString path;  // relative to the pack's folder
        qint64 size = 0;
        QByteArray sha256;  // lower-case hex
    };

    bool japanese = false;
    QString model;  // the camera's model name; empty without a settings file
    QStringList recordings;
    QDateTime start;  // camera clock
    QDateTime end;
    QVector<RMEvidenceGps> gps;
    QVector<RMEvidenceG> g;
    RMEvidenceFacts facts;
    Still picked;   // the moment the user chose
    Still largest;  // the moment of the largest G
    QList<File> files;
};

// Writes the report as an A4 PDF with Qt's own PDF writer: the camera and the
// files, the range in camera and GPS time with the clock's offset, the route
// coloured by speed, the speeds and G peaks with the G graph, the two stills,
// every file with its size and SHA-256, and how to verify them.
class RMEvidenceReport {
public:
    static bool write(const QString& path, const RMEvidenceReportInput& input);
    static bool write(QIODevice* device, const RMEvidenceReportInput& input);

    // The colour of a speed on the route, in the map window's 14 steps of
    // 13 km/h from green to red.
    static QRgb speedColor(double kmh);
};
