#pragma once

#include "widgets/rm_popup.h"

// A popup with a title, one message and an OK button.
class RMPopupMessage : public RMPopup {
    Q_OBJECT
public:
    RMPopupMessage(QWidget* parent, QString title, QString text);
};
