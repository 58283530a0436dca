// The user's interface language: the system's entry point when it has one,
// the locale in the registry otherwise.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <string>
#include <vector>

#include "ui/UILanguage.h"

namespace {

using winsim::Api;
using winsim::machine;

const char kNtKey[] = ".DEFAULT\\Control Panel\\International";
const char kNtValue[] = "Locale";
const char k9xKey[] = "Control Panel\\Desktop\\ResourceLocale";

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

int Calls(Api api) { return machine().count.calls[static_cast<size_t>(api)]; }

class UILanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    machine().kernel32HasGetUserDefaultUILanguage = false;
  }
  void TearDown() override {
    EXPECT_EQ(machine().count.openKeys, 0);
    EXPECT_TRUE(winsim::NothingOpen());
  }
  static void SetNtLocale(const std::string& text, DWORD type = REG_SZ) {
    winsim::SetString(HKEY_USERS, kNtKey, kNtValue, text, type);
  }
};

TEST_F(UILanguage, EntryPointAnswerIsTaken) {
  machine().kernel32HasGetUserDefaultUILanguage = true;
  machine().uiLanguage = 0x0816;
  EXPECT_EQ(GetUILanguage(), 2070u);
  EXPECT_EQ(Calls(Api::GetUserDefaultUILanguage), 1);
  EXPECT_EQ(Calls(Api::RegOpenKeyExA), 0);
}

TEST_F(UILanguage, EntryPointAnswerIsZeroExtended) {
  machine().kernel32HasGetUserDefaultUILanguage = true;
  machine().uiLanguage = 0x8816;
  EXPECT_EQ(GetUILanguage(), 0x8816u);
}

TEST_F(UILanguage, EntryPointAnsweringZeroKeepsRegistryUnread) {
  machine().kernel32HasGetUserDefaultUILanguage = true;
  machine().uiLanguage = 0;
  SetNtLocale("00000816");
  winsim::SetString(HKEY_CURRENT_USER, k9xKey, "", "00000816");
  EXPECT_EQ(GetUILanguage(), 0u);
  EXPECT_EQ(Calls(Api::RegOpenKeyExA), 0);
  EXPECT_EQ(Calls(Api::RegQueryValueExA), 0);
}

TEST_F(UILanguage, NtReadsDefaultUserLocale) {
  SetNtLocale("00000816");
  winsim::SetString(HKEY_CURRENT_USER, k9xKey, "", "00000416");
  EXPECT_EQ(GetUILanguage(), 2070u);
  EXPECT_EQ(Calls(Api::RegOpenKeyExA), 1);
  EXPECT_EQ(Calls(Api::RegCloseKey), 1);
}

TEST_F(UILanguage, NonNtReadsResourceLocaleDefaultValue) {
  winsim::SetNonNT();
  winsim::SetString(HKEY_CURRENT_USER, k9xKey, "", "00000816");
  SetNtLocale("00000416");
  EXPECT_EQ(GetUILanguage(), 2070u);
  EXPECT_EQ(Calls(Api::RegCloseKey), 1);
}

TEST_F(UILanguage, LocaleTextsConvertAsPlainHex) {
  const struct {
    const char* text;
    DWORD language;
  } cases[] = {
      {"00000816", 2070},      {"816", 2070},          {"000000816", 2070},
      {"00000416", 1046},      {"00010816", 0x10816},  {"0000080a", 0x080A},
      {"0000080A", 0x080A},    {"aBcDeF01", 0xABCDEF01}, {"FFFFFFFF", 0xFFFFFFFF},
      {"0", 0},
  };
  for (const auto& c : cases) {
    SetNtLocale(c.text);
    EXPECT_EQ(GetUILanguage(), c.language) << c.text;
  }
}

TEST_F(UILanguage, LocaleTextsThatAreNotPlainHexGiveZero) {
  const char* const texts[] = {
      "",          " 816",     "816 ",       "8 16",  "+816",    "-816",     "0x816",
      "$816",      "100000000", "123456789",  "816h",  "0816g",   "\t816",
  };
  for (const char* text : texts) {
    SetNtLocale(text);
    EXPECT_EQ(GetUILanguage(), 0u) << text;
  }
}

TEST_F(UILanguage, MissingKeyOrValueGivesZero) {
  EXPECT_EQ(GetUILanguage(), 0u);
  winsim::MakeKey(HKEY_USERS, kNtKey);
  EXPECT_EQ(GetUILanguage(), 0u);
  EXPECT_EQ(Calls(Api::RegCloseKey), 1);
}

TEST_F(UILanguage, KeyIsOpenedForQueryingOnly) {
  SetNtLocale("00000816");
  winsim::MakeKey(HKEY_USERS, kNtKey).refuseAllAccess = true;
  EXPECT_EQ(GetUILanguage(), 2070u);
}

TEST_F(UILanguage, DwordValueRejectedEvenHoldingPortuguese) {
  winsim::SetValue(HKEY_USERS, kNtKey, kNtValue, REG_DWORD, {0x16, 0x08, 0, 0});
  EXPECT_EQ(GetUILanguage(), 0u);
  EXPECT_EQ(Calls(Api::RegCloseKey), 1);
}

TEST_F(UILanguage, ExpandableTextAccepted) {
  SetNtLocale("00000816", REG_EXPAND_SZ);
  EXPECT_EQ(GetUILanguage(), 2070u);
}

TEST_F(UILanguage, FailedReadGivesZeroAndClosesKey) {
  SetNtLocale("00000816");
  winsim::ArmFailure({Api::RegQueryValueExA}, 2);
  EXPECT_EQ(GetUILanguage(), 0u);
  EXPECT_EQ(Calls(Api::RegCloseKey), 1);
}

class RegStringReader : public UILanguage {
 protected:
  void SetUp() override {
    UILanguage::SetUp();
    winsim::MakeKey(HKEY_USERS, kNtKey);
    ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, kNtKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key);
    UILanguage::TearDown();
  }
  static void Set(DWORD type, const std::vector<uint8_t>& data) {
    winsim::SetValue(HKEY_USERS, kNtKey, kNtValue, type, data);
  }
  HKEY key = nullptr;
  std::string text = "poison";
};

TEST_F(RegStringReader, TextReadWithoutItsNul) {
  Set(REG_SZ, Bytes(std::string("00000816\0", 9)));
  EXPECT_TRUE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "00000816");
}

TEST_F(RegStringReader, ExpandableTextReadAsStored) {
  Set(REG_EXPAND_SZ, Bytes(std::string("%LOCALE%\0", 9)));
  EXPECT_TRUE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "%LOCALE%");
}

TEST_F(RegStringReader, SizesBelowTwoReadEmptyWithSuccess) {
  Set(REG_SZ, {});
  EXPECT_TRUE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "");
  text = "poison";
  Set(REG_SZ, {0});
  EXPECT_TRUE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "");
  Set(REG_SZ, Bytes("8"));
  text = "poison";
  EXPECT_TRUE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "");
}

TEST_F(RegStringReader, OtherTypesRefusedLeavingOutputAlone) {
  for (DWORD type : {REG_NONE, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD}) {
    Set(type, Bytes(std::string("00000816\0", 9)));
    EXPECT_FALSE(ReadRegString(key, kNtValue, text)) << type;
    EXPECT_EQ(text, "poison") << type;
  }
}

TEST_F(RegStringReader, MissingValueFailsLeavingOutputAlone) {
  EXPECT_FALSE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "poison");
}

TEST_F(RegStringReader, FailedSecondQueryLeavesOutputAlone) {
  Set(REG_SZ, Bytes(std::string("00000816\0", 9)));
  winsim::ArmFailure({Api::RegQueryValueExA}, 2);
  EXPECT_FALSE(ReadRegString(key, kNtValue, text));
  EXPECT_EQ(text, "poison");
}

TEST_F(RegStringReader, EmptyNameReadsDefaultValue) {
  winsim::SetString(HKEY_USERS, kNtKey, "", "816");
  EXPECT_TRUE(ReadRegString(key, "", text));
  EXPECT_EQ(text, "816");
}

}  // namespace
