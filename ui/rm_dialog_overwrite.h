#pragma once

#include "widgets/rm_popup.h"

class QCheckBox;

// Asks what to do with a backup target that already exists: skip it,
// overwrite it or cancel the backup, optionally for the following files too.
class RMDialogOverwrite : public RMPopup {
    Q_OBJECT
public:
    explicit RMDialogOverwrite(QWidget* parent);

    QCheckBox* applyToAll() const { return _checkBox; }
    RMButton* skipButton() const { return _skip; }
    RMButton* overwriteButton() const { return _overwrite; }
    RMButton* cancelButton() const { return _cancel; }

public Q_SLOTS:
    void onSkip();
    void onOverwrite();

private:
    void _answer(int decision);

    QCheckBox* _checkBox = nullptr;
    RMButton* _skip;
    RMButton* _overwrite;
    RMButton* _cancel;
};
