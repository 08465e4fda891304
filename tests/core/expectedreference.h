#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/expected.h"

namespace tvl::reference {

struct ExpectedRow {
    std::array<std::string, 6> cells;
    int backupType = 0;
    std::size_t taskIndex = 0;
};

std::vector<ExpectedRow> expectedRows(const std::vector<std::string>& lines, const CivilDate& from,
                                      const CivilDate& to,
                                      const std::array<std::string, 7>& weekdayNames);
void sortRows(std::vector<ExpectedRow>& rows, int column);

}  // namespace tvl::reference
