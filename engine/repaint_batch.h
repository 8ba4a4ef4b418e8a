#pragma once

#include <QObject>
#include <QTimer>
#include <QVector>
#include <mutex>

// Repaints the video outputs of all players together. A renderer that has
// received a frame asks for its repaint here (from any thread) instead of
// posting one of its own; the first request arms a short hold on the GUI
// thread, and when it ends, or as soon as every widget of the last batch has
// asked again, every widget asked for by then is updated at once, in the
// order of the requests. Frames that players present for the same
// moment (one shared clock) thus reach the screen in one paint of the window
// instead of one after the other: the panes stay in step and the window is
// composed once per frame instead of once per pane. Just before the updates
// it emits repainting(), so that what else follows the playback (a player's
// position report moving a slider) is painted in the same paint.
//
// The widgets are QObjects with an update() slot; the batch needs no
// widgets library.
class RepaintBatch : public QObject {
    Q_OBJECT
public:
    // The one batch, made on first use; it lives on the GUI thread.
    static RepaintBatch* instance();

    // How long the first request waits for the others.
    static constexpr int kHoldMs = 6;

    // Asks for an update() of `widget`; any thread.
    void request(QObject* widget);
    // Forgets `widget` (GUI thread, before the widget goes).
    void cancel(QObject* widget);

signals:
    // On the GUI thread, before the widgets of a batch are updated.
    void repainting();

private slots:
    void arm();
    void flush();

private:
    RepaintBatch();

    std::mutex mutex_;
    QVector<QObject*> pending_;  // guarded by mutex_
    QVector<QObject*> last_;     // guarded by mutex_: the widgets of the last batch
    bool armed_ = false;         // guarded by mutex_: a hold is posted or running
    QTimer hold_;                // GUI thread only
};
