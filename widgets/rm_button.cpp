#include "widgets/rm_button.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLayout>
#include <QStyle>
#include <QVariant>

#include "app/rm_language.h"

RMButton::RMButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

RMButton::~RMButton() {
    RMLanguage::instance()->remove(this);
}

RMButton* RMButton::create(QWidget* parent, QLayout* layout, const char* objectName,
                           QString tooltip, QSize size) {
    auto* button = new RMButton(parent);
    if (!tooltip.isEmpty()) {
        button->setToolTip(tooltip);
    }
    button->setObjectName(objectName);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setFixedSize(size);
    if (layout) {
        layout->addWidget(button);
    }
    if (!tooltip.isEmpty()) {
        RMLanguage::instance()->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_TOOLTIP,
                                       button, tooltip);
        button->setAttribute(Qt::WA_LayoutUsesWidgetRect);
        button->setAttribute(Qt::WA_AlwaysShowToolTips);
    }
    return button;
}

bool RMButton::event(QEvent* event) {
    // A deactivated window gets no leave event; send one so no hover image
    // stays lit.
    if (event->type() == QEvent::WindowDeactivate) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(this, &leave);
    }
    return QPushButton::event(event);
}

void RMButton::_repolish() {
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void RMButton::setStyleStatus(const char* property, bool value) {
    setProperty(property, value);
    _repolish();
}

void RMButton::updateObject(QString objectName) {
    setObjectName(objectName);
    _repolish();
}
