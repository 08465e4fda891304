#include "startup.h"

int main(int argc, char** argv) {
    return tvl::app::runProgram(argc, argv);
}
