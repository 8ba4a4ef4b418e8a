#pragma once

#include <QList>
#include <QStringList>

#include "widgets/rm_popup.h"

class QBoxLayout;
class QLabel;
class QVBoxLayout;
class RMButton;
class RMGroupComboBox;
class RMGroupRadioButtons;

// The option lists of every on/off row: position 0 is on, 1 is off.
extern const QStringList gOnOff;
extern const QStringList gOnOffEn;

// The frame of the camera settings window: it loads (or creates) the
// settings file of the chosen disk, carries Reset, Save, OK and Cancel, and
// builds controls bound to bytes of the working record.
class RMSettingsWindowBase : public RMPopup {
    Q_OBJECT
public:
    explicit RMSettingsWindowBase(QWidget* parent);

    // Root folder of the camera disk being edited; kept between openings.
    static QString lastSettingDisk;
    // The settings file on lastSettingDisk; empty when no disk is chosen.
    static QString settingsPath();

    RMButton* resetButton() const { return _resetButton; }
    RMButton* saveButton() const { return _saveButton; }
    RMButton* acceptButton() const { return _acceptButton; }
    RMButton* rejectButton() const { return _rejectButton; }
    QLabel* modelLabel() const { return _modelLabel; }

public Q_SLOTS:
    void onDefault();
    void onSave();
    void onSaveAnAccept();
    void onCancel();
    // Escape and closing the window cancel like the Cancel button.
    void reject() override;

protected:
    QVBoxLayout* contentLayout() const { return _contentLayout; }

    RMGroupRadioButtons* _MGR(QWidget* parent, QString label, QBoxLayout* layout,
                              QStringList options, int offset, QList<int> values);
    RMGroupRadioButtons* _MGR_ONOFF(QWidget* parent, QString label, QBoxLayout* layout, int offset);
    RMGroupComboBox* _MGC(QWidget* parent, QString label, QBoxLayout* layout, QStringList options,
                          int offset, QList<int> values);

    void showEvent(QShowEvent* event) override;

private:
    void _openSettingsFile();
    void _createButtons();
    void _showModelName();
    // Saves the record; a failure is shown to the user. True when saved.
    bool _save();
    void _reportSaveFailure();
    static QString _saveFailureText();

    QVBoxLayout* _contentLayout;
    RMButton* _resetButton = nullptr;
    RMButton* _saveButton = nullptr;
    RMButton* _acceptButton = nullptr;
    RMButton* _rejectButton = nullptr;
    QLabel* _modelLabel = nullptr;
    // Creating the file on a new disk failed; told once the window shows.
    bool _creationFailed = false;
};
