#pragma once

#include <QList>

// Binding of an option control to one byte of the settings record. With an
// empty value list the byte is the position of the chosen option; otherwise
// option i stores values[i].
class RMValueSelector {
public:
    RMValueSelector(unsigned char* value, QList<int> values);

    unsigned char* value() const { return _value; }
    const QList<int>& values() const { return _values; }

    // The option the byte designates: the byte itself without a value list
    // (it may lie beyond the last option), else the position of the first
    // equal entry, or -1 when none matches.
    int optionIndex() const;
    // Writes the byte for option index. Without a value list the index is
    // stored as a byte (so -1 gives 255); with one, an index outside the
    // list changes nothing.
    void storeIndex(int index);

protected:
    unsigned char* _value;
    QList<int> _values;
};
