#pragma once

#include <QApplication>
#include <QPointer>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// The application object. Besides being the QApplication it keeps the viewer
// to one running instance per user: the first process holds a lock file and
// listens on a local socket; a later process asks it to raise its window and
// hands over the folder it was started on (a file manager's "Open with").
class RMApplication : public QApplication {
    Q_OBJECT
public:
    RMApplication(int& argc, char** argv);
    ~RMApplication() override;

    static RMApplication* instance();

    // True when this process may run (it now holds the lock).
    bool lock();
    // Asks the instance that holds the lock to bring its window to the front
    // and, when folder is not empty, to open that folder.
    void foregroundApplication(const QString& folder = QString());

    // Where the lock file and the socket name are derived from; the runtime
    // folder of the user unless a caller (a test) points it elsewhere.
    static QString lockFilePath();
    static QString serverName();

Q_SIGNALS:
    // A later process asked to open this folder. Not emitted while a modal
    // window (a progress or a question) is up, as the Open button is not
    // reachable then either.
    void folderRequested(const QString& folder);

private Q_SLOTS:
    void _onRaiseRequest();
    void _onPeerData();
    void _onPeerDisconnected();

private:
    void _readRequests(QLocalSocket* peer);

    static RMApplication* _instance;
    QLockFile* _lock = nullptr;
    QLocalServer* _server = nullptr;
};
