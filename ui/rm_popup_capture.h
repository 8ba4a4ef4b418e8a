#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "widgets/rm_popup.h"

class QLineEdit;
class RMPathField;

// Saves the pictures of a capture under a name the user chooses, in a folder
// the user chooses: NAME_Front.jpg and NAME_Rear.jpg (in Japanese, the
// Japanese labels). Existing files are replaced only after one confirmation
// for the whole set, and a picture leaves the working folder only once its
// copy is safely in place.
class RMPopupCapture : public RMPopup {
    Q_OBJECT
public:
    // `files` are the captured pictures in the working folder; the caller
    // keeps ownership of the list.
    RMPopupCapture(QWidget* parent, QList<QString>* files);

    // Moves every picture to its target; false when any could not be saved
    // (that picture stays in the working folder, and the user is told).
    bool saveFiles();
    // The pictures the last saveFiles() put in place.
    QStringList savedFiles() const { return _saved; }

    QLineEdit* nameEdit() const { return _name; }
    RMPathField* folderEdit() const { return _folder; }
    RMButton* changeButton() const { return _change; }
    RMButton* saveButton() const { return _save; }
    RMButton* cancelButtonOfPopup() const { return _cancel; }
    // Where a captured file goes under the current name and folder.
    QString targetFor(const QString& capturedFile) const;
    // The name proposed for a captured file: its date part.
    static QString proposedName(const QString& capturedFile);
    // Deletes a picture of the working folder, read-only or not.
    static void removeWorkingFile(const QString& file);
    // Tells the user that the pictures could not be saved.
    static void showSaveFailed(QWidget* parent);

public Q_SLOTS:
    void onOK();
    void onChangeFolder();

private:
    bool _isFileExist() const;
    // An empty name or one with a path separator cannot name a file here.
    bool _checkName();
    static void _warn(QWidget* parent, const QString& text);

    QList<QString>* _files;
    QStringList _saved;
    QLineEdit* _name;
    RMPathField* _folder;
    RMButton* _change;
    RMButton* _save;
    RMButton* _cancel;
};
