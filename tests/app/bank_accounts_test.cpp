#include "app/bank_accounts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "core/string_tables.h"
#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

using BankAccounts = AppTest;

// An independent reference: the weights computed as powers of two mod 11,
// the control digit mapped from 11 - r, and the IBAN remainder taken over
// nine-digit pieces of the whole rearranged number.
int ReferenceControl(const std::string& ten) {
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum += (ten[i] - '0') * ((1 << i) % 11);
  int c = 11 - sum % 11;
  return c == 11 ? 0 : c == 10 ? 1 : c;
}

int ReferenceIbanCheck(const std::string& bban, const std::string& country) {
  std::string digits = bban;
  for (char c : country) digits += std::to_string(c - 'A' + 10);
  digits += "00";
  int64_t r = 0;
  for (size_t at = 0; at < digits.size(); at += 9) {
    std::string piece = std::to_string(r) + digits.substr(at, 9);
    r = std::stoll(piece) % 97;
  }
  return static_cast<int>(98 - r);
}

std::string Reference(const std::string& bank, const std::string& branch,
                      const std::string& account) {
  std::string control = std::to_string(ReferenceControl("00" + bank + branch)) +
                        std::to_string(ReferenceControl(account));
  int check = ReferenceIbanCheck(bank + branch + control + account, "ES");
  std::string prefix =
      std::string("ES") + static_cast<char>('0' + check / 10) + static_cast<char>('0' + check % 10);
  return prefix + "," + bank + "," + branch + "," + control + "," + account;
}

TEST_F(BankAccounts, IbanOfAccountData) {
  (void)strtab::Set(strtab::kEnvironment, 4, "ES");
  struct Case {
    const char* expression;
    const char* result;
    bool records_bad_data;
  };
  const Case cases[] = {
      // The standard example account.
      {"Iban$('ES';'2100';'0418';'';'0200051332')", "ES91,2100,0418,45,0200051332", false},
      {"Iban$('es';'2100';'0418';'45';'0200051332')", "ES91,2100,0418,45,0200051332", false},
      {"Iban$('ES91';'2100';'0418';'';'0200051332')", "ES91,2100,0418,45,0200051332", false},
      {"Iban$('';'2100';'0418';'';'0200051332')", "ES91,2100,0418,45,0200051332", false},
      {"Iban$('ES';2100;418;'';200051332)", "ES91,2100,0418,45,0200051332", false},
      {"Iban$('ES';' 2100 ';'0418';'';'200051332')", "ES91,2100,0418,45,0200051332", false},
      // Wrong control digits or check digits: nothing.
      {"Iban$('ES';'2100';'0418';'44';'0200051332')", "", false},
      {"Iban$('ES92';'2100';'0418';'';'0200051332')", "", false},
      {"Iban$('E';'2100';'0418';'';'0200051332')", "", false},
      {"Iban$('1234';'2100';'0418';'';'0200051332')", "", false},
      // Bad bank data: nothing, and BADINPUTDATA recorded.
      {"Iban$('ES';'21A0';'0418';'';'0200051332')", "", true},
      {"Iban$('ES';'21000';'0418';'';'0200051332')", "", true},
      {"Iban$('ES';'2100';'';'';'0200051332')", "", true},
      {"Iban$('ES';'2100';'0418';'';'')", "", true},
      {"Iban$('ES';'2100';'0418';'';'02000513321')", "", true},
      {"Iban$('ES';'2100';'0418';'';'0200-51332')", "", true},
      {"Iban$('ES';2100.5;'0418';'';'0200051332')", "", true},
  };
  for (const Case& c : cases) {
    ForceLastError(0, 0);
    EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
    EXPECT_EQ(GetLastError().code == Status::kBadInputData, c.records_bad_data) << c.expression;
  }
}

TEST_F(BankAccounts, AgreesWithAnIndependentReference) {
  std::mt19937 random(20170829);
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + random() % 10);
    return s;
  };
  for (int i = 0; i < 300; ++i) {
    std::string bank = digits(4), branch = digits(4), account = digits(10);
    AreaMark mark;
    Slice result = IbanParts("ES", Slice::Of(bank), Slice::Of(branch), "", Slice::Of(account));
    std::string got = result.str();
    ASSERT_EQ(got, Reference(bank, branch, account)) << bank << branch << account;
  }
}

TEST_F(BankAccounts, ControlDigitsOfKnownAccounts) {
  EXPECT_EQ(AccountControlDigit("0021000418"), '4');
  EXPECT_EQ(AccountControlDigit("0200051332"), '5');
  EXPECT_EQ(AccountControlDigit("200051332"), '5');  // padded on the left
  EXPECT_EQ(AccountControlDigit(""), '0');
  EXPECT_EQ(IbanCheckDigits("21000418450200051332", "ES").str(), "91");
}

TEST_F(BankAccounts, ModOfTexts) {
  struct Case {
    const char* expression;
    const char* result;
  };
  const Case cases[] = {
      {"Mod('ES')", "=70"},
      {"Mod('es')", "=70"},
      {"Mod('21000418450200051332ES91')", "=1"},  // a valid IBAN rearranged
      {"Mod('2100 0418 4502 0005 1332 ES91')", "=1"},
      {"Mod('100';7)", "=2"},
      {"Mod('12345678901234567890';97)", "=3"},
      {"Mod(123456)", "=72"},
      {"Mod('')", "=0"},
      {"Mod('1-2')", "#163"},
      {"Mod('1';0)", "#163"},
      {"Mod()", "#147"},
      {"Mod('1';2;3)", "#147"},
      {"Mod('1';'2')", "#128"},
  };
  for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
}

TEST_F(BankAccounts, IbanTakesExactlyFiveArguments) {
  EXPECT_EQ(Eval("Iban$('ES';'2100';'0418';'')"), "#147");
  EXPECT_EQ(Eval("Iban$('ES';'2100';'0418';'';'0200051332';'x')"), "#147");
}

}  // namespace
}  // namespace tessaly
