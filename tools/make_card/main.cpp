// orvin-make-card OUT_DIR [options]: writes a sample SD card of dash camera
// recordings for the viewer's demo, tests and benchmarks. See --help.
#include <QGuiApplication>
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "card_options.h"
#include "card_writer.h"

int main(int argc, char** argv) {
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    // The encoders' statistics would drown the progress lines.
    av_log_set_level(AV_LOG_ERROR);

    CardOptions options;
    QString text;
    switch (CardOptions::parse(app.arguments(), &options, &text)) {
        case CardOptions::Parse::Help:
            std::fputs(qPrintable(text), stdout);
            return 0;
        case CardOptions::Parse::Error:
            std::fprintf(stderr, "orvin-make-card: %s\n", qPrintable(text));
            return 2;
        case CardOptions::Parse::Ok:
            break;
    }

    CardWriter writer(options);
    if (!writer.run()) {
        std::fprintf(stderr, "orvin-make-card: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    std::fputs(qPrintable(writer.summary()), stdout);
    return 0;
}
