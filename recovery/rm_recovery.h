#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <vector>

#include "mp4/rm_mp4_index.h"
#include "recovery/rm_recover_patch.h"

// Recovers recordings that a power loss cut off: the camera left their
// media data without an index (an "mdat" of size 0 and no "moov"). A
// healthy recording of the same camera and channel serves as the reference:
// the nearest earlier complete one in the same folder, then a later one, or
// one given. The output holds the original bytes up to the end of the last
// whole sample, with the media data's size set, then a new movie box, with
// the recording's own times; it is written under a temporary name, flushed
// and put in place (RMRecoverOutput), and never replaces a file. The
// original is only read.
class RMRecovery {
public:
    struct Result {
        bool recovered = false;  // something was (or, in a dry run, would be) recovered
        bool cancelled = false;
        QString message;    // one line for the user
        QString output;     // the file written
        QString reference;  // the reference used
        int videoFrames = 0;
        double videoSeconds = 0;
        double soundSeconds = 0;
        bool hasSound = false;
        bool hasSensors = false;
        int sensorRecords = 0;
        qint64 bytes = 0;  // bytes of the output (or that it would have)
    };
    // Return false to cancel; `done` of `total` bytes.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // Whether the file is a recording cut off as described above.
    static bool isCutOff(const QString& path);
    // The cut-off recordings in a folder and up to five levels below it.
    static QStringList cutOffFiles(const QString& folder);
    // Where recovered recordings of a card go by default: "recovered" in the
    // viewer's documents folder, under the name of the card's folder (the
    // one holding the camera's settings file, else the folder of `path`).
    static QString recoveredFolder(const QString& path);
    // The reference chosen for a cut-off file; empty when there is none.
    static QString findReference(const QString& path);

    // Bytes of the output that differ from the original.
    using Patch = RMRecoverPatch;
    // The media data's header for data ending at `dataEnd`: its size, with
    // 64 bits when needed; false when there is no room for that.
    static bool mediaHeader(const std::vector<RMMp4Index::Box>& top, qint64 dataEnd,
                            std::vector<Patch>* patches);

    Result recover(const QString& path, const QString& reference, const QString& outputFolder,
                   bool dryRun, const Progress& progress = Progress());

private:
    static bool _sameParameterSets(const class RMNalScanner& scanner, const QByteArray& keyFrame);
    static bool _readFailed(class RMFileWindow& file, const QString& name, Result* result);
    static QDateTime _nameTime(const QString& path);
    static quint64 _mp4Time(const QDateTime& time);
    // Whether the last group's key frame decoded; with what `guess` found
    // when it guessed the same pictures.
    static bool _checkLastPictures(class RMFileWindow& file, const class RMNalScanner& scanner,
                                   class RMRecoverWalker& walker, class RMLastGroupGuess* guess);
    // `end`: where the media data ends, or -1 when it runs to the end.
    static QString _summarise(class RMFileWindow& file, qint64 start, qint64 end,
                              const class RMRecoverWalker& walker, const class RMRecoverMoov& moov,
                              Result* result);
    static void _collect(const QString& folder, int depth, QStringList* out);
};
