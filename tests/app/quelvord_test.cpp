// quelvord as an operator runs it: a copy of the executable with its
// configuration file beside it, talked to over a real socket, stopped with a
// signal.
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quelvor;
using quelvor::test::QuelvordProcess;
using quelvor::test::TestDatabase;
using quelvor::test::TestDevice;

namespace {

const std::string S(1, '\x02');

} // namespace

TEST(Quelvord, ServesHandheldsAndStopsCleanlyOnSignals)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '5', '2.0');"
                  "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_NROTANQUES) VALUES ('HH', 'S', 1);"
                  "INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO) VALUES (999999, 'S');");
    base::Settings s = test::settingsForServer(db);
    QuelvordProcess daemon(QUELVORD_PATH, s);
    TestDevice released("127.0.0.1", s.edtPorta);
    released.send("1000" + S + "HH" + S + "1" + S + "2" + S + "5" + S + "2.0" + S + "\r\n");
    const std::string reply = released.receiveUntil("9999" + S + "\r\n");
    EXPECT_EQ(reply.substr(0, 7), "2000" + S + "1" + S) << reply;
    // No device is served before the session rows of an earlier run are gone.
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM SESSOESATIVAS WHERE SES_ID = 999999;"), "0");
    TestDevice idle("127.0.0.1", s.edtPorta);
    // Both connections accepted before the signals: the second "Conectou".
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto connects = [&] {
        const std::string out = daemon.output();
        size_t n = 0;
        for (size_t at = out.find("-Conectou: "); at != std::string::npos;
             at = out.find("-Conectou: ", at + 1))
            ++n;
        return n;
    };
    while (connects() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(connects(), 2u) << daemon.output();

    // SIGUSR1 runs a synchronisation, which finds the integration off.
    daemon.signal(SIGUSR1);
    EXPECT_TRUE(daemon.waitForOutput("-Integração com TARVELL não está ativa."));

    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(), 0);
    const std::string out = daemon.output();
    EXPECT_NE(out.find("-Serviços encerrados"), std::string::npos) << out;
    size_t disconnects = 0;
    for (size_t at = out.find("-Desconectou: "); at != std::string::npos;
         at = out.find("-Desconectou: ", at + 1))
        ++disconnects;
    EXPECT_EQ(disconnects, 2u);
    EXPECT_TRUE(released.endedByServer());
}

TEST(Quelvord, WithoutConfigurationItSaysSoAndExitsWithStatusOne)
{
    QuelvordProcess daemon(QUELVORD_PATH, nullptr, QuelvordProcess::NoWait{});
    EXPECT_EQ(daemon.wait(), 1);
    // Said once, on standard output only; a server without a window creates no interface.
    const std::string out = daemon.output();
    const std::string message = "-Necessário efetuar a configuração do sistema";
    ASSERT_NE(out.find(message), std::string::npos) << out;
    EXPECT_EQ(out.find(message, out.find(message) + 1), std::string::npos) << out;
    EXPECT_EQ(daemon.errors(), "");
    EXPECT_EQ(out.find("Interface criada"), std::string::npos) << out;
}

TEST(Quelvord, InterruptDuringTheStartUpWaitEndsIt)
{
    base::Settings s;
    s.edtPorta = test::freeLoopbackPort();
    s.edtTempoInicializacao = 30;
    QuelvordProcess daemon(QUELVORD_PATH, &s, QuelvordProcess::NoWait{});
    ASSERT_TRUE(daemon.waitForOutput("-Aguardando 1 de 30"));
    daemon.signal(SIGINT);
    EXPECT_EQ(daemon.wait(), 0);
    EXPECT_EQ(daemon.output().find("Iniciando tentativa"), std::string::npos);
}
