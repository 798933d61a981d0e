#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// A scratch file name of this test alone: ctest runs tests in parallel processes.
inline std::string TestTempPath(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + info->test_suite_name() + "_" + info->name() + "_" +
           std::to_string(getpid()) + suffix;
}

// Writes bytes to a scratch file of this test and returns its name.
inline std::string WriteTestFile(const std::string& suffix, const std::vector<uint8_t>& bytes) {
    const std::string path = TestTempPath(suffix);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A file's whole content, empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
