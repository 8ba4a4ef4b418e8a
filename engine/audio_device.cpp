#include "engine/audio_device.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QDebug>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// Sound buffered ahead of the card (the audio thread keeps about 200 ms).
constexpr int kRingMillis = 500;
// The card's own buffer.
constexpr int kDeviceBufferMillis = 100;
constexpr int kFeedMillis = 10;

}  // namespace

AudioDevice::AudioDevice() = default;

AudioDevice::~AudioDevice() {
    delete output_;
}

uint64_t AudioDevice::requestOpen(int sampleRate, int channels, const std::vector<int>& sinks) {
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sampleRate_ = sampleRate;
        channels_ = channels;
        sinks_ = sinks;
        opened_ = false;
        ticket = ++opens_;
    }
    QMetaObject::invokeMethod(this, "openOnDeviceThread", Qt::QueuedConnection);
    return ticket;
}

void AudioDevice::requestClose() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closedFor_ = opens_;
        opened_ = false;
        head_ = 0;
        size_ = 0;
    }
    done_.notify_all();
    QMetaObject::invokeMethod(this, "closeOnDeviceThread", Qt::QueuedConnection);
}

bool AudioDevice::waitForAnswer(uint64_t ticket, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [&] { return answered_ >= ticket || closedFor_ >= ticket; });
    return answered_ >= ticket || closedFor_ >= ticket;
}

bool AudioDevice::isOpened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

int AudioDevice::sampleRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sampleRate_;
}

int AudioDevice::channels() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_;
}

void AudioDevice::answer(uint64_t ticket, bool opened, int rate, int channels) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answered_ = ticket;
        // A close that came while the sink opened wins; its slot releases it.
        opened_ = opened && closedFor_ < ticket && opens_ == ticket;
        sampleRate_ = rate;
        channels_ = channels;
        ring_.assign(opened ? size_t(rate) * channels * 2 * kRingMillis / 1000 : 0, 0);
        head_ = 0;
        size_ = 0;
    }
    done_.notify_all();
}

void AudioDevice::openOnDeviceThread() {
    uint64_t ticket = 0;
    int rate = 0;
    int channels = 0;
    std::vector<int> sinks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ticket = opens_;
        if (answered_ == ticket || closedFor_ >= ticket) {
            return;  // an earlier call answered the newest request, or it was closed
        }
        rate = sampleRate_;
        channels = channels_;
        sinks = sinks_;
    }
    release();
    for (int sink : sinks) {
        int openedRate = rate;
        int openedChannels = channels;
        if (sink == SoundCard && openSoundCard(&openedRate, &openedChannels)) {
            startFeeding();
            answer(ticket, true, openedRate, openedChannels);
            return;
        }
        if (sink == NullSink) {
            nullSink_ = true;
            nullFedNs_ = 0;
            startFeeding();
            answer(ticket, true, rate, channels);
            return;
        }
    }
    answer(ticket, false, rate, channels);
}

bool AudioDevice::openSoundCard(int* rate, int* channels) {
#ifdef ORVIN_ENGINE_NO_SOUND_CARD
    const QAudioDeviceInfo device;
#else
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
#endif
    if (device.isNull()) {
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(*rate);
    format.setChannelCount(*channels);
    format.setSampleSize(16);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    if (!device.isFormatSupported(format)) {
        format = device.nearestFormat(format);
    }
    if (format.sampleSize() != 16 || format.sampleType() != QAudioFormat::SignedInt ||
        format.byteOrder() != QAudioFormat::LittleEndian || format.channelCount() <= 0 ||
        format.sampleRate() <= 0) {
        return false;
    }
    *rate = format.sampleRate();
    *channels = format.channelCount();
    output_ = new QAudioOutput(device, format, this);
    output_->setBufferSize(*rate * *channels * 2 * kDeviceBufferMillis / 1000);
    sink_ = output_->start();
    if (sink_ == nullptr || output_->error() != QAudio::NoError) {
        qInfo() << "AudioDevice::openSoundCard" << __LINE__ << device.deviceName()
                << output_->error();
        release();
        return false;
    }
    return true;
}

void AudioDevice::startFeeding() {
    if (timer_ == nullptr) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &AudioDevice::feed);
    }
    timer_->start(kFeedMillis);
}

void AudioDevice::release() {
    if (timer_ != nullptr) {
        timer_->stop();
    }
    nullSink_ = false;
    cardPending_.store(0);
    if (output_ != nullptr) {
        output_->stop();
        delete output_;
        output_ = nullptr;
        sink_ = nullptr;
    }
}

void AudioDevice::closeOnDeviceThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (opens_ != closedFor_) {
            return;  // an open came after the close: it replaces the sink itself
        }
    }
    release();
}

void AudioDevice::feed() {
    if (nullSink_) {
        feedNullSink();
    } else {
        feedSoundCard();
    }
}

size_t AudioDevice::takeFromRing(size_t room) {
    chunk_.resize(room);
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t capacity = ring_.size();
    const size_t want = std::min(room, size_);
    size_t taken = 0;
    while (taken < want) {
        const size_t part = std::min(want - taken, capacity - head_);
        std::memcpy(chunk_.data() + taken, ring_.data() + head_, part);
        taken += part;
        head_ = (head_ + part) % capacity;
    }
    size_ -= taken;
    consumed_.fetch_add(taken);
    return taken;
}

void AudioDevice::feedNullSink() {
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    const int64_t last = nullFedNs_ > 0 ? nullFedNs_ : now;
    nullFedNs_ = now;
    if (nullHeld_.load()) {
        return;
    }
    const int bytesPerSecond = sampleRate() * channels() * 2;
    const size_t room = size_t(double(now - last) / 1e9 * bytesPerSecond) & ~size_t(1);
    takeFromRing(room);
}

void AudioDevice::feedSoundCard() {
    if (output_ == nullptr || sink_ == nullptr) {
        return;
    }
    const int room = output_->bytesFree() & ~1;
    cardPending_.store(qMax(0, output_->bufferSize() - room));
    if (room <= 0) {
        return;
    }
    const size_t taken = takeFromRing(size_t(room));
    if (taken == 0) {
        return;
    }
    // Volume and mute act on what is played now, not on what is buffered.
    int16_t* samples = reinterpret_cast<int16_t*>(chunk_.data());
    const float volume = muted_.load() ? 0.0f : std::clamp(volume_.load(), 0.0f, 1.0f);
    if (volume < 0.999f) {
        for (size_t i = 0; i < taken / 2; ++i) {
            samples[i] = int16_t(samples[i] * volume);
        }
    }
    const qint64 written = sink_->write(chunk_.data(), qint64(taken));
    cardPending_.store(qMax(0, output_->bufferSize() - output_->bytesFree()));
    Q_UNUSED(written);
}

qint64 AudioDevice::push(const char* data, qint64 bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!opened_ || ring_.empty()) {
        return 0;
    }
    const size_t capacity = ring_.size();
    const size_t take = std::min(size_t(bytes), capacity - size_) & ~size_t(1);
    size_t tail = (head_ + size_) % capacity;
    for (size_t done = 0; done < take;) {
        const size_t part = std::min(take - done, capacity - tail);
        std::memcpy(ring_.data() + tail, data + done, part);
        done += part;
        tail = (tail + part) % capacity;
    }
    size_ += take;
    return qint64(take);
}

qint64 AudioDevice::buffered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return qint64(size_);
}

double AudioDevice::latency() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const int bytesPerSecond = sampleRate_ * channels_ * 2;
    if (!opened_ || bytesPerSecond <= 0) {
        return 0;
    }
    return double(size_ + size_t(cardPending_.load())) / bytesPerSecond;
}

void AudioDevice::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    head_ = 0;
    size_ = 0;
}
