#pragma once

#include <optional>
#include <string_view>

#include "core/civil.h"

namespace tvl::reference {

// The next start as it was found before date arithmetic: every day of the look-ahead put
// through the due test with its date formatted as text.
std::optional<LocalDateTime> nextStart(std::string_view line, const LocalDateTime& after,
                                       int lookaheadDays = 366);

}  // namespace tvl::reference
