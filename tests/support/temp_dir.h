// A fresh folder for one test, named after the test and the process, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace orba::testing_support {

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path = std::filesystem::temp_directory_path() /
           ("orba-test-" + std::to_string(getpid()) + "-" + test->test_suite_name() + "-" + test->name());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The path of a file or folder inside, as text.
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

}  // namespace orba::testing_support
