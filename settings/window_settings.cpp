#include "settings/window_settings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtDebug>

#include "app/rm_language.h"
#include "settings/cfg.h"
#include "settings/rm_combo_box.h"
#include "settings/rm_group_combo_box.h"
#include "settings/rm_group_radio_buttons.h"
#include "settings/rm_group_text_num.h"
#include "ui/title_widget.h"

namespace {
// Offsets of the edited bytes in the settings record.
enum OFFSET {
    OFFSET_VOLUME = 22,
    OFFSET_MIC = 23,
    OFFSET_G_SENSOR = 24,
    OFFSET_TIME_STAMP = 29,
    OFFSET_REC_OPTION = 30,
    OFFSET_SCREEN_VIEW = 38,
    OFFSET_LCD_BRIGHTNESS = 39,
    OFFSET_AUTO_BRIGHTNESS = 40,
    OFFSET_DISPLAY_MODE = 41,
    OFFSET_LCD_AUTO_OFF = 63,
    OFFSET_LED = 64,
    OFFSET_SPEED_UNIT = 65,
    OFFSET_SMART_MUTE = 66,
    OFFSET_SPEED_TRAP = 67,
    OFFSET_MOBILES_TRAP = 68,
    OFFSET_RED_LIGHT = 69,
    OFFSET_SPEED_LIMIT = 70,
    OFFSET_SPEED_WARNING = 71,
    OFFSET_VEHICLE_TYPE = 72,
    OFFSET_WEIGHT_HIGH = 73,
    OFFSET_WEIGHT_LOW = 74,
    OFFSET_LENGTH_HIGH = 75,
    OFFSET_LENGTH_LOW = 76,
    OFFSET_TRAILER = 77,
    OFFSET_LANGUAGE = 78,
    OFFSET_TIME_ZONE = 79,
    OFFSET_DAYLIGHT_SAVING = 80,
    OFFSET_VOICE = 81,
    OFFSET_BEEP = 82,
    OFFSET_DIRECTION = 83,
    OFFSET_GPS_SPEED = 84,
};

enum VEHICLE {
    VEHICLE_CAR = 0,
    VEHICLE_TRUCK = 1,
    VEHICLE_MOTORHOME = 2,
    VEHICLE_CARAVAN = 3,
    VEHICLE_BUS = 4,
};

const int kColumnWidth = 768 / 2;
const int kDashCamRowHeight = 52;
const int kDriveAssistRowHeight = 60;
const int kComboWidth = 200;
const int kNumberWidth = 50;
// Weights and lengths in tenths, 1.0 to 50.0.
const int kNumberScale = 10;
const int kNumberLowest = 10;
const int kNumberHighest = 500;

QString text(const QString& japanese, const QString& english) {
    return RMLanguage::instance()->text(japanese, english);
}

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

QStringList trailerOptions(int vehicle) {
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

void setRowHeight(QWidget* row, int height) {
    row->setFixedHeight(height);
}

void setComboWidth(RMGroupComboBox* group) {
    group->control()->comboBox()->setFixedWidth(kComboWidth);
}
}  // namespace

WindowSettings::WindowSettings(QWidget* parent) : RMSettingsWindowBase(parent) {
    if (!RMLanguage::instance()->isJapanese() && titleWidget()->titleLabel()) {
        titleWidget()->titleLabel()->setPixmap(QPixmap(":/image/title_settings_en.png"));
    }
    _tabs = new QTabWidget(contentWidget());
    _tabs->setObjectName("settings_tabs");
    _tabs->addTab(_createDashCamTab(), "Dash Cam");
    _tabs->addTab(_createDriveAssistTab(), "Drive Assist");
    contentLayout()->addWidget(_tabs);

    connect(_vehicleType->control(), SIGNAL(selected(int)), this, SLOT(onVehicleType(int)));
    _applyLoadedVehicleType();
}

QStringList WindowSettings::timeZoneOptions() {
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

QVBoxLayout* WindowSettings::_addColumn(QWidget* page, QHBoxLayout* columns) {
    auto* column = new QWidget(page);
    column->setFixedWidth(kColumnWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setAlignment(Qt::AlignTop);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    columns->addWidget(column);
    return layout;
}

QWidget* WindowSettings::_createDashCamTab() {
    auto* page = new QWidget(_tabs);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    _fillDashCamLeft(page, _addColumn(page, columns));
    _fillDashCamRight(page, _addColumn(page, columns));
    return page;
}

QWidget* WindowSettings::_createDriveAssistTab() {
    auto* page = new QWidget(_tabs);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    _fillDriveAssistLeft(page, _addColumn(page, columns));
    _fillDriveAssistRight(page, _addColumn(page, columns));
    return page;
}

void WindowSettings::_fillDashCamLeft(QWidget* page, QVBoxLayout* column) {
    const int h = kDashCamRowHeight;
    setRowHeight(_MGR(page, text("録画モード", "REC. option"), column,
                      {text("常時", "Normal"), text("常時+イベント", "Normal + Event")},
                      OFFSET_REC_OPTION, {0, 1}),
                 h);
    RMGroupComboBox* combo =
        _MGC(page, "G sensor sensitivity", column, {"5", "4", "3", "2", "1", "OFF"},
             OFFSET_G_SENSOR, {0, 2, 4, 6, 8, 10});
    setComboWidth(combo);
    setRowHeight(combo, h);
    combo = _MGC(page, text("音量調整  ", "Volume  "), column, {"5", "4", "3", "2", "1", "mute"},
                 OFFSET_VOLUME, range(0, 5));
    setComboWidth(combo);
    setRowHeight(combo, h);
    setRowHeight(_MGR_ONOFF(page, text("音声録音  ", "Mic  "), column, OFFSET_MIC), h);
    setRowHeight(_MGR_ONOFF(page, text("インポーズ記録", "Time Stamp "), column, OFFSET_TIME_STAMP),
                 h);
    combo = _MGC(page, text("別体カメラ表示", "In screen view "), column,
                 {text("前方", "Front"), text("後方", "Rear"), text("前+後方", "F+R")},
                 OFFSET_SCREEN_VIEW, range(0, 2));
    setComboWidth(combo);
    setRowHeight(combo, h);
    setRowHeight(_MGR(page, text("画面明るさ", "LCD brightness "), column,
                      {text("4", "Bright"), text("2", "Normal"), text("1", "Dark")},
                      OFFSET_LCD_BRIGHTNESS, {0, 2, 3}),
                 h);
    combo = _MGC(page, "GPS speed  ", column, numbers(0, 10), OFFSET_GPS_SPEED, range(0, 10));
    setComboWidth(combo);
    setRowHeight(combo, h);
}

void WindowSettings::_fillDashCamRight(QWidget* page, QVBoxLayout* column) {
    const int h = kDashCamRowHeight;
    setRowHeight(
        _MGR_ONOFF(page, text("ディマー", "AUTO brightness "), column, OFFSET_AUTO_BRIGHTNESS), h);
    setRowHeight(
        _MGR(page, "Display mode ", column, {"cam", "ASSIST"}, OFFSET_DISPLAY_MODE, {0, 1}), h);
    setRowHeight(_MGR(page, "LCD Auto off ", column, {"1min", "30sec", "ON"}, OFFSET_LCD_AUTO_OFF,
                      {0, 1, 2}),
                 h);
    setRowHeight(_MGR_ONOFF(page, "LED setting ", column, OFFSET_LED), h);
    setRowHeight(_MGR(page, "Speed Unit ", column, {"mph", "km/h"}, OFFSET_SPEED_UNIT, {0, 1}), h);
    // Shown for reference only: the camera sets these itself.
    RMGroupRadioButtons* language =
        _MGR(page, "Language ", column, {"Eng", "Fre", "Ger"}, OFFSET_LANGUAGE, {0, 1, 2});
    language->setEnabled(false);
    setRowHeight(language, h);
    RMGroupComboBox* zone =
        _MGC(page, "Set Time ", column, timeZoneOptions(), OFFSET_TIME_ZONE, range(0, 25));
    zone->setEnabled(false);
    setComboWidth(zone);
    setRowHeight(zone, h);
    setRowHeight(_MGR_ONOFF(page, "Daylight Saving ", column, OFFSET_DAYLIGHT_SAVING), h);
}

void WindowSettings::_fillDriveAssistLeft(QWidget* page, QVBoxLayout* column) {
    const int h = kDriveAssistRowHeight;
    setRowHeight(_MGR_ONOFF(page, "Smart Mute  ", column, OFFSET_SMART_MUTE), h);
    setRowHeight(_MGR_ONOFF(page, "Speed trap  ", column, OFFSET_SPEED_TRAP), h);
    setRowHeight(_MGR_ONOFF(page, "Mobiles trap  ", column, OFFSET_MOBILES_TRAP), h);
    setRowHeight(_MGR_ONOFF(page, "Red light cam  ", column, OFFSET_RED_LIGHT), h);
    setRowHeight(_MGR_ONOFF(page, "Speed limit change  ", column, OFFSET_SPEED_LIMIT), h);
    RMGroupComboBox* warning =
        _MGC(page, "User speed warning  ", column, QStringList("OFF") + numbers(1, 50),
             OFFSET_SPEED_WARNING, range(0, 50));
    setComboWidth(warning);
    setRowHeight(warning, h);
    setRowHeight(_MGR_ONOFF(page, "Voice  ", column, OFFSET_VOICE), h);
}

void WindowSettings::_fillDriveAssistRight(QWidget* page, QVBoxLayout* column) {
    const int h = kDriveAssistRowHeight;
    setRowHeight(_MGR_ONOFF(page, "Beep  ", column, OFFSET_BEEP), h);
    setRowHeight(_MGR_ONOFF(page, "Direction  ", column, OFFSET_DIRECTION), h);
    _vehicleType =
        _MGC(page, "Vehicle type  ", column, {"Car", "Truck&van", "Motorhome", "Caravan", "Bus"},
             OFFSET_VEHICLE_TYPE, range(0, 4));
    setComboWidth(_vehicleType);
    setRowHeight(_vehicleType, h);
    _trailer = _MGC(page, "Vehicle type trailer  ", column,
                    {"OFF", "Type1", "Type2", "Type3", "Type_Semi"}, OFFSET_TRAILER, QList<int>());
    setComboWidth(_trailer);
    setRowHeight(_trailer, h);
    _weight = _addNumber(page, column, "Vehicle type weight  ", OFFSET_WEIGHT_LOW,
                         OFFSET_WEIGHT_HIGH, "ton");
    _length = _addNumber(page, column, "Vehicle type length  ", OFFSET_LENGTH_LOW,
                         OFFSET_LENGTH_HIGH, "m");
}

RMGroupTextNum* WindowSettings::_addNumber(QWidget* page, QVBoxLayout* column, const QString& label,
                                           int lowOffset, int highOffset, const QString& unit) {
    auto* group = new RMGroupTextNum(page, label, &CFG::data[lowOffset], &CFG::data[highOffset],
                                     unit, kNumberScale, kNumberLowest, kNumberHighest);
    group->lineEdit()->setFixedWidth(kNumberWidth);
    setRowHeight(group, kDriveAssistRowHeight);
    column->addWidget(group);
    return group;
}

void WindowSettings::onVehicleType(int index) {
    qInfo() << Q_FUNC_INFO << __LINE__ << "vehicle type" << index;
    _trailer->setEnabled(index == VEHICLE_CAR || index == VEHICLE_TRUCK || index == VEHICLE_BUS);
    _weight->setEnabled(index >= VEHICLE_TRUCK && index <= VEHICLE_BUS);
    _length->setEnabled(index == VEHICLE_BUS);
    QComboBox* combo = _trailer->control()->comboBox();
    combo->clear();
    CFG::data[OFFSET_TRAILER] = 0;
    const QStringList options = trailerOptions(index);
    if (options.isEmpty()) {
        return;
    }
    _trailer->control()->addOptions(options);
    combo->setCurrentIndex(0);
}

void WindowSettings::_applyLoadedVehicleType() {
    const unsigned char trailer = CFG::data[OFFSET_TRAILER];
    onVehicleType(CFG::data[OFFSET_VEHICLE_TYPE]);
    QComboBox* combo = _trailer->control()->comboBox();
    if (trailer < combo->count()) {
        combo->setCurrentIndex(trailer);
    } else {
        // No option shows this value; the byte goes back to the card as read.
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(-1);
    }
    CFG::data[OFFSET_TRAILER] = trailer;
}
