// Every text the user sees, written out as the bytes expected on screen
// (Windows-1252): the tests compare the program with these, never with its
// own constants.
#pragma once

#include <map>
#include <string>

#include "ui/Unit1.h"

struct texpectedlanguage {
  int clientwidth;
  std::map<tcaption, std::string> captions;
  std::string question;
};

inline const texpectedlanguage kExpectedEnglish{
    413,
    {{tcaption::Label1, "&Drive:"},
     {tcaption::Label2, "&Speed:"},
     {tcaption::btdetect, "De&tect Speeds"},
     {tcaption::btload, "&Load"},
     {tcaption::bteject, "&Eject"}},
    "Supported speeds detection for this drive was never done, do you want to do it now?"};

inline const texpectedlanguage kExpectedPortuguese{
    435,
    {{tcaption::Label1, "&Unidade:"},
     {tcaption::Label2, "&Velocidade:"},
     {tcaption::btdetect, "&Detectar Velocidades"},
     {tcaption::btload, "&Carregar"},
     {tcaption::bteject, "&Ejectar"}},
    "A detec\xE7\xE3o das velocidades suportadas por esta unidade nunca foi efectuada, deseja "
    "efectua-la agora?"};

inline const std::string kExpectedTitle = "Kelvarin";
inline const std::string kExpectedHint =
    "Clique aqui para detectar as velocidades suportadas pela unidade seleccionada";

// The error messages, before the error box's full-stop rule.
inline std::string InvalidTypeError(const std::string& name) {
  return "Invalid data type for '" + name + "'";
}
inline std::string GetDataError(const std::string& name) {
  return "Failed to get data for '" + name + "'";
}
inline std::string SetDataError(const std::string& name) {
  return "Failed to set data for '" + name + "'";
}
inline std::string NotAnIntegerError(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}
