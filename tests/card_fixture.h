#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <QtDebug>
#include <functional>

// Sample cards for the tests that drive the real main window, and a script
// for the modal dialogs such a test meets.
namespace card_fixture {

// Makes a card of short recordings with real pictures and sound.
inline bool makeCard(const QString& folder, const QStringList& options) {
    QProcess maker;
    maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                QStringList{folder, "--quiet", "--front-size", "320x180", "--rear-size", "320x180",
                            "--gop", "15"} +
                    options);
    if (!maker.waitForFinished(240000) || maker.exitCode() != 0) {
        qWarning() << "orvin-make-card failed" << maker.readAllStandardError();
        return false;
    }
    return true;
}

// A card at root/name made of some files of the card at source.
inline QString copyCard(const QString& source, const QString& root, const QString& name,
                        const QStringList& files) {
    const QString folder = root + "/" + name + "/DCIM";
    QDir().mkpath(folder);
    for (const QString& file : files) {
        QFile::copy(source + "/DCIM/" + file, folder + "/" + file);
    }
    return root + "/" + name;
}

// Answers modal dialogs in order: each step gets the active modal widget
// and returns true when it dealt with it. Modal dialogs run their own event
// loops, so the script polls from a timer that keeps firing inside them.
class ModalScript : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;
    explicit ModalScript(QList<Step> steps) : _steps(std::move(steps)) {
        _timer.setInterval(20);
        connect(&_timer, &QTimer::timeout, this, [this] { _poll(); });
        _timer.start();
    }
    bool done() const { return _steps.isEmpty(); }
    // The classes of the dialogs met, in order.
    QStringList seen;

private:
    void _poll() {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog just answered may still be closing; a later dialog may
        // reuse its address, so the guard only lasts a moment.
        if (modal == nullptr || _steps.isEmpty() || (modal == _last && _since.elapsed() < 300)) {
            return;
        }
        const QString name = modal->metaObject()->className();
        if (_steps.first()(modal)) {
            seen << name;
            _steps.removeFirst();
            _last = modal;
            _since.restart();
        }
    }

    QList<Step> _steps;
    QTimer _timer;
    QWidget* _last = nullptr;
    QElapsedTimer _since;
};

}  // namespace card_fixture
