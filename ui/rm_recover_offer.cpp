#include "ui/rm_recover_offer.h"

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>
#include <QWidget>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "recordings/rm_video_file_list.h"
#include "recovery/rm_recover_output.h"
#include "recovery/rm_recovery.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_popup_message.h"

std::atomic<bool> RMRecoverOffer::_cancel{false};
bool RMRecoverOffer::_recovering = false;

namespace {
// The progress popup's scale.
const int kProgressMaximum = 364;

QString text(const QString& japanese, const QString& english) {
    return RMLanguage::instance()->text(japanese, english);
}
}  // namespace

RMRecoverOffer::RMRecoverOffer(QWidget* window, OpenFolder openFolder)
    : QObject(window), _window(window), _openFolder(openFolder) {
    RMVideoFileList* list = RMVideoFileList::instance();
    connect(list, SIGNAL(folderScanned(QString, int)), this, SLOT(onFolderScanned(QString, int)));
    connect(list, SIGNAL(listUpdateEnd(bool)), this, SLOT(onListUpdateEnd(bool)));
    connect(list, SIGNAL(backupEnd()), this, SLOT(onBackupEnd()));
    connect(RMApp::instance(), &RMApp::appEvent, this,
            [this](RMApp::Event event) { onAppEvent(int(event)); });
}

void RMRecoverOffer::onFolderScanned(QString folder, int) {
    _folder = folder;
}

// Once the list is loaded, the folder is looked through on the pool: the
// files' top-level boxes tell which recordings were cut off.
void RMRecoverOffer::onListUpdateEnd(bool loading) {
    if (!loading || _folder.isEmpty() || _busy) {
        return;
    }
    const QString folder = _folder;
    _folder.clear();
    _busy = true;
    QPointer<RMRecoverOffer> self(this);
    QThreadPool::globalInstance()->start([self, folder]() {
        const QStringList cut = RMRecovery::cutOffFiles(folder);
        if (self) {
            QMetaObject::invokeMethod(
                self.data(), [self, cut]() { self->_scanned(cut); }, Qt::QueuedConnection);
        }
    });
}

void RMRecoverOffer::_scanned(const QStringList& cut) {
    if (cut.isEmpty()) {
        _busy = false;
        emit finished();
        return;
    }
    const QString question =
        text(QString("電源が切れて途切れた録画が %1 件あります。\n復元しますか？").arg(cut.size()),
             QString("%1 recording(s) on this card were cut off by a power loss.\n"
                     "Recover them?")
                 .arg(cut.size()));
    // One long task owns the progress popup at a time: during a backup the
    // recovery waits for its end, and the question says so.
    const bool backingUp = RMVideoFileList::instance()->isBackupRunning();
    const QString wait = backingUp ? "\n" + text("バックアップが終わってから復元します。",
                                                 "The recovery starts when the backup ends.")
                                   : QString();
    if (!_askUser(text("録画の復元", "Recover recordings"), question + wait)) {
        _busy = false;
        emit finished();
        return;
    }
    if (RMVideoFileList::instance()->isBackupRunning()) {
        _waiting = cut;
        return;  // onBackupEnd starts it
    }
    _recover(cut);
}

void RMRecoverOffer::onBackupEnd() {
    if (_waiting.isEmpty() || RMVideoFileList::instance()->isBackupRunning()) {
        return;
    }
    const QStringList files = _waiting;
    _waiting.clear();
    // After the backup's own end handler has let go of the popup.
    QMetaObject::invokeMethod(
        this, [this, files]() { _recover(files); }, Qt::QueuedConnection);
}

// Closing the viewer cancels a recovery, whose temporary file then goes;
// one waiting for a backup is dropped.
void RMRecoverOffer::onAppEvent(int event) {
    if (event == RMApp::EVENT_APP_CLOSING) {
        _cancel = true;
        _waiting.clear();
    }
}

void RMRecoverOffer::_onCancel() {
    _cancel = true;
}

void RMRecoverOffer::_recover(const QStringList& files) {
    _target = RMRecovery::recoveredFolder(files.first());
    _cancel = false;
    _recovering = true;
    RMDialogProgress::start(text("録画を復元しています", "Recovering recordings"), true);
    RMDialogProgress::setCancelHandler(&RMRecoverOffer::_onCancel);
    QPointer<RMRecoverOffer> self(this);
    const QString target = _target;
    QThreadPool::globalInstance()->start([self, files, target]() {
        // Outputs a crash or a pulled card left half-written.
        RMRecoverOutput::removeLeftovers(target);
        QStringList problems;
        int recovered = 0;
        bool cancelled = false;
        for (int i = 0; i < files.size() && !cancelled; ++i) {
            RMRecovery recovery;
            const RMRecovery::Result r = recovery.recover(
                files[i], QString(), target, false, [&](qint64 done, qint64 total) {
                    const int value = int((i + double(done) / qMax<qint64>(1, total)) /
                                          files.size() * kProgressMaximum);
                    QMetaObject::invokeMethod(
                        qApp,
                        [value]() {
                            if (RMDialogProgress::current()) {
                                RMDialogProgress::current()->onUpdateValue(value);
                            }
                        },
                        Qt::QueuedConnection);
                    return !_cancel;
                });
            cancelled = r.cancelled;
            recovered += r.recovered ? 1 : 0;
            if (!r.recovered && !r.cancelled) {
                problems << r.message;
            }
        }
        if (self) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, problems, recovered, cancelled]() {
                    self->_recovered(problems, recovered, cancelled);
                },
                Qt::QueuedConnection);
        }
    });
}

void RMRecoverOffer::_recovered(const QStringList& problems, int recovered, bool cancelled) {
    RMDialogProgress::setCancelHandler(nullptr);
    RMDialogProgress::stop();
    _recovering = false;
    _busy = false;
    const QString title = text("録画の復元", "Recover recordings");
    QString report;
    if (cancelled) {
        report = text("復元を中止しました。", "The recovery was cancelled.") + "\n";
    }
    if (!problems.isEmpty()) {
        report += text("復元できなかった録画があります:", "Some recordings were not recovered:") +
                  "\n" + problems.join('\n') + "\n";
    }
    if (recovered == 0) {
        _tell(title, report.isEmpty() ? text("復元できませんでした。", "Nothing was recovered.")
                                      : report.trimmed());
        emit finished();
        return;
    }
    report += text(QString("%1 件の録画を %2 に復元しました。\nそのフォルダーを開きますか？"),
                   QString("%1 recording(s) recovered to %2.\nOpen that folder?"))
                  .arg(recovered)
                  .arg(QDir::toNativeSeparators(_target));
    if (_askUser(title, report) && _openFolder) {
        _openFolder(_target);
    }
    emit finished();
}

bool RMRecoverOffer::_askUser(const QString& title, const QString& question) {
    if (_ask) {
        return _ask(title, question);
    }
    RMPopupMessage popup(_window, title, question);
    connect(popup.addPopupButton(text("キャンセル", "Cancel")), SIGNAL(clicked()), &popup,
            SLOT(reject()));
    return popup.exec() == QDialog::Accepted;
}

void RMRecoverOffer::_tell(const QString& title, const QString& message) {
    if (_ask) {
        _ask(title, message);
        return;
    }
    RMPopupMessage(_window, title, message).exec();
}
