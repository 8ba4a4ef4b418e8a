#pragma once

#include <QString>
#include <QStringList>

#include "widgets/rm_popup.h"

class QComboBox;

// Asks which disk gets the camera settings file, among the ones the caller
// offers. The disk chosen is read by the caller once the popup has been
// accepted.
class RMPopupSelectDisk : public RMPopup {
    Q_OBJECT
public:
    RMPopupSelectDisk(QWidget* parent, const QStringList& disks);

    QString selectedDisk() const { return _selectedDisk; }
    QComboBox* diskBox() const { return _disks; }

public Q_SLOTS:
    void onDiskChanged(QString disk);

private:
    void _createContent(const QStringList& disks);
    void _createButtons();

    QString _selectedDisk;
    QComboBox* _disks = nullptr;
};
