#pragma once

namespace tvl::app {

// The whole life of the desktop program, in the order it happens; the exit code.
int runProgram(int argc, char** argv);

}  // namespace tvl::app
