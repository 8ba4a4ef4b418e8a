// Figures for the command-line GPX export of a whole card, then for clips:
//   bench-export [--card DIR] [--recordings N] [--clip-card DIR]
// The card is listed and every recording's GPS track is read and written as
// GPX, as `orvin-tool gps CARD` does, with a warm cache (line
// recordings=N gpx_s=X per_recording_ms=Y gpx_mb=Z). Then the clip run of
// bench_clip.h (line copy_s= ffmpeg_copy_s= copy_ratio= inset_s=
// ffmpeg_inset_s= inset_ratio= inset_fps=), then the evidence pack run of
// bench_pack.h; last line: pack_s= standard_s= pack_ratio=. Exits 1 when a
// measurement fails.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_card.h"
#include "bench_clip.h"
#include "bench_pack.h"
#include "cli/rm_tool.h"
#include "recordings/rm_video_file_list.h"

int main(int argc, char** argv) {
    // The pack's stamp and report draw text, which needs a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules("*.info=false");
    QCommandLineParser parser;
    parser.addOption({"card", "Card folder (made with orvin-make-card when absent).", "dir"});
    parser.addOption({"recordings", "Recordings of the generated card.", "n", "2000"});
    parser.addOption({"clip-card",
                      "Card of two camera-like 60 s recordings for the clip run "
                      "(made with orvin-make-card when absent).",
                      "dir"});
    parser.process(app);

    QTemporaryDir work(QDir::currentPath() + "/bench-export-XXXXXX");
    const QString card =
        benchCard(parser.value("card"), work.path() + "/card", parser.value("recordings"));
    if (card.isEmpty()) {
        return 1;
    }
    const QString output = work.path() + "/card.gpx";
    FILE* devnull = std::fopen("/dev/null", "w");
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {  // the first round warms the cache
        QElapsedTimer clock;
        clock.start();
        RMTool(devnull, devnull).run({"orvin-tool", "gps", card, "-o", output});
        best = qMin(best, clock.nsecsElapsed() / 1e9);
    }
    std::fclose(devnull);
    const int recordings = RMVideoFileList::instance()->allItems().size();
    const double mb = QFileInfo(output).size() / 1e6;
    std::printf("gpx: %d recordings in %.3f s (%.3f ms each), %.1f MB of GPX\n", recordings, best,
                best * 1000 / qMax(1, recordings), mb);
    std::printf("recordings=%d gpx_s=%.3f per_recording_ms=%.3f gpx_mb=%.1f\n", recordings, best,
                best * 1000 / qMax(1, recordings), mb);
    std::fflush(stdout);
    if (!bench_clip::measure(parser.value("clip-card"))) {
        std::printf("clip run: fail\n");
        return 1;
    }
    std::fflush(stdout);
    if (!bench_pack::measure(parser.value("clip-card"))) {
        std::printf("pack run: fail\n");
        return 1;
    }
    return 0;
}
