#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <functional>

class QWidget;

// After a folder is opened: names the recordings on it that a power loss cut
// off and offers to recover them; the recovery runs on the thread pool
// behind the progress popup, which can cancel it (or, while a backup owns
// the popup, after that backup); then it offers to open the folder of
// recovered recordings. Closing the viewer cancels it.
class RMRecoverOffer : public QObject {
    Q_OBJECT
public:
    using OpenFolder = std::function<void(const QString& folder)>;
    // Answers a yes-or-no question; the popup by default (tests answer it).
    using Ask = std::function<bool(const QString& title, const QString& text)>;

    RMRecoverOffer(QWidget* window, OpenFolder openFolder);
    void setAsk(Ask ask) { _ask = ask; }
    // Whether a recovery runs and owns the progress popup (GUI thread): a
    // backup asked for meanwhile is refused, as an accepted offer waits
    // for a backup.
    static bool isRecovering() { return _recovering; }

public Q_SLOTS:
    void onFolderScanned(QString folder, int count);
    void onListUpdateEnd(bool loading);
    void onBackupEnd();
    void onAppEvent(int event);

Q_SIGNALS:
    // The offer is done with a folder: nothing cut off, declined or recovered.
    void finished();

private:
    void _scanned(const QStringList& cut);
    void _recover(const QStringList& files);
    void _recovered(const QStringList& problems, int recovered, bool cancelled);
    bool _askUser(const QString& title, const QString& text);
    void _tell(const QString& title, const QString& text);
    static void _onCancel();

    QWidget* _window;
    OpenFolder _openFolder;
    Ask _ask;
    QString _folder;  // the folder being loaded (GUI thread)
    QString _target;  // where the recordings go (GUI thread)
    bool _busy = false;
    QStringList _waiting;              // accepted, to start when the backup ends (GUI thread)
    static std::atomic<bool> _cancel;  // set by the progress popup, read by the worker
    static bool _recovering;           // GUI thread
};
