#include "app/Captions.h"

#include "platform/File.h"
#include "platform/Format.h"
#include "platform/StringList.h"

// Key, built-in text and file order of every caption. The built-in texts are Windows-1250;
// the byte escapes are split from following letters that would extend them.
#define OX_CAPTIONS(X)                                                                          \
  X(E_Create_DataBase, "Blad polecznia z baza danych.")                                         \
  X(E_Modify_DataBase, "Blad przy modyfikacji Bazy Danych.")                                    \
  X(E_Transfer_DataBase, "Nie mozna znalesc Bazy Danych")                                       \
  X(E_Create_Query, "Blad polaczenia z tabela %s.")                                             \
  X(E_PrimaryKey, "Nie mozna zwiekszyc ID.")                                                    \
  X(E_Record_Not_Exists, "Nie mozna odczytac rekordu %d")                                       \
  X(E_Query, "Blad przy realizacji zapytania")                                                  \
  X(E_Init_Frame, "Blad initializacji.")                                                        \
  X(DB_Connecting, "Proba polaczenie z baza danych.")                                           \
  X(DB_Connected, "Polaczenie z baza danych zakonczone.")                                       \
  X(DB_Disconnecting, "Proba odlaczenia sie od bazy danych.")                                   \
  X(DB_Disconnected, "Baza danych odlaczona.")                                                  \
  X(Q_Insert, "Dane dodane do tabeli %s.")                                                      \
  X(No_Menu, "Najpierw sporzadz sobie danie")                                                   \
  X(Wrong_Menu_Descryption, "Podaj nazwe dania.")                                               \
  X(Menu_Already_Exists, "Danie z takim opisem ju\xBF istnieje. Zmie\xF1 nazw\xEA na inn\xB9.") \
  X(Produkt_In_Use,                                                                             \
    "Ten sk\xB3"                                                                                \
    "adnik jest u\xBFywany w przepisach. Chcesz usun\xB9\xE6 sk\xB3"                            \
    "adnik i dania w kt\xF3rych wystepuje ?")                                                   \
  X(Column_Opis_Produktu, "Opis Produktu")                                                      \
  X(Column_Ilosc, "Ilosc Produktu")                                                             \
  X(Column_Kalorie, "Kalorie")                                                                  \
  X(Column_Bialko, "Bialko")                                                                    \
  X(Column_Tluszcz, "Tluszcz")                                                                  \
  X(Column_Weglowodany, "Weglowodany")                                                          \
  X(Btn_Save_Danie, "Save")                                                                     \
  X(Btn_Load_Danie, "Load")                                                                     \
  X(Btn_Delete_Danie, "Delete")                                                                 \
  X(Btn_Add_Produkt, "Add")                                                                     \
  X(Btn_Delete_Produkt, "Delete")                                                               \
  X(Lb_Search_Produkt, "Szukaj :")                                                              \
  X(Lb_Ilosc, "Ilosc")                                                                          \
  X(Lb_Stosunek, "Stosunek")

#define OX_DEFINE_CAPTION(key, text) std::string key = text;
OX_CAPTIONS(OX_DEFINE_CAPTION)
#undef OX_DEFINE_CAPTION

namespace {

struct TCaption {
  const char* Key;
  std::string* Value;
  const char* BuiltIn;
};

#define OX_CAPTION_ENTRY(key, text) {#key, &key, text},
const TCaption Captions[] = {OX_CAPTIONS(OX_CAPTION_ENTRY)};
#undef OX_CAPTION_ENTRY

}  // namespace

void LoadCaptions(const std::string& fileName) {
  if (!platform::FileExists(fileName)) return;
  TStringList file;
  file.LoadFromFile(fileName);
  for (const TCaption& caption : Captions) {
    // This text is only ever written; a changed line must not take effect.
    if (caption.Value == &E_Create_Query) continue;
    *caption.Value = file.Values(caption.Key);
  }
}

void SaveCaptions(const std::string& fileName) {
  TStringList file;
  for (const TCaption& caption : Captions) file.Add(Format("%s=%s", {caption.Key, *caption.Value}));
  file.SaveToFile(fileName);
}

void ResetCaptions() {
  for (const TCaption& caption : Captions) *caption.Value = caption.BuiltIn;
}
