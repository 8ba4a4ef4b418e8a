#include "engine/audio_output.h"

#include <QThread>

#include "engine/audio_device.h"

namespace {

const QString kBackend = QStringLiteral("QtMultimedia");
constexpr int kDeviceTimeoutMs = 3000;

}  // namespace

AudioOutput::AudioOutput(QObject* parent) : QObject(parent), backends_(backendsAvailable()) {}

AudioOutput::~AudioOutput() {
    close();
    if (thread_ != nullptr) {
        thread_->quit();
        thread_->wait();
        delete device_;
        delete thread_;
    }
}

QStringList AudioOutput::backendsAvailable() {
    return QStringList{kBackend};
}

void AudioOutput::setBackends(const QStringList& backends) {
    backends_ = backends;
}

QStringList AudioOutput::backends() const {
    return backends_;
}

void AudioOutput::setMute(bool mute) {
    if (mute_ == mute) {
        return;
    }
    mute_ = mute;
    if (device_ != nullptr) {
        device_->setMuted(mute);
    }
    emit muteChanged(mute);
}

bool AudioOutput::isMute() const {
    return mute_;
}

void AudioOutput::setVolume(qreal volume) {
    volume = qBound(0.0, volume, 1.0);
    if (qFuzzyCompare(volume_ + 1, volume + 1)) {
        return;
    }
    volume_ = volume;
    if (device_ != nullptr) {
        device_->setVolume(volume);
    }
    emit volumeChanged(volume);
}

qreal AudioOutput::volume() const {
    return volume_;
}

bool AudioOutput::open(int sampleRate, int channels) {
    close();
    if (!backends_.contains(kBackend) || sampleRate <= 0 || channels <= 0) {
        return false;
    }
    if (thread_ == nullptr) {
        thread_ = new QThread;
        thread_->setObjectName(QStringLiteral("audio output"));
        device_ = new AudioDevice;
        device_->moveToThread(thread_);
        thread_->start();
    }
    device_->setMuted(mute_);
    device_->setVolume(volume_);
    open_ = device_->requestOpen(sampleRate, qMin(channels, 2), kDeviceTimeoutMs);
    return open_;
}

void AudioOutput::close() {
    if (open_ && device_ != nullptr) {
        device_->requestClose(kDeviceTimeoutMs);
    }
    open_ = false;
}

int AudioOutput::sampleRate() const {
    return device_ != nullptr ? device_->sampleRate() : 0;
}

int AudioOutput::channels() const {
    return device_ != nullptr ? device_->channels() : 0;
}

qint64 AudioOutput::write(const char* data, qint64 bytes) {
    return open_ ? device_->push(data, bytes) : 0;
}

qint64 AudioOutput::bufferedBytes() const {
    return open_ ? device_->buffered() : 0;
}

void AudioOutput::clear() {
    if (device_ != nullptr) {
        device_->clear();
    }
}

double AudioOutput::latency() const {
    return open_ ? device_->latency() : 0;
}
