#pragma once

#include <QString>

#include "widgets/rm_popup.h"

class QComboBox;

// Asks which removable disk gets the camera settings file. The disk chosen
// is read by the caller once the popup has been accepted.
class RMPopupSelectDisk : public RMPopup {
    Q_OBJECT
public:
    explicit RMPopupSelectDisk(QWidget* parent);

    QString selectedDisk() const { return _selectedDisk; }
    QComboBox* diskBox() const { return _disks; }

public Q_SLOTS:
    void onDiskChanged(QString disk);

private:
    void _createContent();
    void _createButtons();

    QString _selectedDisk;
    QComboBox* _disks = nullptr;
};
