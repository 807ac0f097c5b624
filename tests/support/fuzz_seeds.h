// Fuzz seeds are made by our writers and kept in fuzz/corpus/<target>. A test that makes a
// seed compares it with the stored file, so a changed writer shows up; with the environment
// variable ORBA_WRITE_FUZZ_SEEDS set it writes the file anew instead (after a deliberate change).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orba::testing_support {

inline void ExpectFuzzSeed(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path dir = std::filesystem::path(ORBA_SOURCE_DIR) / "fuzz" / "corpus" / target;
  const std::filesystem::path file = dir / name;
  if (std::getenv("ORBA_WRITE_FUZZ_SEEDS") != nullptr) {
    std::filesystem::create_directories(dir);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(stored, bytes) << file << " differs from what the writer makes";
}

}  // namespace orba::testing_support
