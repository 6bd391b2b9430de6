#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace tarnwick::testing {

// Expects `make` to refuse with a std::invalid_argument that names `member`.
template <typename Make>
void expectRefusedWithout(const std::string& member, Make make) {
    try {
        make();
        ADD_FAILURE() << "made without its " << member;
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find(member), std::string::npos) << error.what();
    }
}

}  // namespace tarnwick::testing
