#pragma once

#include <QByteArray>
#include <QString>

// The camera's 96-byte settings record "__SYSTEM.CFG": the working copy that
// the settings controls edit in place, the copy last loaded or saved, and the
// operations between them and the card. Static members only.
class CFG {
public:
    static constexpr int SIZE = 96;

    // Working record; every settings control writes its byte here directly.
    static unsigned char data[SIZE];
    // The record as last loaded from or saved to the card.
    static unsigned char stored[SIZE];
    // What Reset writes: the camera's factory record.
    static const unsigned char defaults[SIZE];

    static void setDefault();
    static void backup();
    static void restore();
    // Reads the record; a file without the model name gives the defaults.
    static bool load(QString path);
    // The model name a settings file holds, read without touching the
    // records above; empty when the file is missing or not the camera's.
    static QString modelName(const QString& path);
    // Writes the record whole or not at all. stored follows what is on the
    // card: the record after a good save, what was read back after a late
    // failure, the old record when the file was left unchanged.
    static bool save(QString path);

    // The steps of a save, in order; a failure up to SAVE_RENAME leaves the
    // file on the card as it was.
    enum SAVE_STEP {
        SAVE_NONE = 0,
        SAVE_OPEN = 1,
        SAVE_WRITE = 2,
        SAVE_SYNC = 3,
        SAVE_CHECK = 4,
        SAVE_RENAME = 5,
        SAVE_FOLDER_SYNC = 6,
        SAVE_READ_BACK = 7,
    };
    struct SaveError {
        SAVE_STEP step = SAVE_NONE;
        int error = 0;  // errno of the failed call
    };
    // Where the last save stopped; step SAVE_NONE after a good one.
    static SaveError lastSaveError();
    static bool lastSaveLeftFileUnchanged();

    // What the card holds after the last save, as far as it could be read.
    enum CARD_STATE {
        CARD_UNCHANGED = 0,  // the old file, untouched
        CARD_NEW = 1,        // the new record (read back after the failure)
        CARD_OTHER = 2,      // a file that differs from the record written
        CARD_UNKNOWN = 3,    // replaced, but it could not be read back
    };
    static CARD_STATE lastSaveCardState();

    // Test seam: every following save fails at step with errno error, as a
    // full card (SAVE_WRITE, ENOSPC), a write-protected card (SAVE_OPEN,
    // EROFS) or a pulled card would. SAVE_NONE removes the fault.
    static void injectFault(SAVE_STEP step, int error);

    // Name of the temporary file a save writes beside the target.
    static QString temporaryPath(const QString& path);

private:
    static void _followCard(bool readable, const QByteArray& onCard, const QByteArray& written);
};
