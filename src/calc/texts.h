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

// The help page the help question opens: the copy installed with the program (its file name),
// else the one on the web (host and path).
inline constexpr const char* kHelpPageName = "ajuda-zepa4-07.html";
inline constexpr const char* kHelpHost = "www.zepa.example";
inline constexpr const char* kHelpPath = "/ajuda-zepa4-07.php";
// Said when the opener is missing or fails; the page's path or address follows it.
inline constexpr const char* kHelpNotOpened =
    " Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em ";

// The refusal of a sagitta larger than twice the semi-chord (the help page shows it too).
inline constexpr const char* kRefusal = " f nao pode ser maior que 2c, informe outro valor";

// The labels that the dialogue shows and the memo records alike; the number text follows each
// (the help page shows the same result lines).
inline constexpr const char* kDataHeading = " Dados:";
inline constexpr const char* kResultsHeading = " Resultados:";
inline constexpr const char* kLabelC = "  Semi corda: c=";
inline constexpr const char* kLabelF = "  Flecha: f=";
inline constexpr const char* kLabelR = "  Raio: r=";
inline constexpr const char* kLabelA = "  Semi arco: a=";
// The angle's label differs: ASCII on the console, with its accent and degree sign in the memo.
inline constexpr const char* kLabelAlfaConsole = "  Angulo: Alfa(grau)=";
inline constexpr const char* kLabelAlfaMemo = "  \xC2ngulo: Alfa(\xB0)=";

// Said for a number typed with a decimal comma, which is not taken: the same prompt comes again
// (the help page shows it too).
inline constexpr const char* kDecimalComma = " Aviso: use ponto decimal: 2.5, nao 2,5";

inline constexpr const char* kMemoWarning =
    " Aviso: o memorial deste caso nao foi gravado em mc-zepa4-07.txt";
// Every byte was handed over, but the system reported a failure after (the close, the sync).
inline constexpr const char* kMemoUnconfirmed =
    " Aviso: o memorial deste caso pode nao ter sido gravado em mc-zepa4-07.txt";
// The same for the memos of a redirected run, synced once at its end.
inline constexpr const char* kMemosUnconfirmed =
    " Aviso: os memoriais desta execucao podem nao ter sido gravados em mc-zepa4-07.txt";

// Said on standard error when a read of the input fails (not its end): the program ends there.
inline constexpr const char* kInputFailed =
    "zepa4-07: a leitura da entrada falhou; o caso em curso nao foi calculado nem gravado";

}  // namespace zepa
