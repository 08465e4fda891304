#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace tvl::cli {

// `run NAME`: starts the backup of the named task now, as the scheduler would.
int runRun(Context& ctx, const std::vector<std::string>& args);
// `databases IP PORT`: prints the server's database directories.
int runDatabases(Context& ctx, const std::vector<std::string>& args);

}  // namespace tvl::cli
