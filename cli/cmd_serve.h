#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace tvl::cli {

// `serve [--catch-up MINUTES]`: the minute timer of the working folder without a display,
// until SIGTERM or SIGINT.
int runServe(Context& ctx, const std::vector<std::string>& args);
// `status`: who starts the backups of the folder, the last checked minute, the next starts.
int runStatus(Context& ctx, const std::vector<std::string>& args);

}  // namespace tvl::cli
