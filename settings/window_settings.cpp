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
#include "settings/rm_cfg_table.h"
#include "settings/rm_combo_box.h"
#include "settings/rm_group_combo_box.h"
#include "settings/rm_group_radio_buttons.h"
#include "settings/rm_group_text_num.h"
#include "widgets/title_widget.h"

namespace {
// Offsets of the bytes with a rule of their own.
const int OFFSET_WEIGHT_HIGH = 73;
const int OFFSET_LENGTH_HIGH = 75;

const int kColumnWidth = 768 / 2;
const int kDashCamRowHeight = 52;
const int kDriveAssistRowHeight = 60;
const int kComboWidth = 200;
const int kNumberWidth = 50;
// Weights and lengths in tenths, 1.0 to 50.0.
const int kNumberScale = 10;
const int kNumberLowest = 10;
const int kNumberHighest = 500;
}  // namespace

WindowSettings::WindowSettings(QWidget* parent) : RMSettingsWindowBase(parent) {
    if (!RMLanguage::instance()->isJapanese() && titleWidget()->titleLabel()) {
        titleWidget()->titleLabel()->setPixmap(QPixmap(":/image/title_settings_en.png"));
    }
    _tabs = new QTabWidget(contentWidget());
    _tabs->setObjectName("settings_tabs");
    _tabs->addTab(_createTab(RMCfgField::TAB_DASH_CAM), "Dash Cam");
    _tabs->addTab(_createTab(RMCfgField::TAB_DRIVE_ASSIST), "Drive Assist");
    contentLayout()->addWidget(_tabs);

    connect(_vehicleType->control(), SIGNAL(selected(int)), this, SLOT(onVehicleType(int)));
    _applyLoadedVehicleType();
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

QWidget* WindowSettings::_createTab(RMCfgField::Tab tab) {
    auto* page = new QWidget(_tabs);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    const int rowHeight =
        tab == RMCfgField::TAB_DASH_CAM ? kDashCamRowHeight : kDriveAssistRowHeight;
    for (int index = 0; index < 2; ++index) {
        QVBoxLayout* column = _addColumn(page, columns);
        for (const RMCfgField& field : RMCfgTable::fields()) {
            if (field.tab == tab && field.column == index) {
                QWidget* row = _addField(page, column, field);
                row->setFixedHeight(rowHeight);
                row->setEnabled(!field.shownOnly);
            }
        }
    }
    return page;
}

QWidget* WindowSettings::_addField(QWidget* page, QVBoxLayout* column, const RMCfgField& field) {
    const bool japanese = RMLanguage::instance()->isJapanese();
    const QString label = field.label(japanese);
    switch (field.kind) {
        case RMCfgField::KIND_ON_OFF:
            return _MGR_ONOFF(page, label, column, field.offset);
        case RMCfgField::KIND_RADIO:
            return _MGR(page, label, column, field.options(japanese), field.offset, field.values);
        case RMCfgField::KIND_NUMBER: {
            RMGroupTextNum* number =
                _addNumber(page, column, label, field.lowOffset, field.offset, field.unit);
            (field.offset == OFFSET_WEIGHT_HIGH ? _weight : _length) = number;
            return number;
        }
        case RMCfgField::KIND_COMBO:
            break;
    }
    RMGroupComboBox* combo =
        _MGC(page, label, column, field.options(japanese), field.offset, field.values);
    combo->control()->comboBox()->setFixedWidth(kComboWidth);
    if (field.offset == RMCfgTable::OFFSET_VEHICLE_TYPE) {
        _vehicleType = combo;
    } else if (field.offset == RMCfgTable::OFFSET_TRAILER) {
        _trailer = combo;
    }
    return combo;
}

RMGroupTextNum* WindowSettings::_addNumber(QWidget* page, QVBoxLayout* column, const QString& label,
                                           int lowOffset, int highOffset, const QString& unit) {
    auto* group = new RMGroupTextNum(page, label, &CFG::data[lowOffset], &CFG::data[highOffset],
                                     unit, kNumberScale, kNumberLowest, kNumberHighest);
    group->lineEdit()->setFixedWidth(kNumberWidth);
    column->addWidget(group);
    return group;
}

void WindowSettings::onVehicleType(int index) {
    qInfo() << Q_FUNC_INFO << __LINE__ << "vehicle type" << index;
    using T = RMCfgTable;
    _trailer->setEnabled(index == T::VEHICLE_CAR || index == T::VEHICLE_TRUCK ||
                         index == T::VEHICLE_BUS);
    _weight->setEnabled(index >= T::VEHICLE_TRUCK && index <= T::VEHICLE_BUS);
    _length->setEnabled(index == T::VEHICLE_BUS);
    QComboBox* combo = _trailer->control()->comboBox();
    combo->clear();
    CFG::data[T::OFFSET_TRAILER] = 0;
    const QStringList options = T::trailerOptions(index);
    if (options.isEmpty()) {
        return;
    }
    _trailer->control()->addOptions(options);
    combo->setCurrentIndex(0);
}

void WindowSettings::_applyLoadedVehicleType() {
    const unsigned char trailer = CFG::data[RMCfgTable::OFFSET_TRAILER];
    onVehicleType(CFG::data[RMCfgTable::OFFSET_VEHICLE_TYPE]);
    QComboBox* combo = _trailer->control()->comboBox();
    if (trailer < combo->count()) {
        combo->setCurrentIndex(trailer);
    } else {
        // No option shows this value; the byte goes back to the card as read.
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(-1);
    }
    CFG::data[RMCfgTable::OFFSET_TRAILER] = trailer;
}
