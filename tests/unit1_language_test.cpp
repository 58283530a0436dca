// Window creation's switch to the Portuguese texts.
#include <map>
#include <string>
#include <vector>

#include "tests/expected_texts.h"
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
    const texpectedlanguage& texts = c.portuguese ? kExpectedPortuguese : kExpectedEnglish;
    EXPECT_EQ(shown.questions, std::vector<std::string>{texts.question});
    EXPECT_EQ(shown.clientwidth, texts.clientwidth);
    if (c.portuguese) {
      // Width first, then the five captions in this order.
      std::vector<std::string> layout{"width 435"};
      for (const auto& caption : texts.captions) layout.push_back(caption.second);
      EXPECT_EQ(shown.layout, layout);
      EXPECT_EQ(shown.captions, texts.captions);
    } else {
      EXPECT_TRUE(shown.layout.empty()) << "the window is designed in English";
    }
    window.FormDestroy();
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(WindowLanguage, PortugueseWithEmptyInventoryStillWidensWindow) {
  M().uiLanguage = 2070;
  form.FormCreate();
  EXPECT_EQ(view.clientwidth, 435);
  EXPECT_EQ(detectprompt, kExpectedPortuguese.question);
  EXPECT_TRUE(view.questions.empty());
}

// The texts only the real window shows (English captions, the hint, the
// title) are proven here, against the expected bytes.
TEST(Texts, ProgramTextsAreTheExpectedBytes) {
  const std::pair<const ttextset&, const texpectedlanguage&> languages[] = {
      {kEnglishTexts, kExpectedEnglish}, {kPortugueseTexts, kExpectedPortuguese}};
  for (const auto& l : languages) {
    const ttextset& t = l.first;
    EXPECT_EQ(t.clientwidth, l.second.clientwidth);
    EXPECT_EQ((std::map<tcaption, std::string>{{tcaption::Label1, t.label1},
                                               {tcaption::Label2, t.label2},
                                               {tcaption::btdetect, t.btdetect},
                                               {tcaption::btload, t.btload},
                                               {tcaption::bteject, t.bteject}}),
              l.second.captions);
    EXPECT_EQ(t.detectprompt, l.second.question);
  }
  EXPECT_EQ(kDetectHint, kExpectedHint);
  EXPECT_EQ(kApplicationTitle, kExpectedTitle);
}

}  // namespace
