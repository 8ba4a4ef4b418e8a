#include "settings/rm_settings_window_base.h"

QString RMSettingsWindowBase::lastSettingDisk;

RMSettingsWindowBase::RMSettingsWindowBase(QWidget* parent)
    : RMPopup(parent, QString(), "title_settings.png", Qt::WindowFlags()) {
    hideCloseButton();
}
