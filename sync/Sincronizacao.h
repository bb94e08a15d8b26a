#pragma once
// The ERP synchronisation: the one-way copy of routes and producers from the
// ERP (the standing connection ConexaoTarvell) into the collection database
// (ConexaoTemp), and on every eleventh run the producers' averages. It reaches
// the main window only through SincronizacaoHost.
//
// Main thread only: a run lets the front end's pending events run between
// rows, so a timer tick or a menu command may call S2Click again in the middle
// of a run; the busy mark turns such a call away. A stop of the service, or a
// restart after a save, taken there ends the run with an error: it never goes
// on over connections that were closed or reopened under it. Errors are not
// caught here: they end the run (the busy mark cleared) and reach the caller,
// whose general error handling shows them to the operator.

#include "db/ResultSet.h"
#include "db/Sql.h"
#include "sync/SincronizacaoHost.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quelvor::sync {

class Sincronizacao
{
public:
    explicit Sincronizacao(SincronizacaoHost& host);

    // One run: routes, producers and, when the run counter exceeds 10, the
    // averages. Rethrows the error that ends a run, after its closing line
    // "Processo de busca por novos dados interrompido: " and the error's text. When the application is
    // ending, the run stops at the next row, logs so and returns.
    void S2Click();
    // The ten-minute tick: a click on "Sincronizar Dados".
    void Timer2Timer();
    // The busy mark: a run is under way.
    bool ocupado() const { return m_ocupado; }

    // Copies the rows of the ERP query Query1 that are missing or differ in the
    // collection database; the rows read and written go to the status model
    // under the run under way. Query2 is the lookup without its key and ends in
    // "= "; NomeTabela ("ROTAS" or "PRODUTORES") chooses the statement written.
    void comparaDados(const std::string& Query1, const std::string& Query2, const std::string& NomeTabela);
    // Copies COL001's averages into PRODUTORES.PRO_MEDIA where they differ.
    void CalculaMedia();

    // The pause after each row, which keeps a long run from hogging the
    // collection database; tests shorten it.
    void setPausaPorLinha(std::chrono::milliseconds pausa) { m_pausa = pausa; }

private:
    // Ends a run between two rows when the application is ending.
    struct Interrompida
    {
    };

    void marcaOcupado(bool ocupado);
    void entreLinhas();
    void verificaGeracao() const;
    void verificaConexoes() const;

    SincronizacaoHost& m_host;
    bool m_ocupado = false;
    std::uint64_t m_execucao = 0; // the status model's number of the run under way; 0: none
    unsigned m_geracao = 0;       // of the standing connections when the run began
    std::chrono::milliseconds m_pausa{10};
};

// The statements that a run hands to comparaDados.
extern const char* const kConsultaRotasTarvell;
extern const char* const kConsultaRotasColeta;
extern const char* const kConsultaProdutoresTarvell;
extern const char* const kConsultaProdutoresColeta;

// Whether an ERP value (a, of column ca) makes the row differ from the
// collection value (b, of column cb): the typed test, then the quote test and
// the clean test on the values' text forms, either of which may make them the
// same again. For a coordinate the clean test also reads commas as points,
// as they were written.
bool colunaDifere(const db::Value& a, const db::Column& ca, const db::Value& b, const db::Column& cb,
                  bool coordenada = false);

// What the handhelds never get from the ERP: every CR, LF, backquote and
// apostrophe, then blanks and control characters at both ends.
std::string limpaValor(const std::string& texto);

// The statement that writes one ERP row of NomeTabela ("ROTAS" or
// "PRODUTORES"), its values cleaned and bound: the ERP query's columns line
// up, position by position, with the statement's. Throws for another table.
db::Sql comandoGravacao(const std::string& NomeTabela, const db::ResultSet& a,
                        const std::vector<db::Value>& linha);

// The average update for one COL001 row.
db::Sql comandoMedia(const db::ResultSet& a, const std::vector<db::Value>& linha, int colProdutor,
                     int colMedia);

// A number's text as a bare SQL literal (decimal point, whatever the regional
// separator); text values unchanged.
std::string textoNumerico(const db::Value& value, const db::Column& column);

} // namespace quelvor::sync
