// Catalogue download ("1001" to "1005"): a header with the row count, one line
// per row, whole tables or only the rows changed after a sequence number.
#include "protocol/TConexao.h"

#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "protocol/RowEncoding.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::protocol {
namespace {

constexpr std::size_t kLoteDoLog = 256;

// The rows of one catalogue as the handheld reads them after "3" and the
// table code, one after the other in blocks of text that grow with the
// catalogue: no allocation per row, a big catalogue takes little more room
// than its text, and each block's room goes back once its rows are sent.
class LinhasGuardadas
{
public:
    void acrescenta(std::string_view texto)
    {
        if (texto.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("uma linha do catálogo passa de 4 GB");
        if (m_blocos.empty() ||
            m_blocos.back().texto.capacity() - m_blocos.back().texto.size() < texto.size()) {
            const std::size_t proximo = m_blocos.empty()
                                            ? kPrimeiroBloco
                                            : std::min(m_blocos.back().texto.capacity() * 2, kMaiorBloco);
            m_blocos.emplace_back();
            m_blocos.back().texto.reserve(std::max(proximo, texto.size()));
        }
        Bloco& bloco = m_blocos.back();
        bloco.texto.append(texto);
        ++bloco.linhas;
        m_tamanhos.push_back(static_cast<std::uint32_t>(texto.size()));
    }

    std::size_t size() const { return m_tamanhos.size(); }

    // Calls entrega(n, texto) for every row in order; a row cannot be read
    // again once its block is through.
    template <typename F> void entregaTodas(F&& entrega)
    {
        std::size_t n = 0;
        for (Bloco& bloco : m_blocos) {
            const std::string_view texto = bloco.texto;
            std::size_t inicio = 0;
            for (std::size_t k = 0; k < bloco.linhas; ++k, ++n) {
                entrega(n, texto.substr(inicio, m_tamanhos[n]));
                inicio += m_tamanhos[n];
            }
            std::string().swap(bloco.texto);
        }
    }

private:
    static constexpr std::size_t kPrimeiroBloco = 4096;
    static constexpr std::size_t kMaiorBloco = 1 << 20;

    struct Bloco
    {
        std::string texto;      // filled up to the room reserved for it, never reallocated
        std::size_t linhas = 0; // rows in it
    };
    std::vector<Bloco> m_blocos;
    std::vector<std::uint32_t> m_tamanhos; // of each row, in order
};

// Where a value stands within its row's text.
struct Trecho
{
    std::size_t inicio = 0;
    std::size_t fim = 0;
};

// A value of a kind the handheld cannot take, reported when its row is sent.
struct NaoTratadoPendente
{
    std::size_t linha;
    std::size_t coluna;
    db::Value valor;
};

} // namespace

void TConexao::catalogo(Request& r, const std::string& baseStatement, const std::string& tabela)
{
    // Field 4, the highest change number the handheld holds, is taken only
    // when the line has more than five fields: a field 4 followed by the
    // trailing separator, or more.
    // The number compares as the handheld wrote it: bound bare against the
    // INTEGER column it would be converted to a whole number first (2.5 would
    // read as 3) and a number beyond 32 bits would fail, so it goes in as a
    // double, as the literal would compare.
    std::string texto = baseStatement;
    std::string mostrado = baseStatement;
    std::vector<db::SqlParam> valores;
    if (r.ultimo() > 4) {
        texto += " WHERE SEQUENCIALALTERACAO > CAST(? AS DOUBLE PRECISION)";
        mostrado += " WHERE SEQUENCIALALTERACAO > ?";
        valores.push_back(db::bare(r.campo(4)));
    }
    texto += " ORDER BY SEQUENCIALALTERACAO";
    mostrado += " ORDER BY SEQUENCIALALTERACAO";

    // Every row is fetched before the header goes out, so its count is exact.
    // Each row is kept as the text the handheld will read, encoded as it is
    // fetched; what goes to the log is made from that text when the row is
    // sent.
    db::Sql comando(texto, std::move(valores));
    comando.shownAs(mostrado);
    LinhasGuardadas linhas;
    std::vector<db::Column> colunas;
    std::vector<db::Value> lidos; // one per column, read anew on every row
    std::vector<NaoTratadoPendente> pendentes;
    std::vector<Trecho> senhas; // of each row when the table's passwords are masked
    int senha = -1;
    std::string campos;
    auto guarda = [&](const db::RowView& row) {
        if (colunas.empty()) {
            colunas = row.columns();
            lidos.resize(colunas.size());
            // The users' passwords go to the handheld, never to the log (the
            // window, and the journal of a headless server).
            senha = tabela == "003" ? db::indexOf(colunas, "USU_SENHA") : -1;
        }
        campos.clear();
        Trecho trecho;
        for (size_t i = 0; i < colunas.size(); ++i) {
            row.read(i, lidos[i]);
            const bool mascara = static_cast<int>(i) == senha;
            if (mascara)
                trecho.inicio = campos.size();
            if (!acrescentaValor(lidos[i], colunas[i], campos))
                pendentes.push_back({linhas.size(), i, lidos[i]});
            if (mascara)
                trecho.fim = campos.size();
            campos += STX;
        }
        if (senha >= 0)
            senhas.push_back(trecho);
        linhas.acrescenta(campos);
    };
    const bool executou = m_comandos->consulta(BDColeta, comando, guarda);
    enviaRetorno("2" + tabela + STX + std::to_string(executou ? linhas.size() : 0) + STX, r.conexao);
    if (!executou) {
        // The handheld has been told there are no rows; the request goes no
        // further and the connection ends.
        throw std::runtime_error("catalogo " + tabela + ": a consulta falhou");
    }

    NaoTratados naoTratados([this](const std::string& linha) { log(linha); });
    auto avisaOperador = [&naoTratados] {
        for (const std::string& aviso : naoTratados.avisos())
            base::postOperatorMessage(aviso);
    };
    // The rows' log lines go to the log in batches: one wake-up of the main
    // thread per batch, not one per row.
    std::vector<std::string> paraOLog;
    paraOLog.reserve(kLoteDoLog);
    auto registraNoLog = [&paraOLog] {
        if (paraOLog.empty())
            return;
        base::OperatorLog::instance().appendAll(std::move(paraOLog));
        paraOLog.clear();
        paraOLog.reserve(kLoteDoLog);
    };
    const std::string inicio = "3" + tabela + STX;
    const std::string inicioNoLog = "Devolvendo:" + inicio;
    try {
        std::string linha = inicio;
        size_t proximoPendente = 0;
        linhas.entregaTodas([&](size_t n, std::string_view doRow) {
            // A value the handheld cannot take is told of where the row's
            // log line would have met it.
            for (; proximoPendente < pendentes.size() && pendentes[proximoPendente].linha == n;
                 ++proximoPendente) {
                registraNoLog(); // its own lines stay in their place
                const NaoTratadoPendente& p = pendentes[proximoPendente];
                naoTratados.registra(p.valor, colunas[p.coluna]);
            }
            // Room for the log's date and time too: the line is made in place.
            std::string noLog;
            if (senha >= 0) {
                const Trecho& t = senhas[n];
                noLog.reserve(base::OperatorLog::kLineOverhead + inicioNoLog.size() + doRow.size() + 3);
                noLog.append(inicioNoLog)
                    .append(doRow.substr(0, t.inicio))
                    .append("***")
                    .append(doRow.substr(t.fim));
            } else {
                noLog.reserve(base::OperatorLog::kLineOverhead + inicioNoLog.size() + doRow.size());
                noLog.append(inicioNoLog).append(doRow);
            }
            paraOLog.push_back(std::move(noLog));
            if (paraOLog.size() >= kLoteDoLog)
                registraNoLog();
            linha.resize(inicio.size());
            linha.append(doRow);
            r.conexao.writeLine(linha);
        });
    } catch (...) {
        // The device went away half way: the operator still hears of what was met.
        registraNoLog();
        avisaOperador();
        throw;
    }
    registraNoLog();
    avisaOperador();
}

} // namespace quelvor::protocol
