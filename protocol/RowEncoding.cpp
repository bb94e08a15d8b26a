#include "protocol/RowEncoding.h"

#include "db/RegionalFormat.h"

#include <algorithm>
#include <cstdio>

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

Regra regraDoTipo(const std::string& tipo)
{
    for (const char* t : {"String", "SmallInt", "Integer", "Memo", "WideString", "WideMemo"})
        if (tipo == t)
            return Regra::Texto;
    for (const char* t : {"Float", "BCD", "FMTBcdField"})
        if (tipo == t)
            return Regra::Decimal;
    if (tipo == "Date")
        return Regra::Data;
    if (tipo == "DateTime" || tipo == "SQLTimeStamp")
        return Regra::DataHora;
    return Regra::NaoTratado;
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
        return comPonto(db::generalFloat(*d, 15, db::kDecimalSeparator));
    if (const std::int64_t* n = std::get_if<std::int64_t>(&valor.data))
        return comPonto(db::generalScaled(*n, coluna.scale, db::kDecimalSeparator));
    return comPonto(db::asText(valor, coluna));
}

// m/d/yy: no leading zeros on month and day, always two digits of the year.
std::string data(const db::Date& d)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d%c%d%c%02d", d.month, db::kDateSeparator, d.day, db::kDateSeparator,
                  d.year % 100);
    return buf;
}

// mm/dd/yyyy hh:mm:ss on a 24-hour clock.
std::string dataHora(const db::Timestamp& ts)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d%c%02d%c%04d %02d%c%02d%c%02d", ts.date.month, db::kDateSeparator,
                  ts.date.day, db::kDateSeparator, ts.date.year, ts.time.hour, db::kTimeSeparator,
                  ts.time.minute, db::kTimeSeparator, ts.time.second);
    return buf;
}

} // namespace

std::string limpaTexto(const std::string& texto)
{
    std::string out;
    out.reserve(texto.size());
    for (char c : texto)
        if (c != '\'' && c != '"' && c != '`' && c != '\r' && c != '\n')
            out += c;
    return out;
}

ValorCodificado codificaValor(const db::Value& valor, const db::Column& coluna)
{
    ValorCodificado out;
    if (!valor.isNull()) {
        switch (regraDoTipo(coluna.kind())) {
        case Regra::Texto:
            out.texto = limpaTexto(db::asText(valor, coluna));
            break;
        case Regra::Decimal:
            out.texto = decimal(valor, coluna);
            break;
        case Regra::Data:
            if (const db::Date* d = std::get_if<db::Date>(&valor.data))
                out.texto = data(*d);
            break;
        case Regra::DataHora:
            if (const db::Timestamp* ts = std::get_if<db::Timestamp>(&valor.data))
                out.texto = dataHora(*ts);
            break;
        case Regra::NaoTratado:
            out.tratado = false;
            break;
        }
    }
    if (out.texto.empty())
        out.texto = " ";
    return out;
}

std::string mensagemNaoTratado(const std::string& tipo, const std::string& valorTexto)
{
    return "Tipo " + tipo + " - " + valorTexto + "Nao tratado";
}

void NaoTratados::registra(const db::Value& valor, const db::Column& coluna)
{
    const std::string tipo = coluna.kind();
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
