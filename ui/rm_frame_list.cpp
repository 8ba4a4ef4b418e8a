#include "ui/rm_frame_list.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/rm_app.h"
#include "app/rm_settings.h"
#include "backup/rm_overwrite.h"
#include "backup/rm_video_file_list_backup.h"
#include "core/rm_key_event.h"
#include "core/rm_player.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_file_list_loader.h"
#include "ui/rm_dialog_overwrite.h"
#include "ui/rm_recover_offer.h"
#include "ui/rm_widget_video_list.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_popup_message.h"

namespace {
QShortcut* addShortcut(const QKeySequence& key, QObject* receiver, const char* slot) {
    QWidget* window = RMApp::instance()->mainWindow();
    auto* shortcut = new QShortcut(key, window ? window : qobject_cast<QWidget*>(receiver));
    shortcut->setContext(Qt::ApplicationShortcut);
    QObject::connect(shortcut, SIGNAL(activated()), receiver, slot);
    return shortcut;
}
}  // namespace

RMFrameList::RMFrameList(QWidget* parent) : RMWidgetStyleBase(parent, QString(), false) {
    setObjectName("all_border");
    setFixedHeight(362);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(1, 1, 1, 1);
    _layout->setSpacing(0);
    _layout->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    _header = new QLabel(this);
    _header->setFixedHeight(41);
    _layout->addWidget(_header);

    auto* groups = new QHBoxLayout();
    groups->setContentsMargins(0, 0, 0, 0);
    groups->setSpacing(0);
    _normalButton = RMButton::create(this, groups, "group_normal", QString(), QSize(169, 33));
    _eventButton = RMButton::create(this, groups, "group_event", QString(), QSize(169, 33));
    for (RMButton* button : {_normalButton, _eventButton}) {
        button->setCheckable(true);
        button->setEnabled(false);
        connect(button, SIGNAL(toggled(bool)), this, SLOT(onToggleGroup(bool)));
    }
    _layout->addLayout(groups);

    _table = new RMWidgetVideoList(this);
    _table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    _layout->addWidget(_table);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    _openButton = RMButton::create(this, buttons, "open", "ファイルを開く", QSize(113, 30));
    RMLanguage::instance()->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP,
                                   _openButton, "Open files");
    _backupButton = RMButton::create(this, buttons, "backup", QString(), QSize(112, 30));
    _backupButton->setEnabled(false);
    _status = new QLabel(this);
    _status->setObjectName("list_status");
    _status->setFixedSize(115, 30);
    _status->setAlignment(Qt::AlignCenter);
    _status->setPixmap(QPixmap(":/image/list_file_unused.png").scaled(115, 30));
    buttons->addWidget(_status);
    _layout->addLayout(buttons);
    connect(_openButton, SIGNAL(clicked()), this, SLOT(onOpen()));
    connect(_backupButton, SIGNAL(clicked()), this, SLOT(onBackup()));

    _openShortcut = addShortcut(QKeySequence(Qt::CTRL + Qt::Key_O), this, SLOT(onOpen()));
    _backupShortcut = addShortcut(QKeySequence(Qt::Key_F4), this, SLOT(onBackup()));
    _backupShortcut->setEnabled(false);

    refreshLanguage();
    RMVideoFileList* list = RMVideoFileList::instance();
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    connect(list, SIGNAL(listUpdateEnd(bool)), this, SLOT(onListUpdate(bool)));
    connect(list, SIGNAL(backupPaused(bool)), this, SLOT(onBackupPaused(bool)));
    connect(list, SIGNAL(backupStarted()), this, SLOT(onBackupStarted()));
    connect(list, SIGNAL(backupEnd()), this, SLOT(onBackupEnded()));
    connect(list, SIGNAL(backupFailed(QStringList)), this, SLOT(onBackupFailed(QStringList)));
    connect(list, SIGNAL(backupSummary(QString, int, int, int)), this,
            SLOT(onBackupSummary(QString, int, int, int)));
    connect(list, SIGNAL(folderScanned(QString, int)), this, SLOT(onFolderScanned(QString, int)));
    connect(_table, SIGNAL(itemChecked(bool)), this, SLOT(onItemChecked(bool)));
}

void RMFrameList::refreshLanguage() {
    const QString suffix = RMLanguage::instance()->isJapanese() ? "" : "_en";
    _header->setPixmap(QPixmap(":/image/title_list" + suffix + ".png"));
    _normalButton->updateObject("group_normal" + suffix);
    _eventButton->updateObject("group_event" + suffix);
    _openButton->updateObject("open" + suffix);
    _backupButton->updateObject("backup" + suffix);
    _table->onLanguageChange(RMLanguage::instance()->language());
}

void RMFrameList::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    refreshLanguage();
}

void RMFrameList::onToggleGroup(bool bChecked) {
    if (sender() == _normalButton) {
        RMVideoFileList::instance()->setFilter(FILTER_NORMAL, bChecked);
    } else if (sender() == _eventButton) {
        RMVideoFileList::instance()->setFilter(FILTER_EVENT, bChecked);
    }
}

void RMFrameList::onListUpdate(bool bLoading) {
    if (!bLoading) {
        return;
    }
    _showLeftOut();
    const bool any = !RMVideoFileList::instance()->allItems().isEmpty();
    for (RMButton* button : {_normalButton, _eventButton}) {
        // Set the state quietly: toggled() would apply the filter again.
        const bool blocked = button->blockSignals(true);
        button->setEnabled(any);
        button->setChecked(any);
        button->blockSignals(blocked);
    }
}

// The status beside the buttons: how many files the last load left out or
// found cut off; the tooltip names them with the reason, up to 20.
void RMFrameList::_showLeftOut() {
    const RMVideoFileList* list = RMVideoFileList::instance();
    const QStringList& leftOut = list->lastLeftOutFiles();
    const QStringList& cut = list->lastCutOff();
    if (leftOut.isEmpty() && cut.isEmpty()) {
        _status->setToolTip(QString());
        _status->setPixmap(QPixmap(":/image/list_file_unused.png").scaled(115, 30));
        return;
    }
    RMLanguage* language = RMLanguage::instance();
    const int count = leftOut.size();
    _status->setText(count > 0 ? language->text(QString("%1 件除外").arg(count),
                                                QString("%1 left out").arg(count))
                               : language->text(QString("途切れ %1 件").arg(cut.size()),
                                                QString("%1 cut off").arg(cut.size())));
    QStringList lines;
    if (count > 0) {
        lines << language->text(QString("%1 個のファイルを一覧に入れませんでした。").arg(count),
                                QString("%1 files were left out of the list.").arg(count));
    }
    QStringList named = cut;
    for (const QString& path : leftOut) {
        if (!cut.contains(path)) {
            named << path;
        }
    }
    const int kMaxNamed = 20;
    for (int i = 0; i < named.size() && i < kMaxNamed; ++i) {
        const QString& path = named[i];
        const QString reason =
            cut.contains(path)
                ? language->text("途中で切れた録画 (インデックスなし)", "cut off, no index")
                : language->text("再生できる録画ではありません", "not a recording that plays");
        lines << QDir::toNativeSeparators(path) + ": " + reason;
    }
    if (named.size() > kMaxNamed) {
        const int more = named.size() - kMaxNamed;
        lines << language->text(QString("ほか %1 個").arg(more), QString("and %1 more").arg(more));
    }
    _status->setToolTip(lines.join("\n"));
}

void RMFrameList::onOpen() {
    if (RMKeyEvent::instance()->isKeyHeld()) {
        return;
    }
    RMLanguage* language = RMLanguage::instance();
    const QString folder =
        RMApp::openFolder(RMSettings::instance()->lastMoviePath(), true,
                          language->text("録画ファイルがあるフォルダ選択", "Open Folder"));
    if (!folder.isEmpty()) {
        openFolder(folder);
    }
}

void RMFrameList::openFolder(QString folder) {
    // The scan runs on the loader's thread; the folder is remembered when it
    // held recordings (onFolderScanned).
    RMVideoFileListLoader::startForFolder(folder);
}

void RMFrameList::onFolderScanned(QString folder, int count) {
    if (count > 0) {
        _openedFolder = folder;
        RMSettings::instance()->setLastMoviePath(folder);
        return;
    }
    // The list stays as it was; say why nothing changed.
    RMNotice::post(window(),
                   RMLanguage::instance()->text("このフォルダーに録画ファイルがありません。",
                                                "No recordings in this folder.") +
                       "\n" + QDir::toNativeSeparators(folder));
}

void RMFrameList::onBackup() {
    if (RMKeyEvent::instance()->isKeyHeld() || !_backupButton->isEnabled()) {
        return;
    }
    RMPlayer::instance()->prepareForCapture();
    RMLanguage* language = RMLanguage::instance();
    RMSettings* settings = RMSettings::instance();
    const QString folder = RMApp::openFolder(settings->lastBackupTargetPath(), true,
                                             language->text("MP4 保存", "Backup MP4 files"));
    if (folder.isEmpty()) {
        return;
    }
    settings->setLastBackupTargetPath(folder);
    // A recovery that started while the folder was being chosen owns the
    // progress popup and its Cancel button until it ends.
    if (RMRecoverOffer::isRecovering()) {
        RMPopupMessage(RMApp::instance()->mainWindow(), language->text("注意", "Error"),
                       language->text("録画の復元中です。復元が終わってから"
                                      "バックアップしてください。",
                                      "Recordings are being recovered.\n"
                                      "Start the backup when the recovery has ended."))
            .exec();
        return;
    }
    QString refusal;
    if (RMVideoFileListBackup::start(folder, &refusal)) {
        _updateBackupEnabled();
    } else if (!refusal.isEmpty()) {
        RMPopupMessage(RMApp::instance()->mainWindow(), language->text("注意", "Error"),
                       language->text("選んだフォルダーは録画ファイルのあるフォルダーです。\n"
                                      "別のフォルダーを選んでください。",
                                      "The chosen folder holds the recordings themselves.\n"
                                      "Choose another folder for the backup.") +
                           "\n" + QDir::toNativeSeparators(refusal))
            .exec();
    }
}

void RMFrameList::onItemChecked(bool bSelected) {
    _anyChecked = bSelected;
    _updateBackupEnabled();
}

// One backup at a time: the button and F4 rest while one runs.
void RMFrameList::_updateBackupEnabled() {
    const bool enabled = _anyChecked && !RMVideoFileList::instance()->isBackupRunning();
    _backupButton->setEnabled(enabled);
    _backupShortcut->setEnabled(enabled);
}

void RMFrameList::onBackupStarted() {
    _updateBackupEnabled();
    RMDialogProgress::setCancelHandler(RMOverwrite::requestCancel);
    RMDialogProgress* progress = RMDialogProgress::start(
        RMLanguage::instance()->text("バックアップ中", "Backup files..."), true);
    connect(RMVideoFileList::instance(), SIGNAL(updateProgress(int)), progress,
            SLOT(onUpdateValue(int)));
}

void RMFrameList::onBackupEnded() {
    _updateBackupEnabled();
    QApplication::restoreOverrideCursor();
    RMDialogProgress::stop();
    RMDialogProgress::setCancelHandler(nullptr);
    const QString summary = _summary;
    _summary.clear();
    if (_failed.isEmpty()) {
        if (!summary.isEmpty()) {
            RMNotice::post(window(), summary);
        }
        return;
    }
    RMLanguage* language = RMLanguage::instance();
    QString text =
        language->text("次のファイルはコピーできませんでした。", "These files were not copied:") +
        "\n" + _failed.join("\n");
    if (!summary.isEmpty()) {
        text = summary + "\n\n" + text;
    }
    _failed.clear();
    RMPopupMessage message(RMApp::instance()->mainWindow(), language->text("注意", "Error"), text);
    message.exec();
}

void RMFrameList::onBackupPaused(bool bPaused) {
    RMDialogProgress* progress = RMDialogProgress::current();
    if (!bPaused) {
        if (progress) {
            progress->show();
        }
        return;
    }
    if (progress) {
        progress->hide();
    }
    RMDialogOverwrite question(RMApp::instance()->mainWindow());
    if (question.exec() != QDialog::Accepted) {
        // Closed without an answer: the backup stops.
        RMOverwrite::answer(RMOverwrite::OVERWRITE_CANCEL);
    }
}

void RMFrameList::onBackupFailed(QStringList files) {
    _failed = files;
}

QString RMFrameList::backupSummaryText(const QString& folder, int copied, int skipped, int failed) {
    const QString where = QDir::toNativeSeparators(folder);
    QString text = RMLanguage::instance()->text(
        QString("%1 個のファイルを %2 にバックアップしました。").arg(copied).arg(where),
        QString("%1 files backed up to %2").arg(copied).arg(where));
    if (skipped > 0 || failed > 0) {
        text += RMLanguage::instance()->text(
            QString("\n(スキップ %1 件、失敗 %2 件)").arg(skipped).arg(failed),
            QString("\n(%1 skipped, %2 failed)").arg(skipped).arg(failed));
    }
    return text;
}

void RMFrameList::onBackupSummary(QString folder, int copied, int skipped, int failed) {
    _summary = backupSummaryText(folder, copied, skipped, failed);
}
