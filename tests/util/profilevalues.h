#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/profilefile.h"

namespace tvl::test {

// One entry a caption or settings file should (or, with no value, should not) hold.
struct ProfileValue {
    const char* section;
    const char* key;
    std::optional<std::string> value;
};

inline void expectValues(const ProfileFile& file, const std::vector<ProfileValue>& values) {
    for (const ProfileValue& v : values) {
        EXPECT_EQ(file.read(v.section, v.key), v.value) << v.section << "/" << v.key;
    }
}

}  // namespace tvl::test
