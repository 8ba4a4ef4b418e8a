#include "widgets/rm_widget_check_box.h"

#include <QKeyEvent>

#include "core/rm_key_event.h"

RMWidgetCheckBox::RMWidgetCheckBox(QWidget* parent) : QCheckBox(parent) {}

void RMWidgetCheckBox::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        RMKeyEvent::instance()->pressed(event->key());
    }
    QCheckBox::keyPressEvent(event);
}
