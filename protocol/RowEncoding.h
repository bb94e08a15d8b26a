#pragma once
// How catalogue values travel to the handheld: each value of a row becomes one
// field of the row line, written by the rule of its column's kind. Pure
// functions, callable from any thread.
//
// Values of a kind the handheld cannot take (BIGINT, TIME, BOOLEAN, binary
// BLOB, ...) go out as a blank and are reported to the operator. A catalogue
// that holds such a column would otherwise raise one message box per row, so
// NaoTratados collects them for one request: one box per kind with the number
// of values affected, and the values past the first of each kind go to the log.

#include "db/ResultSet.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quelvor::protocol {

// What a handheld gets for one value.
struct ValorCodificado
{
    std::string texto;   // never empty: a single blank stands for "nothing"
    bool tratado = true; // false: the kind cannot be carried and texto is the blank
};

// The row encoding:
// - null: a blank;
// - text kinds (String, SmallInt, Integer, Memo): the text without
//   apostrophes, double quotes, backquotes, CR and LF (STX stays);
// - decimals (Float, BCD, FMTBcdField): the general number format with a
//   point, 15 significant digits for FLOAT/DOUBLE, the exact digits of NUMERIC;
// - Date: m/d/yy; SQLTimeStamp: mm/dd/yyyy hh:mm:ss;
// - any other kind: not handled, a blank.
// An empty result is sent as a single blank.
ValorCodificado codificaValor(const db::Value& valor, const db::Column& coluna);
// The same text appended to `linha` (a row line being built); false when the
// kind cannot be carried (the blank was appended).
bool acrescentaValor(const db::Value& valor, const db::Column& coluna, std::string& linha);

// The characters that a text value loses on its way to the handheld.
std::string limpaTexto(const std::string& texto);

// The operator's text for one value of an unhandled kind, e.g.
// "Tipo LargeInt - 1234Nao tratado".
std::string mensagemNaoTratado(const std::string& tipo, const std::string& valorTexto);

// The unhandled values met while one request's rows were encoded.
class NaoTratados
{
public:
    using Log = std::function<void(const std::string&)>;

    explicit NaoTratados(Log log) : m_log(std::move(log)) {}

    // Logs the kind's name for this value; from the second value of a kind on,
    // the value's own operator text is logged as well, since it gets no box.
    void registra(const db::Value& valor, const db::Column& coluna);

    // One box per kind, in the order the kinds were first met: the text of the
    // kind's first value, and the count when more than one value was affected.
    std::vector<std::string> avisos() const;

    bool vazio() const { return m_tipos.empty(); }

private:
    struct PorTipo
    {
        std::string tipo;
        std::string primeiraMensagem;
        std::size_t quantidade = 0;
    };

    Log m_log;
    std::vector<PorTipo> m_tipos;
};

} // namespace quelvor::protocol
