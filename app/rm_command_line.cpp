#include "app/rm_command_line.h"

#include <cstring>

#include "app/version.h"

RMCommandLine::Request RMCommandLine::request(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            break;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            return REQUEST_HELP;
        }
        if (std::strcmp(arg, "--version") == 0) {
            return REQUEST_VERSION;
        }
    }
    return REQUEST_NONE;
}

int RMCommandLine::answer(int argc, char** argv, FILE* out) {
    switch (request(argc, argv)) {
        case REQUEST_HELP:
            std::fputs(helpText(), out);
            return 0;
        case REQUEST_VERSION:
            std::fputs(versionText(), out);
            return 0;
        case REQUEST_NONE:
            break;
    }
    return -1;
}

const char* RMCommandLine::helpText() {
    return "usage: orvin-viewer [FOLDER]\n"
           "\n"
           "Plays the recordings of a two-channel dash camera: front and rear video in\n"
           "step, GPS speed, G-sensor graph and route map. With FOLDER (for example the\n"
           "camera's SD card) the viewer lists the recordings found in it and up to five\n"
           "levels below it.\n"
           "\n"
           "Only one viewer runs per user: starting another brings the first window to\n"
           "the front and opens FOLDER there.\n"
           "\n"
           "options:\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n";
}

const char* RMCommandLine::versionText() {
    return "orvin-viewer " ORVIN_VERSION "\n";
}
