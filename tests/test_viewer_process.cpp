// The viewer as a process: it starts despite bad surroundings, a second
// process raises the first one's window (handing over its folder) and exits
// with -42, and --help and --version answer without a display and beside a
// running viewer.
#include <QProcess>

#include "app/version.h"
#include "test_support.h"

class TestViewerProcess : public QObject {
    Q_OBJECT

    QString viewer() const { return qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-viewer"; }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LOGGING_RULES", "*.info=true");
        return env;
    }

    // Starts the viewer in its own home and tells whether it is still running
    // after a while (a crash or an early exit ends it sooner).
    bool startsIn(const QString& home) {
        QProcessEnvironment env = environment();
        env.insert("HOME", home);
        env.insert("XDG_RUNTIME_DIR", home + "/runtime");
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        QDir().mkpath(home + "/runtime");
        QFile::setPermissions(home + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
        QProcess viewerProcess;
        viewerProcess.setProcessEnvironment(env);
        viewerProcess.start(viewer(), QStringList());
        if (!viewerProcess.waitForStarted()) {
            return false;
        }
        const bool running = !viewerProcess.waitForFinished(2500);
        viewerProcess.kill();
        viewerProcess.waitForFinished(5000);
        return running;
    }

    // Runs the viewer on the test display and gives its exit code.
    int exitCodeOf(const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(viewer(), arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
            return -1000;
        }
        return process.exitCode();
    }

    // Runs the viewer with no display to connect to: anything that makes an
    // application object or a window fails.
    int runWithoutDisplay(const QStringList& arguments, QByteArray* out) {
        QProcessEnvironment env = environment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(viewer(), arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
            return -1000;
        }
        *out = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1001;
    }

private Q_SLOTS:
    void helpAndVersionAnswerWithoutWindowBesideARunningViewer() {
        if (!QFileInfo::exists(viewer())) {
            QSKIP("viewer not built");
        }
        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(viewer(), QStringList());
        QVERIFY(first.waitForStarted());
        const QString lock = orvin_test::home().path() + "/runtime/orvin-viewer.lock";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 10000);

        QByteArray out;
        QCOMPARE(runWithoutDisplay({"--version"}, &out), 0);
        QCOMPARE(out, QByteArray("orvin-viewer " ORVIN_VERSION "\n"));
        QCOMPARE(runWithoutDisplay({"/no/such/folder", "--help"}, &out), 0);
        QVERIFY2(out.startsWith("usage: orvin-viewer [FOLDER]\n"), out.constData());
        QVERIFY(out.contains("--version"));
        QCOMPARE(runWithoutDisplay({"-h"}, &out), 0);
        QVERIFY(out.startsWith("usage: orvin-viewer"));

        // After "--" the words are no options; the running viewer is asked to
        // come forward instead.
        QCOMPARE(static_cast<qint8>(exitCodeOf({"--", "--version"})), static_cast<qint8>(-42));
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(5000));
    }

    void startsWithBadSurroundings() {
        if (!QFileInfo::exists(viewer())) {
            QSKIP("viewer not built");
        }
        // No Documents folder at all.
        const QString bare = orvin_test::home().path() + "/bare";
        QDir().mkpath(bare);
        QVERIFY(startsIn(bare));
        QVERIFY(!QDir(bare + "/Documents").exists());

        // A settings file that cannot be read (a folder in its place).
        const QString broken = orvin_test::home().path() + "/broken";
        QDir().mkpath(broken + "/Documents/Orvin Video PlayerDoc/viewersetup/conf.ini");
        QVERIFY(startsIn(broken));
        QVERIFY(QDir(broken + "/Documents/Orvin Video PlayerDoc/report").exists());
    }

    void secondProcessExitsWithMinus42() {
        if (!QFileInfo::exists(viewer())) {
            QSKIP("viewer not built");
        }
        QProcess first;
        first.setProcessEnvironment(environment());
        first.setProcessChannelMode(QProcess::MergedChannels);
        first.start(viewer(), QStringList());
        QVERIFY(first.waitForStarted());
        // The first process owns the lock once its lock file exists.
        const QString lock = orvin_test::home().path() + "/runtime/orvin-viewer.lock";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 10000);
        QTest::qWait(500);

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(viewer(), QStringList());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(static_cast<qint8>(second.exitCode()), static_cast<qint8>(-42));

        // The first one was asked to come to the front and still runs.
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += first.readAll()).contains("raise request"), 5000);
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(!output.contains("open request"));

        // A later start on a folder (a file manager's "Open with") hands the
        // folder to the running viewer, whatever the later one's directory.
        const QString folder = orvin_test::home().path() + "/card with spaces\n%2F";
        QVERIFY(QDir().mkpath(folder));
        QProcess opener;
        opener.setProcessEnvironment(environment());
        opener.setWorkingDirectory(orvin_test::home().path());
        opener.start(viewer(), {QFileInfo(folder).fileName()});
        QVERIFY(opener.waitForFinished(10000));
        QCOMPARE(static_cast<qint8>(opener.exitCode()), static_cast<qint8>(-42));
        QTRY_VERIFY_WITH_TIMEOUT((output += first.readAll()).contains("open request"), 5000);
        QString logged;
        QDebug(&logged) << folder;
        QVERIFY2(output.contains(logged.trimmed().toUtf8()), output.constData());
        first.terminate();
        QVERIFY(first.waitForFinished(5000));

        // With the first one gone, a new start takes the lock again.
        QProcess third;
        third.setProcessEnvironment(environment());
        third.start(viewer(), QStringList());
        QVERIFY(third.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(third.state(), QProcess::Running);
        third.kill();
        third.waitForFinished(5000);
    }
};

ORVIN_TEST_MAIN(TestViewerProcess)
#include "test_viewer_process.moc"
