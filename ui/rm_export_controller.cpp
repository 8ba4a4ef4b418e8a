#include "ui/rm_export_controller.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QtDebug>

#include "app/rm_language.h"
#include "core/rm_clip_marks.h"
#include "core/rm_key_event.h"
#include "core/rm_player.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_dialog_overwrite_sys.h"
#include "ui/rm_export_task.h"
#include "ui/rm_popup_export.h"
#include "widgets/rm_button.h"
#include "widgets/title_widget.h"

RMExportController::RMExportController(QWidget* window, TitleWidget* title)
    : QObject(window), _window(window) {
    RMKeyEvent* keys = RMKeyEvent::instance();
    RMClipMarks* marks = RMClipMarks::instance();
    connect(keys, SIGNAL(markIn()), marks, SLOT(onMarkIn()));
    connect(keys, SIGNAL(markOut()), marks, SLOT(onMarkOut()));
    connect(keys, SIGNAL(exportRequested()), this, SLOT(onShowExport()));
    connect(title->exportButton(), SIGNAL(clicked()), this, SLOT(onShowExport()));
    connect(RMExportTask::instance(), &RMExportTask::finished, this,
            &RMExportController::onFinished);
}

void RMExportController::onShowExport() {
    RMLanguage* language = RMLanguage::instance();
    if (RMExportTask::instance()->isRunning()) {
        QMessageBox box(QMessageBox::Information, QString(),
                        language->text("書き出し中です。", "An export is running already."),
                        QMessageBox::Ok, _window);
        box.exec();
        return;
    }
    if (!RMPlayer::instance()->currentItem()) {
        return;  // nothing loaded: nothing to export around
    }
    RMClipMarks* marks = RMClipMarks::instance();
    RMPopupExport popup(_window, RMClipRange::sources(RMVideoFileList::instance()->allItems()),
                        marks->in(), marks->out(), RMClipMarks::now());
    if (popup.exec() != QDialog::Accepted) {
        return;
    }
    // The range exported becomes the marks ("30 s around now" sets both).
    marks->setRange(popup.rangeStart(), popup.rangeEnd());
    RMExportTask::instance()->start(popup.job());
}

QString RMExportController::_message(const RMExportResult& result) const {
    RMLanguage* language = RMLanguage::instance();
    QStringList names;
    for (const QString& file : result.files) {
        names << QFileInfo(file).fileName();
    }
    QString text = language->text("書き出しました:", "Written:") + "\n" + names.join('\n');
    if (result.leadMs > 0) {
        text += "\n\n" + language
                             ->text("キーフレームのため、開始マークの %1 秒前から始まります。",
                                    "The clip starts %1 s before the start mark, at a key "
                                    "frame.")
                             .arg(result.leadMs / 1000.0, 0, 'f', 2);
    }
    return text + "\n\n" + language->text("フォルダーを開きますか？", "Open the folder?");
}

void RMExportController::onFinished(const RMExportJob& job, const RMExportResult& result) {
    RMLanguage* language = RMLanguage::instance();
    if (!result.existing.isEmpty()) {
        RMDialogOverwriteSys ask(_window, QFileInfo(result.existing.first()).fileName());
        if (ask.exec() == QDialog::Accepted) {
            RMExportJob again = job;
            again.replace = true;
            RMExportTask::instance()->start(again);
        }
        return;
    }
    if (result.cancelled) {
        return;
    }
    if (!result.ok) {
        QMessageBox box(
            QMessageBox::Warning, QString(),
            (job.layout == RMExportJob::LAYOUT_EVIDENCE
                 ? language->text("証拠資料パックを作成できませんでした。",
                                  "The evidence pack could not be made.")
                 : language->text("書き出しに失敗しました。", "The clip could not be written.")) +
                "\n" + result.error,
            QMessageBox::Ok, _window);
        box.exec();
        return;
    }
    QMessageBox box(QMessageBox::Information, QString(), _message(result),
                    QMessageBox::Yes | QMessageBox::No, _window);
    if (box.exec() == QMessageBox::Yes) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(job.outDir));
    }
}
