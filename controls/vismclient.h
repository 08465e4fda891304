#pragma once

#include <memory>

#include "server/vismcontrol.h"

namespace tvl {

// Defaults of the two waits; the environment variables TVL_VISM_CONNECT_TIMEOUT and
// TVL_VISM_REPLY_TIMEOUT (seconds, decimals allowed) change them for each operation.
inline constexpr double kDefaultConnectTimeout = 10.0;
inline constexpr double kDefaultReplyTimeout = 60.0;
// Error number of a failure of the control itself (connection, greeting, a late, cut or
// malformed reply). The server's own errors carry the server's numbers.
inline constexpr std::int32_t kCommunicationError = 1000;

// A wait from the environment: a positive decimal number of seconds; anything else, or
// nothing, gives the default. A wait is never switched off.
double timeoutFromEnv(const char* name, double fallback);

// The control that carries each code line over TCP to a server.
std::unique_ptr<VismControl> makeSocketControl();

}  // namespace tvl
