#include "settings/rm_group_radio_buttons.h"

#include <QVBoxLayout>

#include "settings/rm_radio_buttons.h"

RMGroupRadioButtons::RMGroupRadioButtons(QWidget* parent, QString title, QStringList options,
                                         unsigned char* value, QList<int> values)
    : QGroupBox(title, parent) {
    _build(new RMRadioButtons(this, QString(), options, value, values));
}

RMGroupRadioButtons::RMGroupRadioButtons(QWidget* parent, QString title, QStringList options,
                                         unsigned char* value, bool vertical, QList<int> values)
    : QGroupBox(title, parent) {
    _build(new RMRadioButtons(this, QString(), options, value, vertical, values));
}

void RMGroupRadioButtons::_build(RMRadioButtons* control) {
    setObjectName("settings");
    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(3);
    _control = control;
    layout->addWidget(_control);
}
