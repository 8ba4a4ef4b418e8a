#pragma once

#include "widgets/rm_popup.h"

class QLabel;

// The viewer's version and the camera's firmware version.
class RMPopupInfo : public RMPopup {
    Q_OBJECT
public:
    RMPopupInfo(QWidget* parent, QString firmware, QString);

    static QString viewerVersionText();
    QLabel* firmwareLabel() const { return _firmwareLabel; }

private:
    QLabel* _firmwareLabel = nullptr;
};
