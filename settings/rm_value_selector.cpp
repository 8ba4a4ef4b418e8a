#include "settings/rm_value_selector.h"

RMValueSelector::RMValueSelector(unsigned char* value, QList<int> values)
    : _value(value), _values(values) {}

int RMValueSelector::optionIndex() const {
    if (_values.isEmpty()) {
        return *_value;
    }
    return _values.indexOf(*_value);
}

void RMValueSelector::storeIndex(int index) {
    if (_values.isEmpty()) {
        *_value = static_cast<unsigned char>(index);
    } else if (index >= 0 && index < _values.size()) {
        *_value = static_cast<unsigned char>(_values.at(index));
    }
}
