#include "settings/rm_cfg_table.h"

#include <QSet>

namespace {
const int kRecordSize = 96;
const int kModelNameSize = 16;

QStringList numbers(int first, int last) {
    QStringList list;
    for (int i = first; i <= last; ++i) {
        list.append(QString::number(i));
    }
    return list;
}

QList<int> range(int first, int last) {
    QList<int> list;
    for (int i = first; i <= last; ++i) {
        list.append(i);
    }
    return list;
}

RMCfgField onOff(RMCfgField::Tab tab, int column, int offset, const QString& japanese,
                 const QString& english) {
    return {tab,     column,           RMCfgField::KIND_ON_OFF, offset, -1,        japanese,
            english, {"オン", "オフ"}, {"ON", "OFF"},           {},     QString(), false};
}

RMCfgField choice(RMCfgField::Tab tab, int column, RMCfgField::Kind kind, int offset,
                  const QString& japanese, const QString& english, const QStringList& ja,
                  const QStringList& en, const QList<int>& values, bool shownOnly = false) {
    return {tab, column, kind, offset, -1, japanese, english, ja, en, values, QString(), shownOnly};
}

RMCfgField number(int column, int high, int low, const QString& label, const QString& unit) {
    return {RMCfgField::TAB_DRIVE_ASSIST,
            column,
            RMCfgField::KIND_NUMBER,
            high,
            low,
            label,
            label,
            {},
            {},
            {},
            unit,
            false};
}

QList<RMCfgField> makeFields() {
    using F = RMCfgField;
    const F::Tab cam = F::TAB_DASH_CAM;
    const F::Tab assist = F::TAB_DRIVE_ASSIST;
    const QStringList onOffEn = {"ON", "OFF"};
    return {
        choice(cam, 0, F::KIND_RADIO, 30, "録画モード", "REC. option", {"常時", "常時+イベント"},
               {"Normal", "Normal + Event"}, {0, 1}),
        choice(cam, 0, F::KIND_COMBO, 24, "G sensor sensitivity", "G sensor sensitivity",
               {"5", "4", "3", "2", "1", "OFF"}, {"5", "4", "3", "2", "1", "OFF"},
               {0, 2, 4, 6, 8, 10}),
        choice(cam, 0, F::KIND_COMBO, 22, "音量調整  ", "Volume  ",
               {"5", "4", "3", "2", "1", "mute"}, {"5", "4", "3", "2", "1", "mute"}, range(0, 5)),
        onOff(cam, 0, 23, "音声録音  ", "Mic  "),
        onOff(cam, 0, 29, "インポーズ記録", "Time Stamp "),
        choice(cam, 0, F::KIND_COMBO, 38, "別体カメラ表示", "In screen view ",
               {"前方", "後方", "前+後方"}, {"Front", "Rear", "F+R"}, range(0, 2)),
        choice(cam, 0, F::KIND_RADIO, 39, "画面明るさ", "LCD brightness ", {"4", "2", "1"},
               {"Bright", "Normal", "Dark"}, {0, 2, 3}),
        choice(cam, 0, F::KIND_COMBO, 84, "GPS speed  ", "GPS speed  ", numbers(0, 10),
               numbers(0, 10), range(0, 10)),
        onOff(cam, 1, 40, "ディマー", "AUTO brightness "),
        choice(cam, 1, F::KIND_RADIO, 41, "Display mode ", "Display mode ", {"cam", "ASSIST"},
               {"cam", "ASSIST"}, {0, 1}),
        choice(cam, 1, F::KIND_RADIO, 63, "LCD Auto off ", "LCD Auto off ", {"1min", "30sec", "ON"},
               {"1min", "30sec", "ON"}, {0, 1, 2}),
        onOff(cam, 1, 64, "LED setting ", "LED setting "),
        choice(cam, 1, F::KIND_RADIO, 65, "Speed Unit ", "Speed Unit ", {"mph", "km/h"},
               {"mph", "km/h"}, {0, 1}),
        choice(cam, 1, F::KIND_RADIO, 78, "Language ", "Language ", {"Eng", "Fre", "Ger"},
               {"Eng", "Fre", "Ger"}, {0, 1, 2}, true),
        choice(cam, 1, F::KIND_COMBO, 79, "Set Time ", "Set Time ", RMCfgTable::timeZoneOptions(),
               RMCfgTable::timeZoneOptions(), range(0, 25), true),
        onOff(cam, 1, 80, "Daylight Saving ", "Daylight Saving "),
        onOff(assist, 0, 66, "Smart Mute  ", "Smart Mute  "),
        onOff(assist, 0, 67, "Speed trap  ", "Speed trap  "),
        onOff(assist, 0, 68, "Mobiles trap  ", "Mobiles trap  "),
        onOff(assist, 0, 69, "Red light cam  ", "Red light cam  "),
        onOff(assist, 0, 70, "Speed limit change  ", "Speed limit change  "),
        choice(assist, 0, F::KIND_COMBO, 71, "User speed warning  ", "User speed warning  ",
               QStringList("OFF") + numbers(1, 50), QStringList("OFF") + numbers(1, 50),
               range(0, 50)),
        onOff(assist, 0, 81, "Voice  ", "Voice  "),
        onOff(assist, 1, 82, "Beep  ", "Beep  "),
        onOff(assist, 1, 83, "Direction  ", "Direction  "),
        choice(assist, 1, F::KIND_COMBO, RMCfgTable::OFFSET_VEHICLE_TYPE, "Vehicle type  ",
               "Vehicle type  ", {"Car", "Truck&van", "Motorhome", "Caravan", "Bus"},
               {"Car", "Truck&van", "Motorhome", "Caravan", "Bus"}, range(0, 4)),
        // The trailer's options depend on the vehicle type.
        choice(assist, 1, F::KIND_COMBO, RMCfgTable::OFFSET_TRAILER, "Vehicle type trailer  ",
               "Vehicle type trailer  ", RMCfgTable::trailerOptions(RMCfgTable::VEHICLE_TRUCK),
               RMCfgTable::trailerOptions(RMCfgTable::VEHICLE_TRUCK), {}),
        number(1, 73, 74, "Vehicle type weight  ", "ton"),
        number(1, 75, 76, "Vehicle type length  ", "m"),
    };
}
}  // namespace

QStringList RMCfgField::options(bool inJapanese) const {
    return inJapanese ? japaneseOptions : englishOptions;
}

int RMCfgField::optionOf(int byte) const {
    if (values.isEmpty()) {
        return byte < englishOptions.size() ? byte : -1;
    }
    return values.indexOf(byte);
}

const QList<RMCfgField>& RMCfgTable::fields() {
    static const QList<RMCfgField> table = makeFields();
    return table;
}

QStringList RMCfgTable::trailerOptions(int vehicle) {
    switch (vehicle) {
        case VEHICLE_CAR:
        case VEHICLE_BUS:
            return {"OFF", "ON"};
        case VEHICLE_TRUCK:
            return {"OFF", "Type1", "Type2", "Type3", "Type_Semi"};
        default:
            return QStringList();
    }
}

QStringList RMCfgTable::timeZoneOptions() {
    QStringList zones = {"0"};
    for (int hours = 1; hours <= 12; ++hours) {
        zones.append(QString::asprintf("+%02d", hours));
    }
    for (int hours = 1; hours <= 12; ++hours) {
        zones.append(QString::asprintf("-%02d", hours));
    }
    zones.append("Auto");
    return zones;
}

QList<int> RMCfgTable::uneditedOffsets() {
    QSet<int> edited;
    for (const RMCfgField& field : fields()) {
        edited << field.offset;
        if (field.lowOffset >= 0) {
            edited << field.lowOffset;
        }
    }
    QList<int> offsets;
    for (int offset = kModelNameSize; offset < kRecordSize; ++offset) {
        if (!edited.contains(offset)) {
            offsets.append(offset);
        }
    }
    return offsets;
}
