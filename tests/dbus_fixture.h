#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

// A session bus of the test's own (dbus-daemon --session).
namespace dbus_fixture {

class PrivateBus {
public:
    // Starts the daemon; address() is empty when it could not start.
    PrivateBus() {
        _daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (_daemon.waitForStarted(5000) && _daemon.waitForReadyRead(5000)) {
            _address = QString::fromUtf8(_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        _daemon.kill();
        _daemon.waitForFinished(5000);
    }
    QString address() const { return _address; }
    // A connection of its own to the bus, under name.
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(_address, name);
    }

private:
    QProcess _daemon;
    QString _address;
};

}  // namespace dbus_fixture
