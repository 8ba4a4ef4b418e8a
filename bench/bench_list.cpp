// Figures for turning a card into the recording list:
//   bench-list [--card DIR] [--recordings N]
// With a warm cache: the time from folder to finished list, the bytes read
// per file, the time libavformat needs to open the same files and find their
// streams, and the time to load the sensor data of one recording.
// Last line: recordings=N files=F list_s=X per_file_us=Y bytes_per_file=B
//            libav_ratio=R sensor_ms=S
extern "C" {
#include <libavformat/avformat.h>
}

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_card.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_file_list.h"

namespace {
// Bytes this process has read through system calls so far (cache included).
qint64 bytesRead() {
    QFile io("/proc/self/io");
    if (!io.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:")) {
            return line.mid(6).trimmed().toLongLong();
        }
    }
    return 0;
}

double listOnce(const QString& card, int* files) {
    QElapsedTimer clock;
    clock.start();
    QList<QUrl> urls;
    RMVideoFileList::appendFolderToList(card, urls, 0);
    RMVideoFileList::instance()->loadFromList(urls);
    *files = urls.size();
    return clock.nsecsElapsed() / 1e9;
}

// Opens every file with libavformat as a player would; seconds per file.
double libavPerFile(const QStringList& paths) {
    QElapsedTimer clock;
    clock.start();
    for (const QString& path : paths) {
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) ==
            0) {
            avformat_find_stream_info(context, nullptr);
            avformat_close_input(&context);
        }
    }
    return clock.nsecsElapsed() / 1e9 / qMax(1, paths.size());
}

double sensorMs(RMVideoItem* item) {
    QElapsedTimer clock;
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        item->clearSensorData();
        clock.start();
        item->loadAVIInfo();
        best = qMin(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules("*.info=false");
    av_log_set_level(AV_LOG_QUIET);
    QCommandLineParser parser;
    parser.addOption({"card", "Card folder (made with orvin-make-card when absent).", "dir"});
    parser.addOption({"recordings", "Recordings of the generated card.", "n", "2000"});
    parser.process(app);

    QTemporaryDir work(QDir::currentPath() + "/bench-list-XXXXXX");
    const QString card =
        benchCard(parser.value("card"), work.path() + "/card", parser.value("recordings"));
    if (card.isEmpty()) {
        return 1;
    }

    int files = 0;
    listOnce(card, &files);  // warms the cache
    const qint64 before = bytesRead();
    double best = listOnce(card, &files);
    const qint64 bytesPerFile = (bytesRead() - before) / qMax(1, files);
    for (int i = 0; i < 2; ++i) {
        best = qMin(best, listOnce(card, &files));
    }
    RMVideoFileList* list = RMVideoFileList::instance();
    const int recordings = list->allItems().size();
    const double perFileUs = best * 1e6 / qMax(1, files);

    QStringList paths;
    for (RMVideoItem* item : list->allItems()) {
        for (const QString& path : {item->frontPath, item->rearPath}) {
            if (!path.isEmpty() && paths.size() < 400) {
                paths << path;
            }
        }
    }
    libavPerFile(paths);  // warm
    const double libav = libavPerFile(paths);
    const double ratio = libav * 1e6 / perFileUs;

    double sensor = -1;
    if (!list->allItems().isEmpty()) {
        sensor = sensorMs(list->allItems().first());
    }
    std::printf("list: %d recordings from %d files in %.3f s (%.1f us per file, %lld bytes read)\n",
                recordings, files, best, perFileUs, static_cast<long long>(bytesPerFile));
    std::printf("libavformat: %.1f us per file (open + find_stream_info)\n", libav * 1e6);
    std::printf(
        "recordings=%d files=%d list_s=%.3f per_file_us=%.1f bytes_per_file=%lld "
        "libav_ratio=%.1f sensor_ms=%.3f\n",
        recordings, files, best, perFileUs, static_cast<long long>(bytesPerFile), ratio, sensor);
    return 0;
}
