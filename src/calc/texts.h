#pragma once

// The program's own words and addresses, in Windows-1252. Each is written once here.

namespace zepa {

// Who publishes the program and how to reach them (banner lines 10-13, memo lines 8-11).
inline constexpr const char* kPublisherAddress = "www.zepa.example";
inline constexpr const char* kAuthorName = "Marta Zepa Lins";
// The title as the banner shows it (ASCII) and as the memo records it (with its accents).
inline constexpr const char* kAuthorTitleBanner = "Engenheira Civil, Mestre em Calculo Estrutural";
inline constexpr const char* kAuthorTitleMemo = "Engenheira Civil, Mestre em C\xE1lculo Estrutural";
inline constexpr const char* kContactAddress = "contato@zepa.example";

// The help page the help question opens.
inline constexpr const char* kHelpHost = "www.zepa.example";
inline constexpr const char* kHelpPath = "/ajuda-zepa4-07.php";

inline constexpr const char* kMemoWarning =
    " Aviso: o memorial deste caso nao foi gravado em mc-zepa4-07.txt";

}  // namespace zepa
