#pragma once

#include <unistd.h>

#include <QCoreApplication>
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#endif
#include <QDir>
#include <QElapsedTimer>
#include <tuple>
#include <type_traits>
#include <QTemporaryDir>
#include <QtTest>

// Every test runs in a home of its own: HOME and the XDG folders point into
// a temporary folder, so settings, documents and locks never touch the
// developer's files and tests can run in parallel.
namespace orvin_test {

inline QTemporaryDir& home() {
    static QTemporaryDir dir;
    return dir;
}

inline void isolateHome(bool withDocuments = true) {
    const QString root = home().path();
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (root + "/.cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
    QDir().mkpath(root + "/runtime");
    QFile::setPermissions(root + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (withDocuments) {
        QDir().mkpath(root + "/Documents");
    }
    // Tests pin the locale so the automatic language is predictable.
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LC_ALL", "en_US.UTF-8");
}

// Records a signal like QSignalSpy, but through a queued connection into the
// test's thread: QSignalSpy appends on the emitting thread, which races with
// the test when a worker emits.
template <typename... Args>
class QueuedSpy : public QObject {
public:
    template <typename Sender>
    QueuedSpy(Sender* sender, void (Sender::*signal)(Args...)) {
        connect(
            sender, signal, this,
            [this](Args... args) { calls.append(std::make_tuple(std::decay_t<Args>(args)...)); },
            Qt::QueuedConnection);
    }
    int count() const { return calls.size(); }
    // Waits up to ms for one more call.
    bool wait(int ms = 10000) {
        const int before = count();
        QElapsedTimer clock;
        clock.start();
        while (count() == before && clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qSleep(1);
        }
        return count() > before;
    }
    QList<std::tuple<std::decay_t<Args>...>> calls;
};

// The web engine of the map draws in software here, and refuses to start
// as root unless its sandbox is off.
inline void setWebEngineFlags() {
    QByteArray flags = "--disable-gpu";
    if (geteuid() == 0) {
        flags += " --no-sandbox";
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

}  // namespace orvin_test

// Like QTEST_MAIN, with the home isolated before the application exists.
#define ORVIN_TEST_MAIN(TestClass)               \
    int main(int argc, char** argv) {            \
        orvin_test::isolateHome();               \
        orvin_test::setWebEngineFlags();         \
        QApplication app(argc, argv);            \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestClass test;                          \
        QTEST_SET_MAIN_SOURCE_PATH               \
        return QTest::qExec(&test, argc, argv);  \
    }

// For tests of the layers below the widgets: no display, no GUI module.
#define ORVIN_CORE_TEST_MAIN(TestClass)         \
    int main(int argc, char** argv) {           \
        orvin_test::isolateHome();              \
        QCoreApplication app(argc, argv);       \
        TestClass test;                         \
        QTEST_SET_MAIN_SOURCE_PATH              \
        return QTest::qExec(&test, argc, argv); \
    }
