#pragma once
// The quality alerts of one collection: its temperature (COL_TEMPERATURA),
// acidity test (COL_TESTEACIDEZ) and alizarol result (COL_RESULTADOALIZAROL)
// against the [Alertas] thresholds of the settings. Pure functions, any thread.
//
// - temperatura: the text read as the handhelds send numbers (a full stop,
//   never the locale) and strictly above TemperaturaMaxima; a text that is
//   not a number raises nothing.
// - acidez: equal to one of AcidezReprovada after trimming blanks, whatever
//   the letter case (ASCII and the Latin-1 letters: "Ácida" is "áCIDA").
// - alizarol: equal as a number to one of AlizarolReprovado: the column is
//   NUMERIC, so "2", "2.0" and "2.00" are the same result. A text on either
//   side that is not a number matches nothing.
// Nothing here changes what is stored or answered.

#include "base/Settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace quelvor::base {

inline constexpr std::string_view kAlertaTemperatura = "temperatura";
inline constexpr std::string_view kAlertaAcidez = "acidez";
inline constexpr std::string_view kAlertaAlizarol = "alizarol";

struct AlertaEncontrado
{
    std::string_view tipo; // one of the three above
    std::string valor;     // the collection's text, as the handheld sent it

    bool operator==(const AlertaEncontrado&) const = default;
};

// Whether any threshold is set: without one, a collection costs nothing more.
bool haLimitesDeQualidade(const Settings& limites);

// The alerts, in the order temperatura, acidez, alizarol; empty when none.
std::vector<AlertaEncontrado> alertasDaColeta(const Settings& limites, std::string_view acidez,
                                              std::string_view temperatura, std::string_view alizarol);

// The text with ASCII and Latin-1 capitals (UTF-8) turned small, for the
// comparison without regard to case.
std::string minusculasLatin1(std::string_view texto);

} // namespace quelvor::base
