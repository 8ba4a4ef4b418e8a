#include "engine/repaint_batch.h"

#include <QCoreApplication>
#include <algorithm>

RepaintBatch* RepaintBatch::instance() {
    static RepaintBatch* batch = new RepaintBatch;
    return batch;
}

RepaintBatch::RepaintBatch() {
    if (QCoreApplication::instance() != nullptr) {
        moveToThread(QCoreApplication::instance()->thread());
        hold_.moveToThread(QCoreApplication::instance()->thread());
    }
    hold_.setSingleShot(true);
    hold_.setTimerType(Qt::PreciseTimer);
    connect(&hold_, &QTimer::timeout, this, &RepaintBatch::flush);
}

void RepaintBatch::request(QObject* widget) {
    bool arm = false;
    bool complete = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!pending_.contains(widget)) {
            pending_.append(widget);
        }
        arm = !armed_;
        armed_ = true;
        // Every widget of the last batch is in: the others are not waited
        // for, so that a picture reaches the screen before the next is due.
        complete = !last_.isEmpty() && std::all_of(last_.begin(), last_.end(), [this](QObject* w) {
            return pending_.contains(w);
        });
    }
    if (arm) {
        QMetaObject::invokeMethod(this, "arm", Qt::QueuedConnection);
    }
    if (complete) {
        QMetaObject::invokeMethod(this, "flush", Qt::QueuedConnection);
    }
}

void RepaintBatch::cancel(QObject* widget) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.removeAll(widget);
    last_.removeAll(widget);
}

void RepaintBatch::arm() {
    bool armed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed = armed_;
    }
    if (armed) {
        hold_.start(kHoldMs);
    }
}

void RepaintBatch::flush() {
    hold_.stop();
    QVector<QObject*> widgets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        widgets.swap(pending_);
        armed_ = false;
        if (!widgets.isEmpty()) {
            last_ = widgets;
        }
    }
    if (widgets.isEmpty()) {
        return;
    }
    emit repainting();
    for (QObject* widget : widgets) {
        QMetaObject::invokeMethod(widget, "update", Qt::DirectConnection);
    }
}
