#include "tools/FieldNames.h"

#include "tools/HandheldLines.h"

#include <algorithm>
#include <initializer_list>

namespace quelvor::tools {
namespace {

struct LineNames
{
    const char* code;
    std::vector<const char*> names; // from field 0 on
};

// Fields 0 to 3 of every request: the handheld's identity and position.
const std::vector<const char*> kRequestHead = {"code", "device", "latitude", "longitude"};

LineNames request(const char* code, std::initializer_list<const char*> rest)
{
    LineNames l{code, kRequestHead};
    l.names.insert(l.names.end(), rest);
    return l;
}

const std::vector<LineNames> kRequests = {
    request("1000", {"company", "version"}),
    request("1001", {"since"}),
    request("1002", {"since"}),
    request("1003", {"since"}),
    request("1004", {"since"}),
    request("1005", {"since"}),
    request("4001", {"reference"}),
    request("6001",
            {"CAR_IDORIGINAL", "CAR_DATA", "CAR_DATAHORAINICIO", "CAR_DATAHORAFIM", "CAR_TOTALCARGA",
             "CAR_ID_APARELHO", "CAR_CODIGO", "CAR_FINALIZADO", "unused", "CAR_USUARIO", "CAR_NUMEROCOLETAS",
             "CAR_ROTA", "CAR_KMINICIAL", "CAR_KMFINAL", "CAR_DISTANCIAPERCORRIDA"}),
    request(
        "6002",
        {"CAR_CODIGO",      "COL_IDORIGINAL",       "CAR_IDORIGINAL", "COL_SEQU",      "COL_PRODUTOR",
         "COL_LATITUDE",    "COL_LONGITUDE",        "COL_DATAHORA",   "COL_QTDE",      "unused",
         "COL_USUARIO",     "COL_CANCELADA",        "PRO_LATITUDE",   "PRO_LONGITUDE", "COL_TANQUE",
         "COL_TESTEACIDEZ", "COL_TEMPERATURA",      "COL_NROAMOSTRA", "COL_COLETOU",   "COL_MOTIVONAOCOLETA",
         "COL_AMOSTRA",     "COL_RESULTADOALIZAROL"}),
    {"6003",
     {"code", "RAS_DISPOSITIVO", "latitude", "longitude", "point", "RAS_LATITUDE", "RAS_LONGITUDE",
      "RAS_DATAHORA", "RAS_CARGAABERTA", "RAS_VELOCIDADE", "RAS_DISTANCIA", "RAS_PRECISAO"}},
};

const std::vector<LineNames> kReplies = {
    {"2000",
     {"code", "DIS_NROTANQUES", "DIS_VALIDAMEDIA", "DIS_PERCENTUALDIFERENCA", "DIS_IGNORAROTA",
      "PAR_VERSAOAPK", "DIS_ROTAS", "date"}},
    {"2001", {"code", "rows"}},
    {"2002", {"code", "rows"}},
    {"2003", {"code", "rows"}},
    {"2004", {"code", "rows"}},
    {"2005", {"code", "rows"}},
    {"3001", {"code", "ROT_CODIGO", "ROT_DESCRICAO", "SEQUENCIALALTERACAO"}},
    {"3002",
     {"code", "PRO_CLIFOR", "CLI_RAZAO", "PRO_LATITUDE", "PRO_LONGITUDE", "PRO_ENDERECO", "PRO_BAIRRO",
      "PRO_CIDADE", "PRO_MEDIA", "PRO_ROTA", "PRO_ORDEM", "SEQUENCIALALTERACAO", "PRO_ATIVO",
      "ID_OUTROSISTEMA"}},
    {"3003", {"code", "USU_NOME", "USU_SENHA", "USU_MASTER", "SEQUENCIALALTERACAO"}},
    {"3004", {"code", "MOT_ID", "MOT_DESCRICAO", "SEQUENCIALALTERACAO"}},
    {"3005", {"code", "PAR_CAMPO", "PAR_VALOR", "SEQUENCIALALTERACAO"}},
    {"5001", {"code", "key", "reference"}},
    {"7001", {"code", "acknowledged", "CAR_IDORIGINAL", "CAR_FINALIZADO"}},
    {"7002", {"code", "acknowledged", "COL_IDORIGINAL"}},
    {"7003", {"code", "acknowledged", "point"}},
    {"9998", {"code", "reason"}},
    {"9999", {"code"}},
};

const LineNames* namesOf(Direction direction, std::string_view code)
{
    const std::vector<LineNames>& table = direction == Direction::Sent ? kRequests : kReplies;
    const auto it =
        std::find_if(table.begin(), table.end(), [&](const LineNames& l) { return code == l.code; });
    return it == table.end() ? nullptr : &*it;
}

bool isCatalogueRow(std::string_view code)
{
    return code.size() == 4 && code[0] == '3' && code.compare(1, 2, "00") == 0 && code[3] >= '1' &&
           code[3] <= '5';
}

} // namespace

std::string fieldName(Direction direction, std::string_view code, size_t index)
{
    if (index == 0)
        return "code";
    const LineNames* names = namesOf(direction, code);
    if (names && index < names->names.size())
        return names->names[index];
    if (direction == Direction::Sent) {
        // Every request carries the handheld's identity and position first.
        if (!names && index < kRequestHead.size())
            return kRequestHead[index];
        return "not read";
    }
    return "not expected";
}

std::vector<std::string> explainLine(Direction direction, std::string_view wire,
                                     std::string_view separatorMark)
{
    std::vector<std::string> out;
    // "0000" is answered before the line is split, and the bare "9999" that
    // answers it has no separator.
    if (wire.starts_with("0000") && direction == Direction::Sent) {
        out.push_back("    the server answers a line beginning with 0000 with a bare 9999, nothing else");
        return out;
    }
    if (wire == "9999" && direction == Direction::Received) {
        out.push_back("    9999 without separator: the answer to a line beginning with 0000");
        return out;
    }
    const Fields fields = replyFields(wire);
    const std::string code = fields.empty() ? std::string() : fields[0];
    size_t width = 0;
    for (size_t i = 0; i < fields.size(); ++i)
        width = std::max(width, fieldName(direction, code, i).size());
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string name = fieldName(direction, code, i);
        name.resize(width, ' ');
        std::string text = "    " + std::to_string(i) + (i < 10 ? "  " : " ") + name + "  ";
        if (fields[i].empty())
            text += "(empty)";
        else if (fields[i] == " " && direction == Direction::Received && isCatalogueRow(code))
            text += "\" \" (null or empty in the database)";
        else
            text += visibleLine(fields[i], separatorMark);
        out.push_back(text);
    }
    if (direction == Direction::Sent) {
        if (wire.find(kStx) == std::string_view::npos)
            out.push_back("    no separator: one field to the server, which answers nothing");
        else if (wire.ends_with(kStx))
            out.push_back("    the server counts " + std::to_string(fields.size() + 1) +
                          " fields: the trailing separator adds an empty last one");
    }
    return out;
}

} // namespace quelvor::tools
