#include <cstring>
#include <iostream>

#include "core/programversion.h"
#include "startup.h"

int main(int argc, char** argv) {
    // The program's only options; they answer before any window or check exists. Started
    // without them, the program behaves as it always has.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << tvl::versionLine("tarvel");
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "usage: tarvel [--help | --version]\n"
                     "Schedules and starts backups of Cache database servers. Start it in its\n"
                     "working folder, which holds task.txt, the message tables english.dat and\n"
                     "russian.dat and the help pages; the menu entry starts it in\n"
                     "$XDG_DATA_HOME/tarvel (~/.local/share/tarvel).\n";
        return 0;
    }
    return tvl::app::runProgram(argc, argv);
}
