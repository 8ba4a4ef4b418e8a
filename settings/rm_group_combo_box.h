#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class RMComboBox;

// A titled frame around one RMComboBox.
class RMGroupComboBox : public QGroupBox {
    Q_OBJECT
public:
    RMGroupComboBox(QWidget* parent, QString title, QStringList options, unsigned char* value,
                    QList<int> values);

    RMComboBox* control() const { return _control; }

private:
    RMComboBox* _control;
};
