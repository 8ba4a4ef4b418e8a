#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "settings/rm_value_selector.h"

class QComboBox;

// A drop-down list bound to one byte of the settings record. Every change of
// the current item writes the byte, including changes the program makes.
class RMComboBox : public QWidget, public RMValueSelector {
    Q_OBJECT
public:
    RMComboBox(QWidget* parent, QString label, QStringList options, unsigned char* value,
               QList<int> values);

    QComboBox* comboBox() const { return _combo; }
    // Appends options the way the constructor shows them (one leading blank).
    void addOptions(const QStringList& options);

Q_SIGNALS:
    void selected(int index);

public Q_SLOTS:
    void onSelected(int index);
    void onUpdateByValue();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The combo box row of the byte's option, -1 when it has none.
    int _rowOfValue() const;

    QComboBox* _combo;
};
