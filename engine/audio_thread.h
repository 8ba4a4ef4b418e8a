#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "engine/playback_context.h"

class AVClock;
class AudioOutput;
struct AVFrame;
struct SwrContext;

// Decodes the audio packets of a player and hands the sound to its output in
// step with the master clock: it never runs more than a short lead ahead of
// the clock, drops sound that is already late, and drops everything while the
// speed is not 1 or when no sound card is open. The clock never follows the
// sound card, so playback goes on the same with or without one; a card that
// stops taking sound for kStallSeconds is given up for the rest of the run,
// and the sound then plays out silently with the clock.
class AudioThread {
public:
    AudioThread(std::shared_ptr<PlaybackContext> context, std::unique_ptr<Decoder> decoder,
                AVClock* clock, AudioOutput* output, bool hasVideo);
    // Joins; abort the context first.
    ~AudioThread();

    void start();
    void join();

private:
    void run();
    bool decode(const AVPacket* packet);
    bool handleFrame(AVFrame* frame);
    void newSerial(int serial);
    void finishStream();
    StreamWait waitUntil(double seconds);
    StreamWait waitForCard(double pts);
    // False once the card has held sound without taking any for too long.
    bool cardAlive();
    // Reports the landing of a seek and waits for the other streams.
    bool finishSeek(double landing);
    void play(AVFrame* frame);

    const std::shared_ptr<PlaybackContext> context_;
    const std::unique_ptr<Decoder> decoder_;
    AVClock* const clock_;
    AudioOutput* const output_;
    const bool hasVideo_;
    std::thread thread_;

    // Owned by the audio thread.
    AVFrame* frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    std::vector<uint8_t> converted_;
    int serial_ = -1;
    SeekTarget seek_;
    double lastPts_ = -1;
    double lastDuration_ = 0;
    bool cardStalled_ = false;
    uint64_t lastConsumed_ = 0;
    double consumedSince_ = -1;  // steady seconds when the card last took sound
    double lastPoll_ = -1;
};
