// The window's two text sets, as Windows-1252 bytes.
#pragma once

struct ttextset {
  int clientwidth;  // pixels at 96 per inch
  const char* label1;
  const char* label2;
  const char* btdetect;
  const char* btload;
  const char* bteject;
  const char* detectprompt;
};

inline constexpr ttextset kEnglishTexts{
    413,
    "&Drive:",
    "&Speed:",
    "De&tect Speeds",
    "&Load",
    "&Eject",
    "Supported speeds detection for this drive was never done, do you want to do it now?"};

// c-cedilla is E7h, a-tilde E3h.
inline constexpr ttextset kPortugueseTexts{
    435,
    "&Unidade:",
    "&Velocidade:",
    "&Detectar Velocidades",
    "&Carregar",
    "&Ejectar",
    "A detec\xE7\xE3"
    "o das velocidades suportadas por esta unidade nunca foi efectuada, deseja efectua-la "
    "agora?"};

// The hint of btdetect stays Portuguese whatever the interface language.
inline constexpr char kDetectHint[] =
    "Clique aqui para detectar as velocidades suportadas pela unidade seleccionada";
