#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/rm_tool.h"

int main(int argc, char** argv) {
    // The export draws its stamp and the evidence pack its report with fonts,
    // which need a GUI application;
    // it runs without a display.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 &&
        (std::strcmp(argv[1], "export") == 0 || std::strcmp(argv[1], "evidence") == 0)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app.reset(new QGuiApplication(argc, argv));
    } else {
        app.reset(new QCoreApplication(argc, argv));
    }
    // Diagnostics of the reader are for the viewer's log, not the terminal.
    QLoggingCategory::setFilterRules("*.info=false");
    RMTool tool(stdout, stderr);
    return tool.run(QCoreApplication::arguments());
}
