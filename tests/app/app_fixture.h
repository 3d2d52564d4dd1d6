// A clean expression environment with the application's functions
// registered, and a scratch folder per test for the files they write.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/app_functions.h"
#include "core/string_tables.h"
#include "tests/expr/expr_fixture.h"

namespace tessaly {

class AppTest : public ExprTest {
 protected:
  void SetUp() override {
    ExprTest::SetUp();
    for (int slot = 0; slot < 12; ++slot) {
      if (slot != 8) (void)strtab::Set(strtab::kEnvironment, slot, Slice());
    }
    ASSERT_EQ(RegisterApplicationFunctions().code(), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
    ExprTest::TearDown();
  }

  // A new empty folder, removed after the test.
  const std::filesystem::path& Scratch() {
    if (dir_.empty()) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      dir_ = std::filesystem::temp_directory_path() /
             ("tessaly_app_" + std::to_string(::getpid()) + "_" + info->name());
      std::filesystem::remove_all(dir_);
      std::filesystem::create_directories(dir_);
    }
    return dir_;
  }

  static std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteAll(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::filesystem::path dir_;
};

}  // namespace tessaly
