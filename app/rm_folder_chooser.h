#pragma once

#include <QList>
#include <QString>
#include <QUrl>

class QFileDialog;
class QWidget;

// The folder chooser: the desktop's own where the platform theme offers one,
// otherwise Qt's dialog, in the interface language, opening in the folder
// given (or the nearest folder above it that exists), with only places that
// exist in its side bar and room for its columns.
class RMFolderChooser {
public:
    static QString choose(QWidget* parent, const QString& startDir, const QString& caption);

    // The folder a chooser opens in: startDir, else its nearest existing
    // ancestor, else the home folder.
    static QString startFolder(const QString& startDir);
    // The side bar's places: home, documents, desktop, the removable media
    // folders and the start folder, each only when it exists.
    static QList<QUrl> places(const QString& startDir);

private:
    static void _prepare(QFileDialog& dialog, const QString& startDir);
};
