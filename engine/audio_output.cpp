#include "engine/audio_output.h"

#include <QThread>

#include "engine/audio_device.h"

namespace {

const QString kBackend = QStringLiteral("QtMultimedia");
const QString kNullBackend = QStringLiteral("Null");

}  // namespace

AudioOutput::AudioOutput(QObject* parent) : QObject(parent), backends_{kBackend} {}

AudioOutput::~AudioOutput() {
    close();
    // The queued close may not run before the thread ends; the device's
    // destructor releases the card then.
    if (thread_ != nullptr) {
        thread_->quit();
        thread_->wait();
        delete device_;
        delete thread_;
    }
}

QStringList AudioOutput::backendsAvailable() {
    return QStringList{kBackend, kNullBackend};
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
    std::vector<int> sinks;
    for (const QString& backend : backends_) {
        if (backend == kBackend) {
            sinks.push_back(AudioDevice::SoundCard);
        } else if (backend == kNullBackend) {
            sinks.push_back(AudioDevice::NullSink);
        }
    }
    if (sinks.empty() || sampleRate <= 0 || channels <= 0) {
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
    device_->holdNullSink(nullHeld_);
    writtenSinceClear_.store(0);
    ticket_.store(device_->requestOpen(sampleRate, qMin(channels, 2), sinks));
    requested_.store(true);
    return true;
}

void AudioOutput::close() {
    if (requested_.exchange(false) && device_ != nullptr) {
        device_->requestClose();
    }
}

bool AudioOutput::isOpen() const {
    return requested_.load() && device_ != nullptr && device_->isOpened();
}

bool AudioOutput::waitForDevice(int timeoutMs) const {
    return requested_.load() && device_ != nullptr &&
           device_->waitForAnswer(ticket_.load(), timeoutMs);
}

int AudioOutput::sampleRate() const {
    return device_ != nullptr ? device_->sampleRate() : 0;
}

int AudioOutput::channels() const {
    return device_ != nullptr ? device_->channels() : 0;
}

qint64 AudioOutput::write(const char* data, qint64 bytes) {
    if (!requested_.load() || device_ == nullptr) {
        return 0;
    }
    const qint64 taken = device_->push(data, bytes);
    writtenSinceClear_.fetch_add(taken);
    return taken;
}

qint64 AudioOutput::bufferedBytes() const {
    return requested_.load() && device_ != nullptr ? device_->buffered() : 0;
}

void AudioOutput::clear() {
    if (device_ != nullptr) {
        device_->clear();
    }
    writtenSinceClear_.store(0);
}

double AudioOutput::latency() const {
    return requested_.load() && device_ != nullptr ? device_->latency() : 0;
}

quint64 AudioOutput::consumedBytes() const {
    return device_ != nullptr ? device_->consumed() : 0;
}

void AudioOutput::holdNullSink(bool hold) {
    nullHeld_ = hold;
    if (device_ != nullptr) {
        device_->holdNullSink(hold);
    }
}
