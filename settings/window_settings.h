#pragma once

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

    // The time-zone options of "Set Time ": 0, +01 .. +12, -01 .. -12, Auto.
    static QStringList timeZoneOptions();

public Q_SLOTS:
    // Enables the trailer, weight and length rows for the vehicle type and
    // offers its trailer options; the trailer byte starts again at 0.
    void onVehicleType(int index);

private:
    QWidget* _createDashCamTab();
    QWidget* _createDriveAssistTab();
    QVBoxLayout* _addColumn(QWidget* page, QHBoxLayout* columns);
    void _fillDashCamLeft(QWidget* page, QVBoxLayout* column);
    void _fillDashCamRight(QWidget* page, QVBoxLayout* column);
    void _fillDriveAssistLeft(QWidget* page, QVBoxLayout* column);
    void _fillDriveAssistRight(QWidget* page, QVBoxLayout* column);
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
