#include "settings/rm_group_text_num.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QtDebug>

#include "settings/rm_value_updater.h"
#include "widgets/rm_layout.h"

RMGroupTextNum::RMGroupTextNum(QWidget* parent, QString title, unsigned char* low,
                               unsigned char* high, QString unit, int scale, int lowest,
                               int highest)
    : QGroupBox(title, parent),
      _scale(scale),
      _lowest(static_cast<double>(lowest) / scale),
      _highest(static_cast<double>(highest) / scale),
      _low(low),
      _high(high) {
    setObjectName("settings");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(2);
    _edit = new QLineEdit(this);
    _edit->setObjectName("settings");
    _edit->setAlignment(Qt::AlignRight);
    layout->addWidget(_edit);
    if (!unit.isEmpty()) {
        _unit = RMLayout::addLabel(this, layout, unit, "text_normal_label");
    }
    layout->addStretch();
    connect(_edit, SIGNAL(textChanged(const QString&)), this, SLOT(onTextChanged(const QString&)));
    connect(_edit, SIGNAL(editingFinished()), this, SLOT(onTextChangeFinished()));
    onUpdateByValue();
    connect(RMValueUpdater::instance(), SIGNAL(updateByValues()), this, SLOT(onUpdateByValue()));
}

QString RMGroupTextNum::_format(double number) {
    return QString::asprintf("%.1f", number);
}

void RMGroupTextNum::onUpdateByValue() {
    const int raw = *_high * 256 + *_low;
    _edit->setText(_format(static_cast<double>(raw) / _scale));
}

void RMGroupTextNum::onTextChanged(const QString& text) {
    bool ok = false;
    const double number = text.toDouble(&ok);
    // Written this way round so that "nan" is refused too.
    if (!ok || !(number >= _lowest && number <= _highest)) {
        return;
    }
    const int raw = static_cast<int>(number * _scale);
    *_high = static_cast<unsigned char>((raw >> 8) & 0xFF);
    *_low = static_cast<unsigned char>(raw & 0xFF);
    qInfo() << Q_FUNC_INFO << __LINE__ << text << "raw" << raw;
}

void RMGroupTextNum::onTextChangeFinished() {
    bool ok = false;
    const double number = _edit->text().toDouble(&ok);
    if (!ok) {
        return;
    }
    if (number < _lowest) {
        _edit->setText(_format(_lowest));
    } else if (number > _highest) {
        _edit->setText(_format(_highest));
    }
}
