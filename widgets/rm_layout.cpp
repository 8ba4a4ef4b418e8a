#include "widgets/rm_layout.h"

#include <QBoxLayout>
#include <QLabel>
#include <QSpacerItem>

QSpacerItem* RMLayout::addSpacer(QBoxLayout* layout, int w, int h) {
    auto* spacer = new QSpacerItem(w, h, QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addSpacerItem(spacer);
    return spacer;
}

QLabel* RMLayout::addLabel(QWidget* parent, QLayout* layout, QString text, const char* objectName) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    layout->addWidget(label);
    return label;
}
