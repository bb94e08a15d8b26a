// Key allocation ("4001") against real collection and ERP databases.
#include "ProtocolHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelvor::protocol::harness {
namespace {

using test::TestDatabase;

std::int64_t valorAtual(const TestDatabase& base, const std::string& generator)
{
    const db::ResultSet rs = consulta(base, "SELECT GEN_ID(" + generator + ",0) FROM RDB$DATABASE");
    return std::get<std::int64_t>(rs.rows.at(0).at(0).data);
}

TEST(KeyAllocation, CollectionGeneratorGivesSuccessiveKeysWithTheReferenceEchoed)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("ALTER SEQUENCE GEN_CARGAS RESTART WITH 41;");
    SessaoLiberada sessao(base);
    const std::int64_t n = valorAtual(base, "GEN_CARGAS") + 1;

    const std::string pedidoA = linha({"4001", "H1", "-23.5", "-46.6", "A", ""});
    const Resposta a = sessao.envia(pedidoA);
    EXPECT_EQ(a.linhas, (std::vector<std::string>{resposta({"5001", std::to_string(n), "A"}), kFim}));
    EXPECT_TRUE(contem(a.log, "Solicitando generator: " + pedidoA));

    // No trailing separator: field 4 is still there.
    const Resposta b = sessao.envia(linha({"4001", "H1", "-23.5", "-46.6", "B"}));
    EXPECT_EQ(b.linhas, (std::vector<std::string>{resposta({"5001", std::to_string(n + 1), "B"}), kFim}));

    // An empty reference is echoed as an empty field.
    const Resposta c = sessao.envia(linha({"4001", "H1", "-23.5", "-46.6", ""}));
    EXPECT_EQ(c.linhas, (std::vector<std::string>{resposta({"5001", std::to_string(n + 2), ""}), kFim}));
}

TEST(KeyAllocation, ErpGeneratorWheneverAnErpPathIsSet)
{
    TestDatabase coleta(TestDatabase::Kind::Coleta);
    TestDatabase erp(TestDatabase::Kind::Tarvell);
    erp.execScript("ALTER SEQUENCE DESCARGAS_DES_CODIGO_GEN RESTART WITH 900;");
    SessaoLiberada sessao(coleta, &erp);
    const std::int64_t n = valorAtual(erp, "DESCARGAS_DES_CODIGO_GEN") + 1;

    const Resposta r = sessao.envia(linha({"4001", "H1", "-23.5", "-46.6", "R7", ""}));
    EXPECT_EQ(r.linhas, (std::vector<std::string>{resposta({"5001", std::to_string(n), "R7"}), kFim}));
    EXPECT_EQ(valorAtual(erp, "DESCARGAS_DES_CODIGO_GEN"), n);
    EXPECT_EQ(valorAtual(coleta, "GEN_CARGAS"), 0);
}

TEST(KeyAllocation, MissingGeneratorGivesTheEndLineOnly)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("DROP SEQUENCE GEN_CARGAS;");
    SessaoLiberada sessao(base);

    const Resposta r = sessao.envia(linha({"4001", "H1", "-23.5", "-46.6", "A", ""}));
    EXPECT_FALSE(r.abandonada);
    EXPECT_EQ(r.linhas, std::vector<std::string>{kFim});
    const auto erros = comecamCom(r.log, "Erro na query: SELECT GEN_ID(GEN_CARGAS,1) FROM RDB$DATABASE");
    EXPECT_EQ(erros.size(), 1u);
}

TEST(KeyAllocation, LineWithoutField4UsesAKeyAndIsAbandoned)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);

    const Resposta r = sessao.envia(linha({"4001", "H1", "-23.5", "-46.6"}));
    EXPECT_TRUE(r.abandonada);
    EXPECT_TRUE(r.linhas.empty());
    // The generator moved before field 4 was read; that key is lost.
    EXPECT_EQ(valorAtual(base, "GEN_CARGAS"), 1);
}

} // namespace
} // namespace quelvor::protocol::harness
