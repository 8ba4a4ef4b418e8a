#include "engine/repaint_batch.h"

#include <QCoreApplication>

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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!pending_.contains(widget)) {
            pending_.append(widget);
        }
        arm = !armed_;
        armed_ = true;
    }
    if (arm) {
        QMetaObject::invokeMethod(this, "arm", Qt::QueuedConnection);
    }
}

void RepaintBatch::cancel(QObject* widget) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.removeAll(widget);
}

void RepaintBatch::arm() {
    hold_.start(kHoldMs);
}

void RepaintBatch::flush() {
    QVector<QObject*> widgets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        widgets.swap(pending_);
        armed_ = false;
    }
    emit repainting();
    for (QObject* widget : widgets) {
        QMetaObject::invokeMethod(widget, "update", Qt::DirectConnection);
    }
}
