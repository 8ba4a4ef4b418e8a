#pragma once

#include <QGroupBox>

class QLabel;
class QLineEdit;

// A titled number field bound to a 16-bit value of the settings record kept
// as a high and a low byte. The number shown is the raw value divided by the
// scale; only numbers between the limits reach the record.
class RMGroupTextNum : public QGroupBox {
    Q_OBJECT
public:
    RMGroupTextNum(QWidget* parent, QString title, unsigned char* low, unsigned char* high,
                   QString unit, int scale, int lowest, int highest);

    QLineEdit* lineEdit() const { return _edit; }
    QLabel* unitLabel() const { return _unit; }

public Q_SLOTS:
    void onTextChanged(const QString& text);
    void onTextChangeFinished();
    void onUpdateByValue();

private:
    static QString _format(double number);

    QLineEdit* _edit;
    QLabel* _unit = nullptr;
    int _scale;
    double _lowest;
    double _highest;
    unsigned char* _low;
    unsigned char* _high;
};
