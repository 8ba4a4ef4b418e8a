#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

#include "card_options.h"
#include "drive_model.h"

// One recording of the card before it is written.
struct PlannedRecording {
    QString prefix;   // "NNF_", "NEF_", "PNF_", "PMF_" or "PEF_"
    int number = 0;   // running file number
    QDateTime start;  // camera local time (held as UTC, see CardOptions)
    DriveSegment segment;

    // Name without channel and extension, e.g. NNF_240517-083000-000001.
    QString baseName() const;
    // The file name of one channel: base name, "_1" or "_2", ".mp4".
    QString fileName(bool rear) const;
};

// Decides the recordings of a card: consecutive start times `seconds` apart,
// mostly normal driving ("NNF_") with an event ("NEF_") in every sixth, and,
// on cards of five or more, the car parked for the last three (normal,
// motion and event: "PNF_", "PMF_", "PEF_").
class CardPlan {
public:
    static std::vector<PlannedRecording> make(const CardOptions& options);
};
