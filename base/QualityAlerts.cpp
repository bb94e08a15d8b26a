#include "base/QualityAlerts.h"

#include "base/Numbers.h"

namespace quelvor::base {
namespace {

std::string_view semBrancos(std::string_view texto)
{
    const auto branco = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!texto.empty() && branco(texto.front()))
        texto.remove_prefix(1);
    while (!texto.empty() && branco(texto.back()))
        texto.remove_suffix(1);
    return texto;
}

std::optional<double> numero(std::string_view texto)
{
    const auto r = parseReal(semBrancos(texto));
    if (!r || r->outOfRange)
        return std::nullopt;
    return r->value;
}

} // namespace

std::string minusculasLatin1(std::string_view texto)
{
    std::string r(texto);
    for (size_t i = 0; i < r.size(); ++i) {
        const auto c = static_cast<unsigned char>(r[i]);
        if (c >= 'A' && c <= 'Z') {
            r[i] = static_cast<char>(c + 0x20);
        } else if (c == 0xC3 && i + 1 < r.size()) {
            // U+00C0 to U+00DE are C3 80 to C3 9E; their small letters are
            // 0x20 further on. U+00D7 (the multiplication sign) has none.
            const auto d = static_cast<unsigned char>(r[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97)
                r[i + 1] = static_cast<char>(d + 0x20);
            ++i;
        }
    }
    return r;
}

bool haLimitesDeQualidade(const Settings& limites)
{
    return limites.temperaturaMaxima || !limites.alizarolReprovado.empty() ||
           !limites.acidezReprovada.empty();
}

std::vector<AlertaEncontrado> alertasDaColeta(const Settings& limites, std::string_view acidez,
                                              std::string_view temperatura, std::string_view alizarol)
{
    std::vector<AlertaEncontrado> alertas;
    if (limites.temperaturaMaxima) {
        const auto t = numero(temperatura);
        if (t && *t > *limites.temperaturaMaxima)
            alertas.push_back({kAlertaTemperatura, std::string(temperatura)});
    }
    if (!limites.acidezReprovada.empty()) {
        const std::string a = minusculasLatin1(semBrancos(acidez));
        for (const std::string& reprovada : limites.acidezReprovada)
            if (!a.empty() && minusculasLatin1(semBrancos(reprovada)) == a) {
                alertas.push_back({kAlertaAcidez, std::string(acidez)});
                break;
            }
    }
    if (!limites.alizarolReprovado.empty()) {
        const auto r = numero(alizarol);
        for (const std::string& reprovado : limites.alizarolReprovado)
            if (r && numero(reprovado) == r) {
                alertas.push_back({kAlertaAlizarol, std::string(alizarol)});
                break;
            }
    }
    return alertas;
}

} // namespace quelvor::base
