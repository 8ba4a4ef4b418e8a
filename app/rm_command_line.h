#pragma once

#include <cstdio>

// The viewer's own command-line options, read before any Qt object exists:
// --help and --version print their text and end the process at once, with
// no window and no contact with a viewer that is already running. Anything
// else (a folder, Qt's own options) is left to the application.
class RMCommandLine {
public:
    enum Request { REQUEST_NONE, REQUEST_HELP, REQUEST_VERSION };

    // The first --help/-h or --version before a "--", or REQUEST_NONE.
    static Request request(int argc, char** argv);

    // Prints what the arguments ask for to out and returns the exit code (0);
    // returns -1 when the viewer should start.
    static int answer(int argc, char** argv, FILE* out);

    static const char* helpText();
    static const char* versionText();
};
