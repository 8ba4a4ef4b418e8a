#include <QDir>
#include <QFileInfo>
#include <cstdlib>

#include "app/rm_allocator.h"
#include "app/rm_app.h"
#include "app/rm_application.h"
#include "app/rm_command_line.h"
#include "app/rm_web_engine_flags.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_frame_probe.h"
#include "ui/window_main.h"

namespace {
// How long the backup and the loader get to stop when the window closes.
const int kWorkerStopMs = 1500;

// The folder given on the command line, empty when there is none. One that
// does not exist is passed on too: the window tells the user so.
QString folderArgument(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1).isEmpty()) {
        return QString();
    }
    return QDir::cleanPath(QFileInfo(arguments.at(1)).absoluteFilePath());
}
}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer before the single-instance lock and any window.
    const int answered = RMCommandLine::answer(argc, argv, stdout);
    if (answered >= 0) {
        return answered;
    }
    RMAllocator::configure();
    // Read by the web engine when it starts, as the main window is made.
    RMWebEngineFlags::apply();
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
    RMApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, true);

    const QString folder = folderArgument(QCoreApplication::arguments());
    if (!app.lock()) {
        app.foregroundApplication(folder);
        return -42;
    }
    RMApp::instance()->initialize(app);

    static WindowMain* window = new WindowMain(nullptr);
    window->show();
    RMFrameProbe::installFromEnvironment(window);
    // Folders that later starts hand over (a file manager's "Open with").
    QObject::connect(&app, &RMApplication::folderRequested, window, &WindowMain::openFolder);
    window->openFolder(folder);
    const int code = QApplication::exec();
    // A backup or a load still running would keep the process alive: the
    // pool waits for its threads at exit. They are cancelled and get a
    // short while; a worker stuck in the system is not waited for.
    if (!RMVideoFileList::stopWorkers(kWorkerStopMs)) {
        std::_Exit(code);
    }
    return code;
}
