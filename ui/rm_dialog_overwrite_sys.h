#pragma once

#include <QDialog>

class QPushButton;

// Asks once whether saved pictures may replace files of the same names:
// Overwrite accepts; Skip and Cancel (and closing) reject.
class RMDialogOverwriteSys : public QDialog {
    Q_OBJECT
public:
    RMDialogOverwriteSys(QWidget* parent, QString fileName);

    QPushButton* skipButton() const { return _skip; }
    QPushButton* overwriteButton() const { return _overwrite; }
    QPushButton* cancelButton() const { return _cancel; }

private:
    QPushButton* _addButton(QWidget* row, const QString& text);

    QPushButton* _skip;
    QPushButton* _overwrite;
    QPushButton* _cancel;
};
