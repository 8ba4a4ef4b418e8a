#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One setting of the camera record as the settings window shows it: where it
// sits, its label and options in both languages, and the byte values the
// options stand for. The window builds its controls from these, and the
// command-line tool decodes a record with them.
struct RMCfgField {
    enum Kind {
        KIND_RADIO,   // radio buttons
        KIND_ON_OFF,  // radio buttons "ON" / "OFF" (byte 0 = on, 1 = off)
        KIND_COMBO,   // a drop-down list
        KIND_NUMBER,  // a decimal in tenths, 16-bit, high byte first
    };
    enum Tab {
        TAB_DASH_CAM = 0,
        TAB_DRIVE_ASSIST = 1,
    };

    Tab tab;
    int column;  // 0 left, 1 right
    Kind kind;
    int offset;     // the byte; for numbers the high byte
    int lowOffset;  // numbers only: the low byte
    QString japanese;
    QString english;
    QStringList japaneseOptions;
    QStringList englishOptions;
    QList<int> values;  // byte value of each option; empty: the option's index
    QString unit;       // numbers only
    bool shownOnly;     // displayed but not editable (the camera sets it)

    QString label(bool inJapanese) const { return inJapanese ? japanese : english; }
    QStringList options(bool inJapanese) const;
    // The option a byte value selects, -1 when none does.
    int optionOf(int byte) const;
};

class RMCfgTable {
public:
    enum VEHICLE {
        VEHICLE_CAR = 0,
        VEHICLE_TRUCK = 1,
        VEHICLE_MOTORHOME = 2,
        VEHICLE_CARAVAN = 3,
        VEHICLE_BUS = 4,
    };
    static const int OFFSET_VEHICLE_TYPE = 72;
    static const int OFFSET_TRAILER = 77;

    // Every setting in window order: tab, column, then top to bottom.
    static const QList<RMCfgField>& fields();
    // The trailer options a vehicle type offers (none for motorhome and caravan).
    static QStringList trailerOptions(int vehicle);
    // "0", "+01" .. "+12", "-01" .. "-12", "Auto".
    static QStringList timeZoneOptions();
    // Offsets of bytes no setting edits.
    static QList<int> uneditedOffsets();
};
