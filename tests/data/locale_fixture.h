// A clean runtime for the format tests: default system variables, the
// neutral English locale, and helpers to switch to a Spanish-style one.
#pragma once

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/masks.h"

namespace tessaly {

// The Spanish-style texts of messages 0019 and 0117: ',' as the decimal
// point, '.' between thousands, S for true.
inline constexpr char kSpanishNumbers[] = ",.'0123456789,.-D',' NS','  ,NO,SI'";
inline constexpr char kSpanishDates[] =
    "'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,Noviembre,"
    "Diciembre','[D] de [M] de [Y]'";

class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    SetWord(kAuxStat, 0);
    SetWord(kPrecis, 2);
    SetWord(kBYear, 2000);
    SetWord(kBkYear, 80);
    ASSERT_EQ(strtab::Set(strtab::kEnvironment, 4, "EN"), Status::kOk);
    depth_ = Area().Mark();
  }
  void TearDown() override {
    Area().Release(depth_);
    strtab::ClearAll();
    rtarray::FreeAll();
  }
  // Switches the language: "EN" keeps the built-in texts, "ES" stores the
  // Spanish-style ones in environment slot 0.
  static void UseLanguage(const char* code) {
    ASSERT_EQ(strtab::Set(strtab::kEnvironment, 4, code), Status::kOk);
    if (std::string_view(code) == "ES") {
      ASSERT_EQ(SetLocaleTexts(kSpanishNumbers, kSpanishDates), Status::kOk);
    } else {
      ASSERT_EQ(strtab::Set(strtab::kEnvironment, 0, Slice()), Status::kOk);
    }
  }
  // What a call left: the text, or "<status>" for an error slice.
  static std::string Text(Slice s) {
    return s.ok() ? s.str() : "<" + std::to_string(s.status().code()) + ">";
  }
  int depth_ = 0;
};

}  // namespace tessaly
