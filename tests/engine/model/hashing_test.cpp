#include "engine/model/hashing.h"

#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(Hasher, DependsOnValuesAndTheirOrder)
    {
        auto hashOf = [](const std::string& first, const std::string& second) {
            return Hasher().add(first).add(second).value();
        };
        EXPECT_EQ(hashOf("jpg", "png"), hashOf("jpg", "png"));
        EXPECT_NE(hashOf("jpg", "png"), hashOf("png", "jpg"));
        EXPECT_NE(Hasher().add(0).value(), Hasher().value());
    }

} // namespace
} // namespace sorvik
