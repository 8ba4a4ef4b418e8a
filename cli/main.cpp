#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

#include "cli/rm_tool.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Diagnostics of the reader are for the viewer's log, not the terminal.
    QLoggingCategory::setFilterRules("*.info=false");
    RMTool tool(stdout, stderr);
    return tool.run(QCoreApplication::arguments());
}
