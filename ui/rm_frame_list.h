#pragma once

#include "app/rm_language.h"
#include "widgets/rm_widget_style_base.h"

class QLabel;
class QShortcut;
class QVBoxLayout;
class RMButton;
class RMWidgetVideoList;

// The recording list frame: header, normal/event filter toggles, the table,
// and the Open and Backup buttons with their shortcuts (Ctrl+O, F4).
class RMFrameList : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMFrameList(QWidget* parent);

    void openFolder(QString folder);
    void refreshLanguage();

    RMWidgetVideoList* table() const { return _table; }
    RMButton* normalButton() const { return _normalButton; }
    RMButton* eventButton() const { return _eventButton; }
    RMButton* openButton() const { return _openButton; }
    RMButton* backupButton() const { return _backupButton; }
    QShortcut* backupShortcut() const { return _backupShortcut; }
    // The last folder opened that held recordings, empty before the first.
    QString openedFolder() const { return _openedFolder; }
    // What the user is told at the end of a backup.
    static QString backupSummaryText(const QString& folder, int copied, int skipped, int failed);

public Q_SLOTS:
    void onToggleGroup(bool bChecked);
    void onOpen();
    void onBackup();
    void onListUpdate(bool bLoading);
    void onItemChecked(bool bSelected);
    void onBackupStarted();
    void onBackupEnded();
    void onBackupPaused(bool bPaused);
    void onBackupFailed(QStringList files);
    void onBackupSummary(QString folder, int copied, int skipped, int failed);
    void onFolderScanned(QString folder, int count);
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    RMButton* _normalButton;
    RMButton* _eventButton;
    RMWidgetVideoList* _table;
    RMButton* _openButton;
    RMButton* _backupButton;
    QVBoxLayout* _layout;
    QLabel* _header;
    QShortcut* _backupShortcut;
    QShortcut* _openShortcut;
    // Files the running backup could not copy, shown when it ends.
    QStringList _failed;
    // The counts of the running backup, told when it ends.
    QString _summary;
    QString _openedFolder;
    // The status beside the buttons; shows what the last load left out.
    QLabel* _status;
    bool _anyChecked = false;

    void _updateBackupEnabled();
    void _showLeftOut();
};
