#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "settings/rm_value_selector.h"

class QBoxLayout;
class QRadioButton;

// A row (or column) of radio buttons bound to one byte of the settings
// record: it shows the byte, writes it on a click and shows it again when
// RMValueUpdater asks.
class RMRadioButtons : public QWidget, public RMValueSelector {
    Q_OBJECT
public:
    RMRadioButtons(QWidget* parent, QString label, QStringList options, unsigned char* value,
                   QList<int> values);
    RMRadioButtons(QWidget* parent, QString label, QStringList options, unsigned char* value,
                   bool vertical, QList<int> values);

    const QList<QRadioButton*>& buttons() const { return _buttons; }
    // Position of the checked button, -1 when none is checked.
    int checkedIndex() const;

Q_SIGNALS:
    void selected(int index);

public Q_SLOTS:
    void onSelected();
    void onUpdateByValue();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void _build(const QString& label, const QStringList& options, bool vertical);
    QBoxLayout* _createLayout(bool vertical);
    void _check(int index);

    QList<QRadioButton*> _buttons;
};
