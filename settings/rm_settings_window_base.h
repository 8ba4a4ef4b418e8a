#pragma once

#include "ui/rm_popup.h"

// Base of the camera settings window.
class RMSettingsWindowBase : public RMPopup {
    Q_OBJECT
public:
    explicit RMSettingsWindowBase(QWidget* parent);

    // Root folder of the camera disk being edited; kept between openings.
    static QString lastSettingDisk;
};
