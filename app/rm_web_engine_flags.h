#pragma once

#include <QByteArray>

// The command line of the map's web engine (QTWEBENGINE_CHROMIUM_FLAGS).
// It is set before the application object exists and read by the engine
// when it starts, as the main window is made. Same-origin checks stay on: the page
// needs nothing beyond its own bundle and tile images.
class RMWebEngineFlags {
public:
    // Software drawing, and the sandbox off only when it cannot run.
    static QByteArray flags(bool sandboxUsable);
    // The engine's sandbox cannot run as root, nor where the kernel allows
    // no user namespaces.
    static bool sandboxUsable();
    // Sets the variable for this process; says once in the log when the
    // sandbox is off, and why.
    static void apply();
};
