#include "app/Captions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "AppTestSupport.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

class CaptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetCaptions(); }
  void TearDown() override { ResetCaptions(); }
  TempDir Dir;
};

// Every key with its built-in text in file order; the Polish texts are written here in
// UTF-8 and converted, as a check on the built-in Windows-1250 bytes.
std::vector<std::pair<std::string, std::string>> BuiltIns() {
  using platform::Utf8ToCp1250;
  return {
      {"E_Create_DataBase", "Blad polecznia z baza danych."},
      {"E_Modify_DataBase", "Blad przy modyfikacji Bazy Danych."},
      {"E_Transfer_DataBase", "Nie mozna znalesc Bazy Danych"},
      {"E_Create_Query", "Blad polaczenia z tabela %s."},
      {"E_PrimaryKey", "Nie mozna zwiekszyc ID."},
      {"E_Record_Not_Exists", "Nie mozna odczytac rekordu %d"},
      {"E_Query", "Blad przy realizacji zapytania"},
      {"E_Init_Frame", "Blad initializacji."},
      {"DB_Connecting", "Proba polaczenie z baza danych."},
      {"DB_Connected", "Polaczenie z baza danych zakonczone."},
      {"DB_Disconnecting", "Proba odlaczenia sie od bazy danych."},
      {"DB_Disconnected", "Baza danych odlaczona."},
      {"Q_Insert", "Dane dodane do tabeli %s."},
      {"No_Menu", "Najpierw sporzadz sobie danie"},
      {"Wrong_Menu_Descryption", "Podaj nazwe dania."},
      {"Menu_Already_Exists",
       Utf8ToCp1250("Danie z takim opisem już istnieje. Zmień nazwę na inną.")},
      {"Produkt_In_Use", Utf8ToCp1250("Ten składnik jest używany w przepisach. Chcesz usunąć "
                                      "składnik i dania w których wystepuje ?")},
      {"Column_Opis_Produktu", "Opis Produktu"},
      {"Column_Ilosc", "Ilosc Produktu"},
      {"Column_Kalorie", "Kalorie"},
      {"Column_Bialko", "Bialko"},
      {"Column_Tluszcz", "Tluszcz"},
      {"Column_Weglowodany", "Weglowodany"},
      {"Btn_Save_Danie", "Save"},
      {"Btn_Load_Danie", "Load"},
      {"Btn_Delete_Danie", "Delete"},
      {"Btn_Add_Produkt", "Add"},
      {"Btn_Delete_Produkt", "Delete"},
      {"Lb_Search_Produkt", "Szukaj :"},
      {"Lb_Ilosc", "Ilosc"},
      {"Lb_Stosunek", "Stosunek"},
  };
}

// The caption variables in file order.
std::vector<std::string*> Variables() {
  return {&E_Create_DataBase,
          &E_Modify_DataBase,
          &E_Transfer_DataBase,
          &E_Create_Query,
          &E_PrimaryKey,
          &E_Record_Not_Exists,
          &E_Query,
          &E_Init_Frame,
          &DB_Connecting,
          &DB_Connected,
          &DB_Disconnecting,
          &DB_Disconnected,
          &Q_Insert,
          &No_Menu,
          &Wrong_Menu_Descryption,
          &Menu_Already_Exists,
          &Produkt_In_Use,
          &Column_Opis_Produktu,
          &Column_Ilosc,
          &Column_Kalorie,
          &Column_Bialko,
          &Column_Tluszcz,
          &Column_Weglowodany,
          &Btn_Save_Danie,
          &Btn_Load_Danie,
          &Btn_Delete_Danie,
          &Btn_Add_Produkt,
          &Btn_Delete_Produkt,
          &Lb_Search_Produkt,
          &Lb_Ilosc,
          &Lb_Stosunek};
}

TEST_F(CaptionsTest, WithoutAFileTheBuiltInsStayAndASaveWritesThemAll) {
  LoadCaptions();
  auto builtIns = BuiltIns();
  auto variables = Variables();
  ASSERT_EQ(builtIns.size(), 31u);
  ASSERT_EQ(variables.size(), 31u);
  std::string expected;
  for (size_t i = 0; i < builtIns.size(); ++i) {
    EXPECT_EQ(*variables[i], builtIns[i].second) << builtIns[i].first;
    expected += builtIns[i].first + "=" + builtIns[i].second + "\r\n";
  }
  SaveCaptions();
  EXPECT_EQ(ReadFile("ox.cap"), expected);
}

TEST_F(CaptionsTest, FileLinesSetTheirCaptions) {
  struct Case {
    const char* Name;
    std::string File;
    std::string* Variable;
    std::string Expected;
  };
  const Case cases[] = {
      {"exact key", "No_Menu=Mine\r\n", &No_Menu, "Mine"},
      {"key in another case", "e_create_database=Inny tekst\r\n", &E_Create_DataBase, "Inny tekst"},
      {"blank before the equals sign", "Lb_Ilosc =x\r\n", &Lb_Ilosc, ""},
      {"line without equals sign", "Lb_Ilosc\r\nLb_Ilosc=y\r\n", &Lb_Ilosc, "y"},
      {"first of two lines wins", "No_Menu=first\r\nNO_MENU=second\r\n", &No_Menu, "first"},
      {"no trimming", "Lb_Stosunek= padded  \r\n", &Lb_Stosunek, " padded  "},
      {"equals sign in the text", "Btn_Add_Produkt=a=b\r\n", &Btn_Add_Produkt, "a=b"},
      {"LF line ends", "Lb_Ilosc=x\nLb_Stosunek=y\n", &Lb_Stosunek, "y"},
      {"missing key", "No_Menu=Mine\r\n", &Lb_Ilosc, ""},
      {"empty file", "", &Btn_Save_Danie, ""},
      {"E_Create_Query is never read", "E_Create_Query=changed\r\n", &E_Create_Query,
       "Blad polaczenia z tabela %s."},
      {"Windows-1250 text", "Column_Bialko=Bia\xB3ko \xB9\xE6\xEA\r\n", &Column_Bialko,
       "Bia\xB3ko \xB9\xE6\xEA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetCaptions();
    WriteFile("ox.cap", c.File);
    LoadCaptions();
    EXPECT_EQ(*c.Variable, c.Expected);
  }
}

TEST_F(CaptionsTest, EveryCaptionButTheQueryErrorRoundTripsThroughTheFile) {
  auto variables = Variables();
  for (size_t i = 0; i < variables.size(); ++i)
    *variables[i] = "text " + std::to_string(i) + " \xB3\xF3\x9C\x9F\xBF";
  SaveCaptions("copy.cap");
  ResetCaptions();
  LoadCaptions("copy.cap");
  for (size_t i = 0; i < variables.size(); ++i) {
    if (variables[i] == &E_Create_Query) {
      EXPECT_EQ(*variables[i], "Blad polaczenia z tabela %s.");
    } else {
      EXPECT_EQ(*variables[i], "text " + std::to_string(i) + " \xB3\xF3\x9C\x9F\xBF") << i;
    }
  }
}

TEST_F(CaptionsTest, PolishBuiltInsAreStoredInWindows1250) {
  SaveCaptions();
  std::string file = ReadFile("ox.cap");
  EXPECT_NE(file.find("Menu_Already_Exists=Danie z takim opisem ju\xBF istnieje. Zmie\xF1 nazw\xEA"
                      " na inn\xB9.\r\n"),
            std::string::npos);
  ResetCaptions();
  Menu_Already_Exists.clear();
  Produkt_In_Use.clear();
  LoadCaptions();
  EXPECT_EQ(platform::Cp1250ToUtf8(Menu_Already_Exists),
            "Danie z takim opisem już istnieje. Zmień nazwę na inną.");
  EXPECT_EQ(platform::Cp1250ToUtf8(Produkt_In_Use),
            "Ten składnik jest używany w przepisach. Chcesz usunąć składnik i dania w których "
            "wystepuje ?");
}

TEST_F(CaptionsTest, AMissingKeyIsWrittenBackEmptyAndTheQueryErrorAsBuiltIn) {
  WriteFile("ox.cap", "E_Create_Query=changed\r\nNo_Menu=Mine\r\n");
  LoadCaptions();
  SaveCaptions();
  auto lines = CrLfLines(ReadFile("ox.cap"));
  ASSERT_EQ(lines.size(), 31u);
  EXPECT_EQ(lines[0], "E_Create_DataBase=");
  EXPECT_EQ(lines[3], "E_Create_Query=Blad polaczenia z tabela %s.");
  EXPECT_EQ(lines[13], "No_Menu=Mine");
  EXPECT_EQ(lines[30], "Lb_Stosunek=");
}

TEST_F(CaptionsTest, ADirectoryIsNoCaptionsFileAndWriteErrorsRaise) {
  std::filesystem::create_directory("adir");
  EXPECT_NO_THROW(LoadCaptions("adir"));
  EXPECT_EQ(Lb_Ilosc, "Ilosc");
  EXPECT_THROW(SaveCaptions("adir"), EInOutError);
  EXPECT_THROW(SaveCaptions("missing/ox.cap"), EInOutError);
}

}  // namespace
