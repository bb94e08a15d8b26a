// The status model as the listener, the request intake and the handlers feed
// it, with several handhelds served at once on a scratch database.
#include "server/TcpListener.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <numeric>
#include <set>
#include <thread>

using namespace quelvor;
using quelvor::server::IdTCPServer;
using quelvor::test::LogMessages;
using quelvor::test::TestDatabase;
using quelvor::test::TestDevice;
using quelvor::test::waitUntil;

namespace {

const std::string kStx = "\x02";
const std::string kFim = "9999" + kStx + "\r\n";

std::string linha(const std::vector<std::string>& campos)
{
    std::string out;
    for (size_t i = 0; i < campos.size(); ++i)
        out += (i ? kStx : "") + campos[i];
    return out + "\r\n";
}

std::uint64_t pedidosPorConexao(const base::StatusSnapshot& s)
{
    return std::accumulate(s.conexoes.begin(), s.conexoes.end(), std::uint64_t{0},
                           [](std::uint64_t n, const base::ConexaoAtiva& c) { return n + c.pedidos; });
}

std::uint64_t pedidosPorTipo(const base::StatusSnapshot& s)
{
    std::uint64_t n = 0;
    for (const auto& [codigo, e] : s.pedidos)
        n += e.pedidos;
    return n;
}

class StatusFeedTest : public ::testing::Test
{
protected:
    StatusFeedTest()
    {
        db.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '1', '2.0');");
        for (int i = 0; i < kAparelhos; ++i)
            db.execScript("INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO) VALUES ('H" + std::to_string(i) +
                          "', 'S');");
        base::Settings s;
        s.EdtBaseColeta = db.connectionString();
        s.EdtUsuarioColeta = db.user();
        s.EdtSenhaColeta = db.password();
        s.poolConexoes = 2;
        state.settings.set(s);
    }

    static constexpr int kAparelhos = 4;
    static constexpr int kPontos = 6;
    static constexpr int kEspera = 3;

    TestDatabase db{TestDatabase::Kind::Coleta};
    base::ServiceState state;
    LogMessages log;
    IdTCPServer server{state};
};

} // namespace

// Each handheld: its handshake, tracking points, keep-alives, a code the
// server does not know, one load that the database refuses. Meanwhile a
// reader takes snapshots: every one must add up (per connection and per type,
// updated under one lock), or a reader saw half of an update.
TEST_F(StatusFeedTest, ConcurrentHandheldsAreCountedPerConnectionAndPerType)
{
    server.activate(0);
    std::atomic<bool> fim{false};
    // The reader stops before the handhelds hang up: a snapshot taken while
    // one leaves would rightly miss its requests.
    std::atomic<bool> leituraFim{false};
    std::atomic<int> rasgadas{0};
    std::atomic<int> leituras{0};
    std::thread leitor([&] {
        while (!leituraFim) {
            const base::StatusSnapshot s = state.status.snapshot();
            if (pedidosPorConexao(s) != pedidosPorTipo(s))
                ++rasgadas;
            ++leituras;
        }
    });

    std::vector<std::thread> aparelhos;
    std::atomic<int> falhas{0};
    for (int i = 0; i < kAparelhos; ++i)
        aparelhos.emplace_back([&, i] {
            const std::string id = "H" + std::to_string(i);
            TestDevice d("127.0.0.1", server.port());
            auto pede = [&](const std::string& l, const std::string& ate) {
                d.send(l);
                if (d.receiveUntil(ate).find(ate) == std::string::npos)
                    ++falhas;
            };
            pede(linha({"1000", id, "-23.5", "-46.6", "1", "2.0." + std::to_string(i), ""}), kFim);
            for (int p = 0; p < kPontos; ++p)
                pede(linha({"6003", id, "-23.5", "-46.6", std::to_string(p), "-23.55", "-46.63",
                            "01/15/2020 07:20:00", "5001", "45.5", "12.25", "5m"}),
                     kFim);
            for (int k = 0; k < kEspera; ++k)
                pede("0000\r\n", "9999\r\n");
            pede(linha({"8123", id, "-23.5", "-46.6"}), kFim);
            // A load whose total is no number: refused, not acknowledged.
            pede(linha({"6001", id, "-23.5", "-46.6", "17", "12/31/2026", "12/31/2026 06:00:00", "", "muito",
                        id, "500" + std::to_string(i), "S", "x", "JOAO", "12", "20", "1", "2", "3"}),
                 kFim);
            // Still connected: wait here until the test has looked.
            while (!fim)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });

    const std::uint64_t porAparelho = 1 + kPontos + kEspera + 1 + 1;
    const bool contados =
        waitUntil([&] { return pedidosPorTipo(state.status.snapshot()) == kAparelhos * porAparelho; });
    const base::StatusSnapshot s = state.status.snapshot();
    leituraFim = true;
    leitor.join();
    fim = true;
    for (auto& t : aparelhos)
        t.join();
    ASSERT_TRUE(contados) << pedidosPorTipo(s);
    EXPECT_EQ(falhas, 0);
    EXPECT_EQ(rasgadas, 0) << "of " << leituras << " snapshots";

    ASSERT_EQ(s.conexoes.size(), static_cast<size_t>(kAparelhos));
    std::set<std::string> vistos;
    for (const base::ConexaoAtiva& c : s.conexoes) {
        vistos.insert(c.dispositivo);
        EXPECT_EQ(c.versao, "2.0." + c.dispositivo.substr(1));
        EXPECT_EQ(c.endereco, "127.0.0.1");
        EXPECT_EQ(c.pedidos, porAparelho) << c.dispositivo;
        EXPECT_EQ(c.enviosConfirmados, static_cast<std::uint64_t>(kPontos)) << c.dispositivo;
        EXPECT_EQ(c.ultimoCodigo, "6001");
        EXPECT_NE(c.ultimoPedido, base::WallClock::time_point{});
        EXPECT_LE(c.conectadoDesde, c.ultimoPedido);
    }
    EXPECT_EQ(vistos, (std::set<std::string>{"H0", "H1", "H2", "H3"}));
    const std::map<std::string, std::uint64_t> esperados{{"1000", kAparelhos},
                                                         {"6003", kAparelhos * kPontos},
                                                         {"0000", kAparelhos * kEspera},
                                                         {std::string(base::kCodigoOutro), kAparelhos},
                                                         {"6001", kAparelhos}};
    std::map<std::string, std::uint64_t> contagens;
    for (const auto& [codigo, e] : s.pedidos) {
        contagens[codigo] = e.pedidos;
        EXPECT_EQ(e.falhas, 0u) << codigo;
        EXPECT_EQ(e.latencia.total, e.pedidos) << codigo;
        EXPECT_GT(e.latencia.somaSegundos, 0) << codigo;
    }
    EXPECT_EQ(contagens, esperados);
    EXPECT_EQ(s.envios.at("6003").confirmados, static_cast<std::uint64_t>(kAparelhos * kPontos));
    EXPECT_EQ(s.envios.at("6003").naoConfirmados, 0u);
    EXPECT_EQ(s.envios.at("6001").confirmados, 0u);
    EXPECT_EQ(s.envios.at("6001").naoConfirmados, static_cast<std::uint64_t>(kAparelhos));
    EXPECT_EQ(s.conexoesAceitas, static_cast<std::uint64_t>(kAparelhos));
    EXPECT_EQ(s.erros.size(), static_cast<size_t>(kAparelhos)) << "one per refused load";
    EXPECT_TRUE(s.coleta.verificada);
    EXPECT_TRUE(s.coleta.respondendo);

    // Gone from the model once they have disconnected.
    EXPECT_TRUE(waitUntil([&] { return state.status.conexoesAtivas() == 0; }));
    server.deactivate();
}

// A request abandoned (a missing field ends the connection) counts as failed;
// a connection turned away by the cap is counted; an unreachable database is
// told as not answering, with its error once among the recent ones.
TEST_F(StatusFeedTest, AbandonedRequestsRefusedConnectionsAndAnUnreachableDatabase)
{
    base::Settings s = state.settings.get();
    s.maximoConexoes = 1;
    state.settings.set(s);
    server.activate(0);
    {
        TestDevice d("127.0.0.1", server.port());
        ASSERT_TRUE(waitUntil([&] { return state.status.conexoesAtivas() == 1; }));
        TestDevice recusada("127.0.0.1", server.port());
        EXPECT_TRUE(recusada.endedByServer());
        // A handshake without its company field: abandoned, the connection ends.
        d.send(linha({"1000", "H0", "-23.5", "-46.6"}));
        EXPECT_TRUE(d.endedByServer());
    }
    ASSERT_TRUE(waitUntil([&] { return state.status.conexoesAtivas() == 0; }));
    base::StatusSnapshot depois = state.status.snapshot();
    EXPECT_EQ(depois.recusadasPeloLimite, 1u);
    ASSERT_EQ(depois.pedidos.count("1000"), 1u);
    EXPECT_EQ(depois.pedidos.at("1000").pedidos, 1u);
    EXPECT_EQ(depois.pedidos.at("1000").falhas, 1u);

    // The database path now leads nowhere: every request is abandoned.
    s.EdtBaseColeta = db.connectionString() + ".nao-existe";
    s.maximoConexoes = 0;
    state.settings.set(s);
    for (int i = 0; i < 2; ++i) {
        TestDevice d("127.0.0.1", server.port());
        d.send("0000\r\n");
        EXPECT_TRUE(d.endedByServer());
    }
    ASSERT_TRUE(waitUntil([&] {
        const auto p = state.status.snapshot().pedidos;
        return p.count("0000") && p.at("0000").falhas == 2;
    }));
    depois = state.status.snapshot();
    EXPECT_TRUE(depois.coleta.verificada);
    EXPECT_FALSE(depois.coleta.respondendo);
    EXPECT_FALSE(depois.coleta.ultimoErro.empty());
    size_t inacessivel = 0;
    for (const base::ErroRecente& e : depois.erros)
        inacessivel += e.texto.starts_with("Base de dados das Coletas inacessível: ");
    EXPECT_EQ(inacessivel, 1u) << "said once, then counted";
    server.deactivate();
}
