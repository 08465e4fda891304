#include "programversion.h"

namespace tvl {

std::string programVersion() {
    return TVL_PROJECT_VERSION;
}

std::string versionLine(const std::string& program) {
    return program + " " + programVersion() + "\n";
}

}  // namespace tvl
