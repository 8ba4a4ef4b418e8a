#pragma once

#include <QApplication>
#include <QPointer>

class QLocalServer;
class QLockFile;

// The application object. Besides being the QApplication it keeps the viewer
// to one running instance per user: the first process holds a lock file and
// listens on a local socket; a later process asks it to raise its window.
class RMApplication : public QApplication {
    Q_OBJECT
public:
    RMApplication(int& argc, char** argv);
    ~RMApplication() override;

    static RMApplication* instance();

    // True when this process may run (it now holds the lock).
    bool lock();
    // Asks the instance that holds the lock to bring its window to the front.
    void foregroundApplication();

    // Where the lock file and the socket name are derived from; the runtime
    // folder of the user unless a caller (a test) points it elsewhere.
    static QString lockFilePath();
    static QString serverName();

private Q_SLOTS:
    void _onRaiseRequest();

private:
    static RMApplication* _instance;
    QLockFile* _lock = nullptr;
    QLocalServer* _server = nullptr;
};
