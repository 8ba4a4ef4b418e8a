#pragma once

#include <QMap>
#include <QString>
#include <vector>

#include "card_options.h"
#include "card_plan.h"
#include "recording_writer.h"

// Writes a whole card:
//   OUT_DIR/__SYSTEM.CFG        the camera's default settings record
//   OUT_DIR/VERSION.TXT         the firmware line
//   OUT_DIR/DCIM/*_1.mp4, *_2.mp4          layout "side"
//   OUT_DIR/DCIM/1/*_1.mp4, DCIM/2/*_2.mp4  layout "folders"
// Progress goes to standard error unless the options say quiet.
class CardWriter {
public:
    explicit CardWriter(const CardOptions& options);

    bool run();
    QString errorString() const { return m_error; }
    // A few lines for standard output, after run().
    QString summary() const;

    QString frontFolder() const;
    QString rearFolder() const;

private:
    bool prepareFolders();
    bool writeTiny(const std::vector<PlannedRecording>& plan, DriveModel& drive);
    bool writeFull(const std::vector<PlannedRecording>& plan, DriveModel& drive);
    RecordingJob job(const PlannedRecording& recording, bool rear,
                     const std::vector<DriveSample>& ticks) const;
    // Files on the card count in the summary; the truth file does not.
    bool writeFile(const QString& path, const QByteArray& data, bool onCard = true);
    void addTruth(const PlannedRecording& recording, const std::vector<DriveSample>& ticks);
    void progress(const QString& line) const;
    // GOP, B-frames and profile, for the summary's video line.
    QString encodingSummary() const;
    bool fail(const QString& message);

    CardOptions m_options;
    QString m_error;
    int m_files = 0;
    qint64 m_bytes = 0;
    double m_elapsed = 0;  // seconds
    QMap<QString, int> m_prefixes;
    QByteArray m_truth;  // CSV of the GPS samples, when asked for
};
