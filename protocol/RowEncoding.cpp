#include "protocol/RowEncoding.h"

#include "base/Numbers.h"
#include "base/RegionalFormat.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quelvor::protocol {
namespace {

enum class Regra
{
    Texto,
    Decimal,
    Data,
    DataHora,
    NaoTratado
};

Regra regraDoTipo(db::ColumnKind tipo)
{
    switch (tipo) {
    case db::ColumnKind::String:
    case db::ColumnKind::SmallInt:
    case db::ColumnKind::Integer:
    case db::ColumnKind::Memo:
        return Regra::Texto;
    case db::ColumnKind::Float:
    case db::ColumnKind::BCD:
    case db::ColumnKind::FMTBcdField:
        return Regra::Decimal;
    case db::ColumnKind::Date:
        return Regra::Data;
    case db::ColumnKind::SQLTimeStamp:
        return Regra::DataHora;
    default:
        return Regra::NaoTratado;
    }
}

// The handheld always reads a point, whatever the server's decimal separator.
std::string comPonto(std::string s)
{
    std::replace(s.begin(), s.end(), ',', '.');
    return s;
}

std::string decimal(const db::Value& valor, const db::Column& coluna)
{
    if (const double* d = std::get_if<double>(&valor.data))
        return comPonto(base::generalFloat(*d, 15, base::kDecimalSeparator));
    if (const std::int64_t* n = std::get_if<std::int64_t>(&valor.data))
        return comPonto(base::generalScaled(*n, coluna.scale, base::kDecimalSeparator));
    return comPonto(db::asText(valor, coluna));
}

// m/d/yy: no leading zeros on month and day, always two digits of the year.
std::string data(const base::Date& d)
{
    return std::to_string(d.month) + base::kDateSeparator + std::to_string(d.day) + base::kDateSeparator +
           base::zeroPadded(d.year % 100, 2);
}

// mm/dd/yyyy hh:mm:ss on a 24-hour clock.
std::string dataHora(const base::Timestamp& ts)
{
    using base::zeroPadded;
    return zeroPadded(ts.date.month, 2) + base::kDateSeparator + zeroPadded(ts.date.day, 2) +
           base::kDateSeparator + zeroPadded(ts.date.year, 4) + ' ' + zeroPadded(ts.time.hour, 2) +
           base::kTimeSeparator + zeroPadded(ts.time.minute, 2) + base::kTimeSeparator +
           zeroPadded(ts.time.second, 2);
}

// The characters a text value loses on its way to the handheld.
constexpr std::array<bool, 256> kRemovidos = [] {
    std::array<bool, 256> r{};
    for (unsigned char c : {'\'', '"', '`', '\r', '\n'})
        r[c] = true;
    return r;
}();

// Appends the text without the characters it loses, a run at a time.
void acrescentaLimpo(std::string_view texto, std::string& linha)
{
    size_t desde = 0;
    for (size_t i = 0; i < texto.size(); ++i) {
        if (kRemovidos[static_cast<unsigned char>(texto[i])]) {
            linha.append(texto, desde, i - desde);
            desde = i + 1;
        }
    }
    linha.append(texto, desde);
}

} // namespace

std::string limpaTexto(const std::string& texto)
{
    std::string out;
    out.reserve(texto.size());
    acrescentaLimpo(texto, out);
    return out;
}

bool acrescentaValor(const db::Value& valor, const db::Column& coluna, std::string& linha)
{
    const size_t antes = linha.size();
    bool tratado = true;
    if (!valor.isNull()) {
        switch (regraDoTipo(coluna.kind())) {
        case Regra::Texto:
            // Text as it came; whole numbers in their decimal digits.
            if (const std::string* s = std::get_if<std::string>(&valor.data))
                acrescentaLimpo(*s, linha);
            else
                acrescentaLimpo(db::asText(valor, coluna), linha);
            break;
        case Regra::Decimal:
            linha += decimal(valor, coluna);
            break;
        case Regra::Data:
            if (const base::Date* d = std::get_if<base::Date>(&valor.data))
                linha += data(*d);
            break;
        case Regra::DataHora:
            if (const base::Timestamp* ts = std::get_if<base::Timestamp>(&valor.data))
                linha += dataHora(*ts);
            break;
        case Regra::NaoTratado:
            tratado = false;
            break;
        }
    }
    if (linha.size() == antes)
        linha += ' ';
    return tratado;
}

ValorCodificado codificaValor(const db::Value& valor, const db::Column& coluna)
{
    ValorCodificado out;
    out.tratado = acrescentaValor(valor, coluna, out.texto);
    return out;
}

std::string mensagemNaoTratado(const std::string& tipo, const std::string& valorTexto)
{
    return "Tipo " + tipo + " - " + valorTexto + "Nao tratado";
}

void NaoTratados::registra(const db::Value& valor, const db::Column& coluna)
{
    const std::string tipo(db::kindName(coluna.kind()));
    const std::string mensagem = mensagemNaoTratado(tipo, db::asText(valor, coluna));
    m_log(tipo);
    auto it = std::find_if(m_tipos.begin(), m_tipos.end(), [&](const PorTipo& p) { return p.tipo == tipo; });
    if (it == m_tipos.end()) {
        m_tipos.push_back({tipo, mensagem, 1});
        return;
    }
    ++it->quantidade;
    m_log(mensagem);
}

std::vector<std::string> NaoTratados::avisos() const
{
    std::vector<std::string> out;
    for (const PorTipo& p : m_tipos) {
        if (p.quantidade == 1)
            out.push_back(p.primeiraMensagem);
        else
            out.push_back(p.primeiraMensagem + " (" + std::to_string(p.quantidade) +
                          " valores afetados nesta requisicao; os demais estao no log)");
    }
    return out;
}

} // namespace quelvor::protocol
