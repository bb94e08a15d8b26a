// The quality alerts of a collection against the [Alertas] thresholds.
#include "base/QualityAlerts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelvor::base {
namespace {

Settings limites()
{
    Settings s;
    s.temperaturaMaxima = 7;
    s.alizarolReprovado = {"2", "3.5"};
    s.acidezReprovada = {"Ácida", "positivo"};
    return s;
}

TEST(QualityAlerts, CollectionsAgainstThresholds)
{
    using A = std::vector<AlertaEncontrado>;
    struct Caso
    {
        const char* nome;
        std::string acidez, temperatura, alizarol;
        A esperados;
    };
    const std::vector<Caso> casos{
        {"all within", "Negativo", "4.5", "1", {}},
        {"at the maximum is not above it", "Negativo", "7", "1", {}},
        {"just above", "Negativo", "7.01", "1", {{kAlertaTemperatura, "7.01"}}},
        {"an exponent is a number", "", "1e1", "", {{kAlertaTemperatura, "1e1"}}},
        {"blanks around the number", "", " 9.5 ", "", {{kAlertaTemperatura, " 9.5 "}}},
        {"a decimal comma is no number", "", "9,5", "", {}},
        {"not a number", "", "quente", "", {}},
        {"empty", "", "", "", {}},
        {"below zero", "", "-3", "", {}},
        {"acidity in another case, ASCII", "POSITIVO", "", "", {{kAlertaAcidez, "POSITIVO"}}},
        {"acidity in capitals with an accent", "ÁCIDA", "", "", {{kAlertaAcidez, "ÁCIDA"}}},
        {"acidity in small letters with an accent", " ácida ", "", "", {{kAlertaAcidez, " ácida "}}},
        {"acidity without its accent is another text", "ACIDA", "", "", {}},
        {"acidity that only begins like a listed one", "Positivo fraco", "", "", {}},
        {"alizarol as a number", "", "", "2.00", {{kAlertaAlizarol, "2.00"}}},
        {"alizarol with decimals", "", "", "3.5", {{kAlertaAlizarol, "3.5"}}},
        {"alizarol close to a listed one", "", "", "2.01", {}},
        {"alizarol that is not a number", "", "", "2a", {}},
        {"every test fails, in a fixed order",
         "positivo",
         "12",
         "3.50",
         {{kAlertaTemperatura, "12"}, {kAlertaAcidez, "positivo"}, {kAlertaAlizarol, "3.50"}}},
    };
    const Settings s = limites();
    for (const Caso& c : casos)
        EXPECT_EQ(alertasDaColeta(s, c.acidez, c.temperatura, c.alizarol), c.esperados) << c.nome;
}

TEST(QualityAlerts, UnsetThresholdsRaiseNothing)
{
    const Settings nenhum;
    EXPECT_FALSE(haLimitesDeQualidade(nenhum));
    EXPECT_TRUE(alertasDaColeta(nenhum, "positivo", "99", "2").empty());

    // Each threshold on its own.
    Settings soTemperatura;
    soTemperatura.temperaturaMaxima = 0;
    EXPECT_TRUE(haLimitesDeQualidade(soTemperatura));
    EXPECT_EQ(alertasDaColeta(soTemperatura, "positivo", "0.5", "2"),
              (std::vector<AlertaEncontrado>{{kAlertaTemperatura, "0.5"}}));
    Settings soAcidez;
    soAcidez.acidezReprovada = {"positivo"};
    EXPECT_EQ(alertasDaColeta(soAcidez, "Positivo", "99", "2"),
              (std::vector<AlertaEncontrado>{{kAlertaAcidez, "Positivo"}}));
    // A listed value that is not a number matches nothing, not even itself.
    Settings alizarolTexto;
    alizarolTexto.alizarolReprovado = {"reprovado"};
    EXPECT_TRUE(alertasDaColeta(alizarolTexto, "", "", "reprovado").empty());
}

TEST(QualityAlerts, SmallLettersOverTheLatin1Range)
{
    EXPECT_EQ(minusculasLatin1("AZaz09 ÀÉÎÕÜÇÑÝÞ"), "azaz09 àéîõüçñýþ");
    EXPECT_EQ(minusculasLatin1("×÷ßÿ"), "×÷ßÿ") << "no small letter, or already one";
    EXPECT_EQ(minusculasLatin1("\xC3"), "\xC3") << "a lead byte at the end stays";
    EXPECT_EQ(minusculasLatin1("€Ā"), "€Ā") << "outside Latin-1, left alone";
}

} // namespace
} // namespace quelvor::base
