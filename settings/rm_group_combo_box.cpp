#include "settings/rm_group_combo_box.h"

#include <QVBoxLayout>

#include "settings/rm_combo_box.h"

RMGroupComboBox::RMGroupComboBox(QWidget* parent, QString title, QStringList options,
                                 unsigned char* value, QList<int> values)
    : QGroupBox(title, parent) {
    setObjectName("settings");
    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(3);
    _control = new RMComboBox(this, QString(), options, value, values);
    layout->addWidget(_control);
}
