// Window creation's switch to the Portuguese texts.
#include <map>
#include <string>
#include <vector>

#include "tests/unit1_fixture.h"
#include "ui/texts.h"

namespace {

const char kLocaleKey[] = ".DEFAULT\\Control Panel\\International";

using WindowLanguage = WindowTest;

TEST_F(WindowLanguage, PortugalInTheLow16BitsSelectsPortugueseBeforeTheFirstQuestion) {
  const struct {
    const char* name;
    void (*setup)();
    bool portuguese;
  } cases[] = {
      {"2070", [] { M().uiLanguage = 2070; }, true},
      {"Brazil, 1046", [] { M().uiLanguage = 1046; }, false},
      {"10816h from the registry",
       [] {
         M().kernel32HasGetUserDefaultUILanguage = false;
         winsim::SetString(HKEY_USERS, kLocaleKey, "Locale", "00010816");
       },
       true},
      {"entry point answering 0, the registry unread",
       [] {
         M().uiLanguage = 0;
         winsim::SetString(HKEY_USERS, kLocaleKey, "Locale", "00000816");
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeView shown;  // a fresh window for each case
    TForm1 window{shown};
    winsim::Reset();
    ForgetProgramState();
    c.setup();
    winsim::AddCdRom(0, 1, 0, 0, 'E');  // no stored list: creation asks its question
    shown.answers = {false};
    window.FormCreate();
    ASSERT_EQ(shown.questions.size(), 1u);
    const std::string& question = shown.questions[0];
    if (c.portuguese) {
      // Width first, then the five captions in this order.
      EXPECT_EQ(shown.layout, (std::vector<std::string>{"width 435", "&Unidade:", "&Velocidade:",
                                                       "&Detectar Velocidades", "&Carregar",
                                                       "&Ejectar"}));
      const std::map<tcaption, std::string> captions{{tcaption::Label1, "&Unidade:"},
                                                     {tcaption::Label2, "&Velocidade:"},
                                                     {tcaption::btdetect, "&Detectar Velocidades"},
                                                     {tcaption::btload, "&Carregar"},
                                                     {tcaption::bteject, "&Ejectar"}};
      EXPECT_EQ(shown.captions, captions);
      EXPECT_EQ(question, kPortugueseTexts.detectprompt);
      EXPECT_EQ(question.size(), 100u);
      EXPECT_EQ(question.substr(0, 14), "A detec\xE7\xE3o das");
    } else {
      EXPECT_EQ(shown.clientwidth, 413);
      EXPECT_TRUE(shown.layout.empty());
      EXPECT_EQ(question, kEnglishTexts.detectprompt);
      EXPECT_EQ(question.size(), 83u);
    }
    window.FormDestroy();
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(WindowLanguage, PortugueseWithEmptyInventoryStillWidensWindow) {
  M().uiLanguage = 2070;
  form.FormCreate();
  EXPECT_EQ(view.clientwidth, 435);
  EXPECT_EQ(detectprompt, kPortugueseTexts.detectprompt);
  EXPECT_TRUE(view.questions.empty());
}

}  // namespace
