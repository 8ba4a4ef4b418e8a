#pragma once

#include "settings/rm_cfg_table.h"
#include "settings/rm_settings_window_base.h"

class QHBoxLayout;
class QTabWidget;
class QVBoxLayout;
class RMGroupComboBox;
class RMGroupTextNum;

// The camera settings window: the tabs "Dash Cam" and "Drive Assist", each a
// two-column grid of controls bound to the bytes of the working record.
class WindowSettings : public RMSettingsWindowBase {
    Q_OBJECT
public:
    explicit WindowSettings(QWidget* parent);

    QTabWidget* tabWidget() const { return _tabs; }
    RMGroupComboBox* vehicleTypeGroup() const { return _vehicleType; }
    RMGroupComboBox* trailerGroup() const { return _trailer; }
    RMGroupTextNum* weightGroup() const { return _weight; }
    RMGroupTextNum* lengthGroup() const { return _length; }

public Q_SLOTS:
    // Enables the trailer, weight and length rows for the vehicle type and
    // offers its trailer options; the trailer byte starts again at 0.
    void onVehicleType(int index);

private:
    // A tab's two columns of controls, from the table of settings.
    QWidget* _createTab(RMCfgField::Tab tab);
    QVBoxLayout* _addColumn(QWidget* page, QHBoxLayout* columns);
    QWidget* _addField(QWidget* page, QVBoxLayout* column, const RMCfgField& field);
    RMGroupTextNum* _addNumber(QWidget* page, QVBoxLayout* column, const QString& label,
                               int lowOffset, int highOffset, const QString& unit);
    // The vehicle-type pass of building: states and options for the loaded
    // type, the trailer value read from the card kept.
    void _applyLoadedVehicleType();

    QTabWidget* _tabs;
    RMGroupComboBox* _vehicleType = nullptr;
    RMGroupComboBox* _trailer = nullptr;
    RMGroupTextNum* _weight = nullptr;
    RMGroupTextNum* _length = nullptr;
};
