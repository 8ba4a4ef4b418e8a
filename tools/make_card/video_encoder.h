#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "media_packet.h"

// Rows [top, bottom) of a picture; both even, as yuv420p pairs rows.
struct RowBand {
    int top = 0;
    int bottom = 0;
};

// How the video of one file is encoded.
struct VideoSettings {
    int width = 0;
    int height = 0;
    int fps = 30;
    int gop = 30;
    int crf = 23;  // constant quality, when kbps is 0
    int kbps = 0;  // a fixed bit rate instead
    int bframes = 0;
    // High profile with CABAC, 8x8 transforms and the loop filter, as cameras
    // encode; otherwise the fastest settings (Constrained Baseline).
    bool high = false;
    int grain = 0;  // largest change of a sample by the grain; 0: none
    quint64 grainSeed = 0;
};

class FrameGrain;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Encodes RGB32 pictures into H.264 (libx264, yuv420p, fixed GOP) and hands
// out MP4-ready samples in decoding order: NAL units with 4-byte lengths, the
// parameter sets kept apart for the sample description.
class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // The encoder runs on a fixed number of threads so that the output does
    // not depend on the machine.
    bool open(const VideoSettings& settings);
    // `image` must have the opened size; `frame` is its number from 0. Only
    // the `changed` rows are converted again when the previous picture was
    // the same elsewhere (all rows when the list is empty, for frame 0 and
    // with grain).
    bool encode(const QImage& image, qint64 frame, const std::vector<RowBand>& changed,
                std::vector<MediaPacket>* out);
    bool flush(std::vector<MediaPacket>* out);

    QByteArray sps() const { return m_sps; }
    QByteArray pps() const { return m_pps; }
    QString errorString() const { return m_error; }

    // Splits an Annex B byte stream into NAL units (without start codes).
    static std::vector<QByteArray> splitAnnexB(const QByteArray& stream);

private:
    bool send(AVFrame* frame, std::vector<MediaPacket>* out);
    bool fail(const QString& what, int code);
    void close();

    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* scaler(int height);
    void addGrain(qint64 frame);

    std::unique_ptr<FrameGrain> m_grain;
    quint64 m_grainSeed = 0;

    SwsContext* m_scaler = nullptr;                          // whole pictures
    std::vector<std::pair<int, SwsContext*>> m_bandScalers;  // by band height
    QByteArray m_sps;
    QByteArray m_pps;
    QString m_error;
};
