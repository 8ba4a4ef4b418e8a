#include "settings/rm_combo_box.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QtDebug>

#include "settings/rm_value_updater.h"
#include "widgets/rm_layout.h"

namespace {
const int kMaxVisibleItems = 100;
}  // namespace

RMComboBox::RMComboBox(QWidget* parent, QString label, QStringList options, unsigned char* value,
                       QList<int> values)
    : QWidget(parent), RMValueSelector(value, values) {
    auto* layout = new QHBoxLayout(this);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->setContentsMargins(0, 2, 8, 2);
    layout->setSpacing(3);
    if (!label.isEmpty()) {
        RMLayout::addLabel(this, layout, label, "text_normal_label");
    }
    _combo = new QComboBox(this);
    _combo->setObjectName("settings");
    _combo->setMaxVisibleItems(kMaxVisibleItems);
    addOptions(options);
    layout->addWidget(_combo);

    // Shown before anything is connected, so building writes no byte.
    _combo->setCurrentIndex(_rowOfValue());
    connect(_combo, SIGNAL(currentIndexChanged(int)), this, SLOT(onSelected(int)));
    connect(RMValueUpdater::instance(), SIGNAL(updateByValues()), this, SLOT(onUpdateByValue()));
}

void RMComboBox::addOptions(const QStringList& options) {
    for (const QString& option : options) {
        _combo->addItem(" " + option);
    }
}

int RMComboBox::_rowOfValue() const {
    const int index = optionIndex();
    return index < _combo->count() ? index : -1;
}

void RMComboBox::onSelected(int index) {
    storeIndex(index);
    qInfo() << Q_FUNC_INFO << __LINE__ << "option" << index << "byte" << *_value;
    Q_EMIT selected(index);
}

void RMComboBox::onUpdateByValue() {
    _combo->setCurrentIndex(_rowOfValue());
}

void RMComboBox::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
