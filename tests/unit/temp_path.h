#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

// A scratch file name of this test alone: ctest runs tests in parallel processes.
inline std::string TestTempPath(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + info->test_suite_name() + "_" + info->name() + "_" +
           std::to_string(getpid()) + suffix;
}
