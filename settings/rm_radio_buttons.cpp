#include "settings/rm_radio_buttons.h"

#include <QBoxLayout>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QtDebug>

#include "settings/rm_value_updater.h"
#include "widgets/rm_layout.h"

namespace {
const int kRowHeight = 25;
}  // namespace

RMRadioButtons::RMRadioButtons(QWidget* parent, QString label, QStringList options,
                               unsigned char* value, QList<int> values)
    : QWidget(parent), RMValueSelector(value, values) {
    _build(label, options, false);
}

RMRadioButtons::RMRadioButtons(QWidget* parent, QString label, QStringList options,
                               unsigned char* value, bool vertical, QList<int> values)
    : QWidget(parent), RMValueSelector(value, values) {
    _build(label, options, vertical);
}

QBoxLayout* RMRadioButtons::_createLayout(bool vertical) {
    if (vertical) {
        return new QVBoxLayout(this);
    }
    setFixedHeight(kRowHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(2);
    return layout;
}

void RMRadioButtons::_build(const QString& label, const QStringList& options, bool vertical) {
    QBoxLayout* layout = _createLayout(vertical);
    if (!label.isEmpty()) {
        RMLayout::addLabel(this, layout, label, "text_normal_label");
    }
    for (const QString& option : options) {
        auto* button = new QRadioButton(option, this);
        button->setObjectName("settings");
        layout->addWidget(button);
        _buttons.append(button);
        connect(button, SIGNAL(clicked()), this, SLOT(onSelected()));
    }
    int index = optionIndex();
    // The vertical variant repairs a byte beyond its options to the first.
    if (vertical && _values.isEmpty() && index >= _buttons.size() && !_buttons.isEmpty()) {
        *_value = 0;
        index = 0;
    }
    _check(index);
    connect(RMValueUpdater::instance(), SIGNAL(updateByValues()), this, SLOT(onUpdateByValue()));
}

void RMRadioButtons::_check(int index) {
    if (index >= 0 && index < _buttons.size()) {
        _buttons.at(index)->setChecked(true);
    }
}

int RMRadioButtons::checkedIndex() const {
    for (int i = 0; i < _buttons.size(); ++i) {
        if (_buttons.at(i)->isChecked()) {
            return i;
        }
    }
    return -1;
}

void RMRadioButtons::onSelected() {
    const int index = _buttons.indexOf(qobject_cast<QRadioButton*>(sender()));
    if (index < 0) {
        return;
    }
    storeIndex(index);
    qInfo() << Q_FUNC_INFO << __LINE__ << "option" << index << "byte" << *_value;
    Q_EMIT selected(index);
}

void RMRadioButtons::onUpdateByValue() {
    if (_buttons.isEmpty()) {
        return;
    }
    const int index = optionIndex();
    if (index < 0) {
        _check(0);
    } else {
        _check(qMin(index, _buttons.size() - 1));
    }
}

void RMRadioButtons::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
