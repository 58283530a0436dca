// The user's interface language: the system's entry point when it has one,
// the locale in the registry otherwise.
#include "tests/unit1_fixture.h"
#include "ui/UILanguage.h"

namespace {

using winsim::Api;

const char kNtKey[] = ".DEFAULT\\Control Panel\\International";
const char kNtValue[] = "Locale";
const char k9xKey[] = "Control Panel\\Desktop\\ResourceLocale";

class UILanguage : public SimulatedWindowsTest {
 protected:
  void SetUp() override {
    SimulatedWindowsTest::SetUp();
    M().kernel32HasGetUserDefaultUILanguage = false;
  }
  static void SetNtLocale(const std::string& text, DWORD type = REG_SZ) {
    winsim::SetString(HKEY_USERS, kNtKey, kNtValue, text, type);
  }
};

TEST_F(UILanguage, EntryPointAnswerIsTakenZeroExtendedAndTheRegistryLeftUnread) {
  for (LANGID answer : {0x0816, 0x8816, 0}) {
    winsim::Reset();
    SetNtLocale("00000816");
    winsim::SetString(HKEY_CURRENT_USER, k9xKey, "", "00000816");
    M().uiLanguage = answer;
    EXPECT_EQ(GetUILanguage(), answer);
    EXPECT_EQ(Calls(Api::GetUserDefaultUILanguage), 1);
    EXPECT_EQ(Calls(Api::RegOpenKeyExA), 0) << answer;
  }
}

TEST_F(UILanguage, RegistryRouteFollowsThePlatform) {
  for (bool nt : {true, false}) {
    winsim::Reset();
    M().kernel32HasGetUserDefaultUILanguage = false;
    if (!nt) winsim::SetNonNT();
    SetNtLocale(nt ? "00000816" : "00000416");
    winsim::SetString(HKEY_CURRENT_USER, k9xKey, "", nt ? "00000416" : "00000816");  // default value
    EXPECT_EQ(GetUILanguage(), 2070u) << nt;
    EXPECT_EQ(Calls(Api::RegOpenKeyExA), 1);
    EXPECT_EQ(Calls(Api::RegCloseKey), 1);
  }
}

TEST_F(UILanguage, LocaleTextConvertsOnlyAsPlainHexOf32Bits) {
  const struct {
    const char* text;
    DWORD language;
  } cases[] = {
      {"00000816", 2070},  {"816", 2070},         {"000000816", 2070},      {"00000416", 1046},
      {"00010816", 0x10816}, {"0000080a", 0x080A}, {"0000080A", 0x080A},
      {"aBcDeF01", 0xABCDEF01}, {"FFFFFFFF", 0xFFFFFFFF}, {"0", 0},
      // Anything else gives 0.
      {"", 0},     {" 816", 0},  {"816 ", 0},      {"8 16", 0},      {"+816", 0}, {"-816", 0},
      {"0x816", 0}, {"$816", 0}, {"100000000", 0}, {"123456789", 0}, {"816h", 0}, {"0816g", 0},
      {"\t816", 0},
  };
  for (const auto& c : cases) {
    SetNtLocale(c.text);
    EXPECT_EQ(GetUILanguage(), c.language) << c.text;
  }
}

TEST_F(UILanguage, UnreadableLocaleGivesZeroAndTheKeyIsClosed) {
  const struct {
    const char* name;
    void (*setup)();
    DWORD language;
    int closes;
  } cases[] = {
      {"missing key", [] {}, 0, 0},
      {"missing value", [] { winsim::MakeKey(HKEY_USERS, kNtKey); }, 0, 1},
      {"REG_DWORD holding 0816h",
       [] { winsim::SetValue(HKEY_USERS, kNtKey, kNtValue, REG_DWORD, {0x16, 0x08, 0, 0}); }, 0, 1},
      {"failed read",
       [] { SetNtLocale("00000816"); winsim::ArmFailure({Api::RegQueryValueExA}, 2); }, 0, 1},
      {"REG_EXPAND_SZ", [] { SetNtLocale("00000816", REG_EXPAND_SZ); }, 2070, 1},
      {"key opened for querying only",
       [] { SetNtLocale("00000816"); winsim::MakeKey(HKEY_USERS, kNtKey).refuseAllAccess = true; },
       2070, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::Reset();
    M().kernel32HasGetUserDefaultUILanguage = false;
    c.setup();
    EXPECT_EQ(GetUILanguage(), c.language);
    EXPECT_EQ(Calls(Api::RegCloseKey), c.closes);
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

using RegStringReader = SimulatedWindowsTest;

TEST_F(RegStringReader, ReadsTextTypesOnlyAndLeavesTheOutputAloneOnFailure) {
  const std::string locale("00000816\0", 9);
  const struct {
    const char* name;
    DWORD type;
    std::string data;  // "<none>": no value
    int failQuery;     // the n-th query fails, 0 none
    bool ok;
    const char* text;  // "poison": left alone
  } cases[] = {
      {"REG_SZ without its NUL", REG_SZ, locale, 0, true, "00000816"},
      {"REG_EXPAND_SZ as stored", REG_EXPAND_SZ, std::string("%LOCALE%\0", 9), 0, true, "%LOCALE%"},
      {"size 0", REG_SZ, "", 0, true, ""},
      {"size 1: NUL", REG_SZ, std::string(1, '\0'), 0, true, ""},
      {"size 1: digit", REG_SZ, "8", 0, true, ""},
      {"REG_NONE", REG_NONE, locale, 0, false, "poison"},
      {"REG_BINARY", REG_BINARY, locale, 0, false, "poison"},
      {"REG_DWORD", REG_DWORD, locale, 0, false, "poison"},
      {"REG_MULTI_SZ", REG_MULTI_SZ, locale, 0, false, "poison"},
      {"REG_QWORD", REG_QWORD, locale, 0, false, "poison"},
      {"missing value", REG_SZ, "<none>", 0, false, "poison"},
      {"failed second query", REG_SZ, locale, 2, false, "poison"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::Reset();
    winsim::MakeKey(HKEY_USERS, kNtKey);
    if (c.data != "<none>") winsim::SetValue(HKEY_USERS, kNtKey, kNtValue, c.type, Bytes(c.data));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, kNtKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    if (c.failQuery) winsim::ArmFailure({Api::RegQueryValueExA}, c.failQuery);
    std::string text = "poison";
    EXPECT_EQ(ReadRegString(key, kNtValue, text), c.ok);
    EXPECT_EQ(text, c.text);
    RegCloseKey(key);
  }
}

TEST_F(RegStringReader, EmptyNameReadsTheDefaultValue) {
  winsim::SetString(HKEY_USERS, kNtKey, "", "816");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, kNtKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  std::string text;
  EXPECT_TRUE(ReadRegString(key, "", text));
  EXPECT_EQ(text, "816");
  RegCloseKey(key);
}

}  // namespace
