#include "app/rm_application.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QtDebug>

#include "app/rm_app.h"

RMApplication* RMApplication::_instance = nullptr;

namespace {
// Bounded waits so neither process hangs on a peer that does not answer.
constexpr int kConnectWaitMs = 1000;
constexpr int kWriteWaitMs = 1000;
// One request line at most: "open " and a percent-encoded path.
constexpr qint64 kMaxRequestLine = 16384;
const QByteArray kOpenRequest = "open ";
}  // namespace

RMApplication::RMApplication(int& argc, char** argv) : QApplication(argc, argv) {
    _instance = this;
}

RMApplication::~RMApplication() {
    if (_server) {
        _server->close();
    }
    if (_lock) {
        _lock->unlock();
        delete _lock;
    }
    _instance = nullptr;
}

RMApplication* RMApplication::instance() {
    return _instance;
}

QString RMApplication::lockFilePath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    return QDir::cleanPath(dir + QDir::separator() + "orvin-viewer.lock");
}

QString RMApplication::serverName() {
    // Socket names are limited in length; a hash of the lock path keeps the
    // name short and ties it to the same place as the lock.
    const QByteArray hash =
        QCryptographicHash::hash(lockFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    return "orvin-viewer-" + QString::fromLatin1(hash.left(16));
}

bool RMApplication::lock() {
    if (_lock) {
        return true;
    }
    auto* lockFile = new QLockFile(lockFilePath());
    // Only a lock whose owner process is gone counts as stale.
    lockFile->setStaleLockTime(0);
    if (!lockFile->tryLock(0)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "lock held by another instance" << lockFilePath();
        delete lockFile;
        return false;
    }
    _lock = lockFile;
    QLocalServer::removeServer(serverName());
    _server = new QLocalServer(this);
    if (!_server->listen(serverName())) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot listen" << _server->errorString();
    }
    connect(_server, SIGNAL(newConnection()), this, SLOT(_onRaiseRequest()));
    return true;
}

void RMApplication::foregroundApplication(const QString& folder) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(kConnectWaitMs)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no running instance answers" << socket.errorString();
        return;
    }
    QByteArray request = "raise\n";
    if (!folder.isEmpty()) {
        request += kOpenRequest + QUrl::toPercentEncoding(folder) + "\n";
    }
    socket.write(request);
    socket.waitForBytesWritten(kWriteWaitMs);
    socket.disconnectFromServer();
}

void RMApplication::_onRaiseRequest() {
    while (QLocalSocket* peer = _server->nextPendingConnection()) {
        connect(peer, SIGNAL(readyRead()), this, SLOT(_onPeerData()));
        connect(peer, SIGNAL(disconnected()), this, SLOT(_onPeerDisconnected()));
        qInfo() << Q_FUNC_INFO << __LINE__ << "raise request";
        _readRequests(peer);
        QWidget* window = RMApp::instance()->mainWindow();
        if (!window) {
            continue;
        }
        if (window->isMinimized()) {
            window->showNormal();
        }
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void RMApplication::_onPeerData() {
    if (auto* peer = qobject_cast<QLocalSocket*>(sender())) {
        _readRequests(peer);
    }
}

void RMApplication::_onPeerDisconnected() {
    if (auto* peer = qobject_cast<QLocalSocket*>(sender())) {
        _readRequests(peer);
        peer->deleteLater();
    }
}

void RMApplication::_readRequests(QLocalSocket* peer) {
    while (peer->canReadLine()) {
        const QByteArray line = peer->readLine(kMaxRequestLine).trimmed();
        if (!line.startsWith(kOpenRequest)) {
            continue;
        }
        const QString folder = QUrl::fromPercentEncoding(line.mid(kOpenRequest.size()));
        // A folder that does not exist goes on too: the window says so.
        if (folder.isEmpty() || QDir::isRelativePath(folder)) {
            qInfo() << Q_FUNC_INFO << __LINE__ << "not an absolute path" << folder;
            continue;
        }
        if (activeModalWidget()) {
            qInfo() << Q_FUNC_INFO << __LINE__ << "busy, folder not opened" << folder;
            continue;
        }
        qInfo() << Q_FUNC_INFO << __LINE__ << "open request" << folder;
        Q_EMIT folderRequested(folder);
    }
}
