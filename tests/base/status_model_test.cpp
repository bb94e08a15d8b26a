#include "base/StatusModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace quelvor::base;
using namespace std::chrono_literals;

namespace {

// Many connection threads feed the model while a reader takes snapshots: every
// snapshot must be whole (a connection's requests never exceed what the
// request counters hold, uploads never exceed their requests), and at the end
// every count is exact.
TEST(StatusModelTest, ConcurrentConnectionsCountRightAndSnapshotsAreWhole)
{
    StatusModel model;
    model.servicoIniciado(7010);
    constexpr int kThreads = 8;
    constexpr int kRequests = 2000;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};

    std::thread reader([&] {
        while (!done) {
            const StatusSnapshot s = model.snapshot();
            std::uint64_t porConexao = 0;
            for (const auto& c : s.conexoes)
                porConexao += c.pedidos;
            std::uint64_t contados = 0;
            for (const auto& [codigo, e] : s.pedidos) {
                contados += e.pedidos;
                std::uint64_t nosBaldes = 0;
                for (auto n : e.latencia.contagens)
                    nosBaldes += n;
                if (nosBaldes != e.latencia.total || e.latencia.total != e.pedidos)
                    ++torn;
            }
            const auto envio = s.envios.find("6003");
            const auto pedido = s.pedidos.find("6003");
            if (envio != s.envios.end() &&
                (pedido == s.pedidos.end() || envio->second.confirmados > pedido->second.pedidos))
                ++torn;
            if (porConexao > contados)
                ++torn;
        }
    });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string chave = std::to_string(100 + t);
            model.conectou(chave, "10.0.0." + std::to_string(t));
            model.identificou(chave, "HH" + std::to_string(t), "2.1");
            for (int i = 0; i < kRequests; ++i) {
                model.pedido(chave, "6003", std::chrono::microseconds(500 + i), false);
                model.envio(chave, "6003", i % 10 != 0);
            }
            model.pedido(chave, "zzzz", 1ms, true);
        });
    for (auto& t : threads)
        t.join();
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);

    const StatusSnapshot s = model.snapshot();
    ASSERT_EQ(s.conexoes.size(), size_t(kThreads));
    for (const auto& c : s.conexoes) {
        EXPECT_EQ(c.pedidos, std::uint64_t(kRequests + 1));
        EXPECT_EQ(c.enviosConfirmados, std::uint64_t(kRequests - kRequests / 10));
        EXPECT_EQ(c.ultimoCodigo, std::string(kCodigoOutro));
        EXPECT_EQ(c.dispositivo, "HH" + c.chave.substr(2));
    }
    EXPECT_EQ(s.pedidos.at("6003").pedidos, std::uint64_t(kThreads * kRequests));
    EXPECT_EQ(s.pedidos.at(std::string(kCodigoOutro)).falhas, std::uint64_t(kThreads));
    EXPECT_EQ(s.envios.at("6003").confirmados, std::uint64_t(kThreads * (kRequests - kRequests / 10)));
    EXPECT_EQ(s.envios.at("6003").naoConfirmados, std::uint64_t(kThreads * kRequests / 10));
    EXPECT_EQ(s.pedidos.size(), 2u) << "codes beyond the known ones share one counter";

    model.servicoParado();
    EXPECT_EQ(model.conexoesAtivas(), 0u);
}

TEST(StatusModelTest, HistogramBucketsAreInclusiveUpperBounds)
{
    Histograma h;
    h.registra(1ms);    // exactly on the first bound
    h.registra(1500us); // the second
    h.registra(11s);    // beyond the last
    EXPECT_EQ(h.contagens[0], 1u);
    EXPECT_EQ(h.contagens[1], 1u);
    EXPECT_EQ(h.contagens.back(), 1u);
    EXPECT_EQ(h.total, 3u);
    EXPECT_NEAR(h.somaSegundos, 11.0025, 1e-9);
}

// A database's state changes only on a change of answer; the last error
// stays after it answers again. Synchronisation runs and errors are bounded.
TEST(StatusModelTest, DatabasesRunsAndBoundedLists)
{
    StatusModel model;
    model.baseFalhou(StatusModel::Base::Coleta, "connection refused");
    const auto caiu = model.snapshot().coleta.desde;
    model.baseFalhou(StatusModel::Base::Coleta, "connection refused again");
    StatusSnapshot s = model.snapshot();
    EXPECT_TRUE(s.coleta.verificada);
    EXPECT_FALSE(s.coleta.respondendo);
    EXPECT_EQ(s.coleta.desde, caiu);
    EXPECT_EQ(s.coleta.ultimoErro, "connection refused again");
    EXPECT_FALSE(s.tarvell.verificada);
    model.baseRespondeu(StatusModel::Base::Coleta);
    s = model.snapshot();
    EXPECT_TRUE(s.coleta.respondendo);
    EXPECT_EQ(s.coleta.ultimoErro, "connection refused again");

    std::uint64_t last = 0;
    for (size_t i = 0; i < StatusModel::kSincronizacoesGuardadas + 3; ++i) {
        last = model.sincronizacaoIniciada();
        model.sincronizacaoTabela(last, {"ROTAS", 5, 1});
        model.sincronizacaoTabela(last, {"ROTAS", 6, 2});
        model.sincronizacaoTabela(last, {"PRODUTORES", 100, 0});
    }
    model.sincronizacaoTerminada(last, false, "lost connection");
    for (size_t i = 0; i < StatusModel::kErrosGuardados + 5; ++i)
        model.erro("erro " + std::to_string(i));
    s = model.snapshot();
    ASSERT_EQ(s.sincronizacoes.size(), StatusModel::kSincronizacoesGuardadas);
    EXPECT_EQ(s.sincronizacoes.front().numero, 4u);
    const auto& ultima = s.sincronizacoes.back();
    EXPECT_FALSE(ultima.emAndamento);
    EXPECT_FALSE(ultima.sucesso);
    EXPECT_EQ(ultima.erro, "lost connection");
    ASSERT_EQ(ultima.tabelas.size(), 2u);
    EXPECT_EQ(ultima.tabelas[0].lidas, 6u);
    EXPECT_EQ(ultima.tabelas[0].gravadas, 2u);
    EXPECT_TRUE(s.sincronizacoes.front().emAndamento);
    ASSERT_EQ(s.erros.size(), StatusModel::kErrosGuardados);
    EXPECT_EQ(s.erros.back().texto, "erro " + std::to_string(StatusModel::kErrosGuardados + 4));
}

} // namespace
