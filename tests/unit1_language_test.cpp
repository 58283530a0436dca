// Window creation's switch to the Portuguese texts.
#include <string>
#include <vector>

#include "tests/unit1_fixture.h"
#include "ui/texts.h"

namespace {

class WindowLanguage : public WindowTest {
 protected:
  // The registry route, as on a system without GetUserDefaultUILanguage.
  static void LocaleInRegistry(const std::string& text) {
    M().kernel32HasGetUserDefaultUILanguage = false;
    winsim::SetString(HKEY_USERS, ".DEFAULT\\Control Panel\\International", "Locale", text);
  }
  // A drive without a stored list, so that creation asks its question.
  void CreateWithQuestion() {
    winsim::AddCdRom(0, 1, 0, 0, 'E');
    view.answers = {false};
    form.FormCreate();
  }
  void ExpectEnglish() {
    EXPECT_EQ(view.clientwidth, 413);
    EXPECT_TRUE(view.layout.empty());
    EXPECT_EQ(detectprompt, kEnglishTexts.detectprompt);
    EXPECT_EQ(view.questions, std::vector<std::string>{kEnglishTexts.detectprompt});
  }
  void ExpectPortuguese() {
    // Width first, then the five captions in this order.
    EXPECT_EQ(view.layout, (std::vector<std::string>{"width 435", "&Unidade:", "&Velocidade:",
                                                     "&Detectar Velocidades", "&Carregar",
                                                     "&Ejectar"}));
    EXPECT_EQ(view.captions.size(), 5u);
    EXPECT_EQ(view.captions[tcaption::Label2], "&Velocidade:");
    EXPECT_EQ(view.captions[tcaption::bteject], "&Ejectar");
    EXPECT_EQ(view.questions, std::vector<std::string>{kPortugueseTexts.detectprompt});
  }
};

TEST_F(WindowLanguage, PortugalSelectsPortugueseBeforeTheFirstQuestion) {
  M().uiLanguage = 2070;
  CreateWithQuestion();
  ExpectPortuguese();
  const std::string& question = view.questions.at(0);
  EXPECT_EQ(question.size(), 100u);
  EXPECT_EQ(question.substr(0, 14), "A detec\xE7\xE3o das");
}

TEST_F(WindowLanguage, OnlyLow16BitsOfLocaleCount) {
  LocaleInRegistry("00010816");
  CreateWithQuestion();
  ExpectPortuguese();
}

TEST_F(WindowLanguage, PortugueseOfBrazilKeepsEnglish) {
  M().uiLanguage = 1046;
  CreateWithQuestion();
  ExpectEnglish();
  EXPECT_EQ(view.questions.at(0).size(), 83u);
}

TEST_F(WindowLanguage, EntryPointAnsweringZeroKeepsEnglishAndRegistryUnread) {
  M().uiLanguage = 0;
  winsim::SetString(HKEY_USERS, ".DEFAULT\\Control Panel\\International", "Locale", "00000816");
  CreateWithQuestion();
  ExpectEnglish();
}

TEST_F(WindowLanguage, PortugueseWithEmptyInventoryStillWidensWindow) {
  M().uiLanguage = 2070;
  form.FormCreate();
  EXPECT_EQ(view.clientwidth, 435);
  EXPECT_EQ(detectprompt, kPortugueseTexts.detectprompt);
  EXPECT_TRUE(view.questions.empty());
}

}  // namespace
