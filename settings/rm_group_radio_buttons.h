#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class RMRadioButtons;

// A titled frame around one RMRadioButtons.
class RMGroupRadioButtons : public QGroupBox {
    Q_OBJECT
public:
    RMGroupRadioButtons(QWidget* parent, QString title, QStringList options, unsigned char* value,
                        QList<int> values);
    RMGroupRadioButtons(QWidget* parent, QString title, QStringList options, unsigned char* value,
                        bool vertical, QList<int> values);

    RMRadioButtons* control() const { return _control; }

private:
    void _build(RMRadioButtons* control);

    RMRadioButtons* _control = nullptr;
};
