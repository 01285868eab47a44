// The user-visible texts that a user may change in the captions file: messages, grid
// titles, buttons and labels. Each is a process-wide Windows-1250 text with a built-in
// default, loaded once before any window exists and saved once at exit.
#pragma once

#include <string>

#include "app/AppInfo.h"

extern std::string E_Create_DataBase;
extern std::string E_Modify_DataBase;
extern std::string E_Transfer_DataBase;
extern std::string E_Create_Query;  // written to the file, never read back
extern std::string E_PrimaryKey;
extern std::string E_Record_Not_Exists;
extern std::string E_Query;
extern std::string E_Init_Frame;
extern std::string DB_Connecting;
extern std::string DB_Connected;
extern std::string DB_Disconnecting;
extern std::string DB_Disconnected;
extern std::string Q_Insert;
extern std::string No_Menu;
extern std::string Wrong_Menu_Descryption;
extern std::string Menu_Already_Exists;
extern std::string Produkt_In_Use;
extern std::string Column_Opis_Produktu;
extern std::string Column_Ilosc;
extern std::string Column_Kalorie;
extern std::string Column_Bialko;
extern std::string Column_Tluszcz;
extern std::string Column_Weglowodany;
extern std::string Btn_Save_Danie;
extern std::string Btn_Load_Danie;
extern std::string Btn_Delete_Danie;
extern std::string Btn_Add_Produkt;
extern std::string Btn_Delete_Produkt;
extern std::string Lb_Search_Produkt;
extern std::string Lb_Ilosc;
extern std::string Lb_Stosunek;

// Does nothing when the file does not exist. Otherwise every caption but E_Create_Query
// takes the value of its key (the first line whose name matches, ignoring case); a key
// missing from the file empties its caption. Raises EInOutError when the file is unreadable.
void LoadCaptions(const std::string& fileName = CaptionsFileName);
// Writes every caption as "key=text", CR LF ended, replacing the file.
void SaveCaptions(const std::string& fileName = CaptionsFileName);
// Puts every caption back to its built-in text.
void ResetCaptions();
