#include "app/ConfigFile.h"
#include "app/IniFile.h"
#include "app/Scramble.h"
#include "base/TextConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quelvor::app {
namespace {

using base::Settings;

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the test.
class TempDir
{
public:
    TempDir()
    {
        std::random_device random;
        m_path = fs::temp_directory_path() /
                 ("quelvor-config-" + std::to_string(random()) + "-" + std::to_string(random()));
        fs::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ConfigFileTest : public ::testing::Test
{
protected:
    // Writes `bytes` as the configuration file and loads it.
    LoadResult loadText(const std::string& bytes, Settings& settings)
    {
        writeBytes(m_path, bytes);
        return loadConfig(m_path, settings);
    }

    TempDir m_dir;
    const std::string m_path = m_dir.file("ConfigQuelvorLeite.ini");
};

// ---------------------------------------------------------------------------
// IniFile: the reading and writing rules on their own.

std::u16string readBack(const IniFile& ini, std::u16string_view section, std::u16string_view key)
{
    return IniFile::parse(ini.serialize()).readString(section, key).value_or(u"<missing>");
}

// Any sequence of code units, as a scrambled value may be, reads back as it was
// written: blanks and quotes at the ends, a lone or turned-around surrogate
// pair, and the code units that would otherwise end or cut a line.
TEST(IniFile, EveryValueReadsBackAsWritten)
{
    std::u16string everyUnit;
    for (char32_t unit = 0; unit < IniFile::kMaxValueLength; ++unit)
        everyUnit += static_cast<char16_t>(unit * 31 + 0xD000); // crosses the surrogate range
    const std::vector<std::u16string> values = {
        u"",
        u"plain",
        u" leading",
        u"trailing ",
        u"\tboth\t",
        u"  ",
        u"\"double\"",
        u"'single'",
        u"\"",
        u"'",
        u"\"'",
        u"a\"",
        u"'a",
        u"\"\"x\"\"",
        u"x=y;z",
        u"[Socket]",
        u";not a comment",
        u"\n",
        u"a\nb\rc\r\nd",
        std::u16string(3, u'\0'),
        u"\xDC03\xD83E",
        u"\xD800",
        u"x\xDFFF",
        u"\U0001F404 \U0001F404",
        u"\xC0\x80",
        everyUnit,
        u" " + std::u16string(IniFile::kMaxValueLength - 2, u'x') + u"'",
    };
    for (const std::u16string& value : values) {
        SCOPED_TRACE(base::toUtf8(value));
        IniFile ini;
        ini.writeString(u"Base Coleta", u"Senha", u"placeholder");
        ini.writeString(u"Base Coleta", u"Senha", value);
        ini.writeString(u"Base Coleta", u"Usuario", u"after");
        const std::string bytes = ini.serialize();
        EXPECT_EQ(readBack(ini, u"Base Coleta", u"Senha"), value);
        EXPECT_EQ(readBack(ini, u"Base Coleta", u"Usuario"), u"after");
        EXPECT_EQ(IniFile::parse(bytes).encoding(), IniFile::Encoding::Utf8);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3) << "one line per key and header";
    }
}

TEST(IniFile, ValuesAreCutAt2047CodeUnits)
{
    const std::u16string limit(IniFile::kMaxValueLength, u'x');
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {limit, limit},
        {limit + u"y", limit},
        // The extra quotes do not count: the cut comes after they are dropped.
        {u" " + limit, u" " + limit.substr(1)},
        // A pair cut in two keeps its first half.
        {limit.substr(1) + u"\U0001F404", limit.substr(1) + u"\xD83D"},
    };
    for (const auto& [written, read] : cases) {
        IniFile ini;
        ini.writeString(u"S", u"K", written);
        EXPECT_EQ(readBack(ini, u"S", u"K"), read);
    }
}

// How a hand-written (or platform-written) line reads.
TEST(IniFile, ReadsLikeThePlatformProfileRoutines)
{
    const std::vector<std::pair<std::string, std::optional<std::u16string>>> cases = {
        {"[Base Coleta]\nSenha=abc\n", u"abc"},
        {"[Base Coleta]\nSenha = \t abc \t\n", u"abc"},
        {"[Base Coleta]\r\nSenha=abc\r\n", u"abc"},
        {"[Base Coleta]\nSenha=\"abc\"\n", u"abc"},
        {"[Base Coleta]\nSenha=  'abc'  \n", u"abc"},
        {"[Base Coleta]\nSenha=\" abc \"\n", u" abc "},
        {"[Base Coleta]\nSenha=\"abc'\n", u"\"abc'"},
        {"[Base Coleta]\nSenha=\"\"\"\n", u"\""},
        {"[Base Coleta]\nSenha=\"\n", u"\""},
        {"[Base Coleta]\nSenha=\n", u""},
        {"[Base Coleta]\nSenha=a=b\n", u"a=b"},
        {"[BASE COLETA]\nSENHA=abc\n", u"abc"},
        {"  [ base coleta ]  \n  senha=abc\n", u"abc"},
        {"[Base Coleta]\nSenha=first\nSenha=second\n", u"first"},
        {"[Base Coleta]\nSenha=first\n[Base Coleta]\nSenha=second\n", u"first"},
        {"[Base Coleta]\nUsuario=x\n[Base Coleta]\nSenha=second\n", std::nullopt},
        {"[Base Coleta]\n;Senha=commented\n", std::nullopt},
        {"Senha=before any section\n[Base Coleta]\n", std::nullopt},
        {"[Base Coleta]\nSenha\n", std::nullopt},
        {"[Base Coletas]\nSenha=abc\n", std::nullopt},
        {"[Base Coleta]\nSenha=no line end", u"no line end"},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IniFile::parse(text).readString(u"Base Coleta", u"Senha"), expected);
    }
}

// A file is UTF-8 only when all of it decodes as such; section names match in
// any case, "Inicialização" included, whichever encoding carried it.
TEST(IniFile, TellsUtf8FromWindows1252)
{
    using Encoding = IniFile::Encoding;
    const std::vector<std::pair<std::string, Encoding>> cases = {
        {"[Inicializa\xE7\xE3o]\r\nTempo=5\r\n", Encoding::Windows1252},
        {"[INICIALIZA\xC7\xC3O]\r\nTempo=5\r\n", Encoding::Windows1252},
        {"[inicializa\xE7\xE3o]\nTempo=5\n", Encoding::Windows1252},
        {"[Inicialização]\nTempo=5\n", Encoding::Utf8},
        {"[INICIALIZAÇÃO]\nTempo=5\n", Encoding::Utf8},
        {"\xEF\xBB\xBF[inicialização]\r\nTempo=5\r\n", Encoding::Utf8},
        // Bytes that would pass for UTF-8 do not make a Windows-1252 file UTF-8.
        {"; caf\xC3\xA9\n[Inicializa\xE7\xE3o]\nTempo=5\n", Encoding::Windows1252},
        // Half a surrogate pair in its 3-byte form is still UTF-8 here.
        {"[Inicialização]\nTempo=5\nSenha=\xED\xB0\x83\n", Encoding::Utf8},
    };
    for (const auto& [bytes, encoding] : cases) {
        SCOPED_TRACE(bytes);
        const IniFile ini = IniFile::parse(bytes);
        EXPECT_EQ(ini.encoding(), encoding);
        EXPECT_EQ(ini.readString(u"Inicialização", u"Tempo"), u"5");
    }
}

// A file goes back in the encoding it came in while every character fits it;
// one character that Windows-1252 cannot hold turns the whole file into UTF-8
// with a byte order mark, which reads back as UTF-8 from then on.
TEST(IniFile, WritesBackInTheEncodingItWasRead)
{
    const std::string ansi = "[Inicializa\xE7\xE3o]\r\nTempo=5\r\n";
    const std::string utf8 = "[Inicialização]\nTempo=5\n";
    const std::string utf8Bom = "\xEF\xBB\xBF[Inicialização]\r\nTempo=5\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    struct Case
    {
        const char* what;
        std::string file;
        std::u16string value;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"ANSI, ASCII value", ansi, u"7", "[Inicializa\xE7\xE3o]\r\nTempo=7\r\n"},
        {"ANSI, euro and cedilla", ansi, u"€ç", "[Inicializa\xE7\xE3o]\r\nTempo=\x80\xE7\r\n"},
        // Scrambling can land on the code page's five undefined bytes.
        {"ANSI, undefined byte", ansi, u"\u0081\u009D", "[Inicializa\xE7\xE3o]\r\nTempo=\x81\x9D\r\n"},
        {"ANSI, a real question mark", ansi, u"a?b", "[Inicializa\xE7\xE3o]\r\nTempo=a?b\r\n"},
        {"ANSI, a check mark", ansi, u"✓", bom + "[Inicialização]\r\nTempo=✓\r\n"},
        {"ANSI, half a surrogate pair", ansi, u"\xDC03", bom + "[Inicialização]\r\nTempo=\xED\xB0\x83\r\n"},
        {"ANSI, a line feed", ansi, u"a\nb",
         bom + "[Inicialização]\r\nTempo=a\xC0\x8A"
               "b\r\n"},
        {"UTF-8 without a mark", utf8, u"ç✓", "[Inicialização]\nTempo=ç✓\n"},
        {"UTF-8 with a mark", utf8Bom, u"ç", bom + "[Inicialização]\r\nTempo=ç\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniFile ini = IniFile::parse(c.file);
        ini.writeString(u"Inicialização", u"Tempo", c.value);
        const std::string written = ini.serialize();
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(IniFile::parse(written).readString(u"INICIALIZAÇÃO", u"Tempo"), c.value);
    }
}

// ---------------------------------------------------------------------------
// Loading.

// A file as an older Windows installation wrote it: Windows-1252 bytes, CR LF,
// section names in capitals, scrambled values in Windows-1252.
TEST_F(ConfigFileTest, LoadsWindows1252File)
{
    const std::string legacy = "[SOCKET]\r\n"
                               "Porta=211\r\n"
                               "[BASE TARVELL]\r\n"
                               "base=tarvell:C:\\ERP\\DADOS.FDB\r\n"
                               "USUARIO=n\xE4nk\r\n" // joão
                               "Senha=\xE8g`d\r\n"   // café
                               "Integra=S\r\n"
                               "[Inicializa\xE7\xE3o]\r\n"
                               "Tempo=4\r\n"
                               "[BASE COLETA]\r\n"
                               "Base=localhost:C:\\Coleta\\COLETA.FDB\r\n"
                               "Usuario=@WQPJ\r\n"
                               "Senha=/73928\"$\r\n";
    Settings settings;
    const LoadResult result = loadText(legacy, settings);
    EXPECT_TRUE(result.fileFound);
    EXPECT_TRUE(result.readAsWindows1252);
    EXPECT_TRUE(result.messages.empty());

    Settings expected;
    expected.edtPorta = 211;
    expected.EdtBaseTarvell = "tarvell:C:\\ERP\\DADOS.FDB";
    expected.EdtUsuarioTarvell = "joão";
    expected.EdtSenhaTarvell = "café";
    expected.ch_integratarvell = true;
    expected.edtTempoInicializacao = 4;
    expected.EdtBaseColeta = "localhost:C:\\Coleta\\COLETA.FDB";
    expected.EdtUsuarioColeta = "KORVA";
    expected.EdtSenhaColeta = "##738460";
    EXPECT_EQ(settings, expected);
}

TEST_F(ConfigFileTest, LoadsUtf8WithByteOrderMarkAndSurrogateHalves)
{
    // "🐄" scrambles to U+DC03 U+D83E: two halves of a pair, each written alone.
    Settings settings;
    const LoadResult result =
        loadText("\xEF\xBB\xBF[Base Coleta]\nUsuario=\xED\xB0\x83\xED\xA0\xBE\n", settings);
    EXPECT_FALSE(result.readAsWindows1252);
    EXPECT_EQ(settings.EdtUsuarioColeta, "🐄");
}

TEST_F(ConfigFileTest, MissingFileLeavesEverythingEmpty)
{
    Settings settings;
    settings.edtPorta = 3050;
    settings.EdtBaseColeta = "x";
    settings.EdtSenhaTarvell = "y";
    settings.ch_integratarvell = true;
    settings.edtTempoInicializacao = 9;
    settings.edtVersaoCliente = "1.2.3"; // from PARAMETROS, not the file
    settings.edtIDEmpresa = "7";

    const LoadResult result = loadConfig(m_path, settings);
    EXPECT_FALSE(result.fileFound);
    EXPECT_TRUE(result.messages.empty());

    Settings expected;
    expected.edtVersaoCliente = "1.2.3";
    expected.edtIDEmpresa = "7";
    EXPECT_EQ(settings, expected);

    // A directory in the file's place counts as no file.
    fs::create_directory(m_path);
    EXPECT_FALSE(loadConfig(m_path, settings).fileFound);
}

TEST_F(ConfigFileTest, IntegrationSwitchIsOnOnlyForCapitalS)
{
    struct Case
    {
        std::optional<std::string> file; // nothing: no file at all
        bool on;
    };
    const std::vector<Case> cases = {
        {"[Base Tarvell]\nIntegra=S\n", true},
        {"[Base Tarvell]\nIntegra=N\n", false},
        {"[Base Tarvell]\nIntegra=s\n", false},
        {"[Base Tarvell]\nIntegra=\n", false},
        {"[Base Tarvell]\nIntegra=SIM\n", false},
        {"[Base Tarvell]\nIntegra= S \n", true},
        {"[Base Tarvell]\nIntegra=\"S\"\n", true},
        {"[base tarvell]\nINTEGRA=S\n", true},
        {"[Base Tarvell]\nBase=erp:/x.fdb\n", true}, // key missing
        {"[Socket]\nPorta=1\n", true},               // section missing
        {"", true},
        {std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.value_or("<no file>"));
        fs::remove(m_path);
        if (c.file)
            writeBytes(m_path, *c.file);
        Settings settings;
        loadConfig(m_path, settings);
        EXPECT_EQ(settings.ch_integratarvell, c.on);
    }
}

struct NumberCase
{
    std::optional<std::string> text; // nothing: the key is missing
    int value;
    bool message;
};

TEST_F(ConfigFileTest, TempoThatIsNotAWholeNumberReadsAsZero)
{
    const std::vector<NumberCase> cases = {
        {"12", 12, false}, {"  7  ", 7, false},      {"+8", 8, false}, {"-3", -3, false},
        {"", 0, false},    {std::nullopt, 0, false}, {"abc", 0, true}, {"1.5", 0, true},
        {"12s", 0, true},  {"0x10", 0, true},        {"+-8", 0, true}, {"99999999999", 0, true},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text.value_or("<missing>"));
        Settings settings;
        const LoadResult result =
            loadText("[Inicialização]\n" + (c.text ? "Tempo=" + *c.text + "\n" : std::string()), settings);
        EXPECT_EQ(settings.edtTempoInicializacao, c.value);
        EXPECT_EQ(result.messages.size(), c.message ? 1u : 0u);
    }
}

// A port that is not a number must not stop the start-up: it reads as "not
// configured" and says why in the log. Every number is kept as it is.
TEST_F(ConfigFileTest, PortaThatIsNotANumberReadsAsZeroWithAMessage)
{
    const std::vector<NumberCase> cases = {
        {"3050", 3050, false}, {" 3050 ", 3050, false}, {"70000", 70000, false},  {"-1", -1, false},
        {"0", 0, false},       {"", 0, false},          {std::nullopt, 0, false}, {"abc", 0, true},
        {"12x", 0, true},      {"30 50", 0, true},      {"4294967296", 0, true},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text.value_or("<missing>"));
        Settings settings;
        const LoadResult result =
            loadText("[Socket]\n" + (c.text ? "Porta=" + *c.text + "\n" : std::string()), settings);
        EXPECT_EQ(settings.edtPorta, c.value);
        if (c.message) {
            ASSERT_EQ(result.messages.size(), 1u);
            EXPECT_EQ(result.messages[0], "Porta inválida no arquivo de configuração: \"" + *c.text + "\"");
        } else {
            EXPECT_TRUE(result.messages.empty());
        }
    }
}

// ---------------------------------------------------------------------------
// Saving.

Settings ordinarySettings()
{
    Settings s;
    s.edtPorta = 3050;
    s.EdtBaseColeta = "localhost:/var/coleta/COLETA.FDB";
    s.EdtUsuarioColeta = "KORVA";
    s.EdtSenhaColeta = "##738460";
    s.edtTempoInicializacao = 10;
    return s;
}

// All nine keys, in their order, even with the switch off and the ERP empty.
// The server's limits live in [Servidor], not in the window: defaults when
// missing, a message and the default for a value that is not a whole number
// of 0 or more, and a save of the window's fields leaves them alone.
TEST_F(ConfigFileTest, ServerLimitsAreReadWithTheirDefaults)
{
    Settings settings;
    settings.tempoEsperaBloqueio = 99;
    EXPECT_TRUE(loadText("[Socket]\nPorta=7010\n", settings).messages.empty());
    EXPECT_EQ(settings.tempoEsperaBloqueio, 10);
    EXPECT_EQ(settings.tempoOcioso, 1800);
    EXPECT_EQ(settings.maximoConexoes, 2000);

    const LoadResult set =
        loadText("[servidor]\nTempoEsperaBloqueio=3\nTempoOcioso=0\nMaximoConexoes=50\n", settings);
    EXPECT_TRUE(set.messages.empty());
    EXPECT_EQ(settings.tempoEsperaBloqueio, 3);
    EXPECT_EQ(settings.tempoOcioso, 0);
    EXPECT_EQ(settings.maximoConexoes, 50);

    const LoadResult bad =
        loadText("[Servidor]\nTempoEsperaBloqueio=-1\nTempoOcioso=meia hora\nMaximoConexoes=2e3\n", settings);
    EXPECT_EQ(bad.messages,
              (std::vector<std::string>{
                  "TempoEsperaBloqueio inválido no arquivo de configuração: \"-1\"; usando 10.",
                  "TempoOcioso inválido no arquivo de configuração: \"meia hora\"; usando 1800.",
                  "MaximoConexoes inválido no arquivo de configuração: \"2e3\"; usando 2000."}));
    EXPECT_EQ(settings.tempoEsperaBloqueio, 10);

    loadText("[Servidor]\nMaximoConexoes=50\n", settings);
    saveConfig(m_path, settings);
    Settings reloaded;
    loadConfig(m_path, reloaded);
    EXPECT_EQ(reloaded.maximoConexoes, 50);
}

// The status page and the quality thresholds: off and empty when missing;
// lists with commas between their items, blanks around them dropped; a bad
// port or temperature is left off with a message; a save keeps them.
TEST_F(ConfigFileTest, StatusAndAlertKeys)
{
    Settings settings;
    settings.statusPorta = 1;
    settings.temperaturaMaxima = 3;
    settings.acidezReprovada = {"x"};
    loadText("[Socket]\nPorta=7010\n", settings);
    EXPECT_EQ(settings.statusPorta, 0);
    EXPECT_EQ(settings.statusEndereco, "127.0.0.1");
    EXPECT_EQ(settings.statusToken, "");
    EXPECT_FALSE(settings.temperaturaMaxima);
    EXPECT_TRUE(settings.alizarolReprovado.empty());
    EXPECT_TRUE(settings.acidezReprovada.empty());

    const LoadResult set = loadText("[Status]\nPorta=8080\nEndereco=0.0.0.0\nToken=s3gr3do\n"
                                    "[Alertas]\nTemperaturaMaxima=7.5\nAlizarolReprovado=2, 3,,\n"
                                    "AcidezReprovada= Ácido ,POSITIVO\n",
                                    settings);
    EXPECT_TRUE(set.messages.empty());
    EXPECT_EQ(settings.statusPorta, 8080);
    EXPECT_EQ(settings.statusEndereco, "0.0.0.0");
    EXPECT_EQ(settings.statusToken, "s3gr3do");
    EXPECT_EQ(settings.temperaturaMaxima, 7.5);
    EXPECT_EQ(settings.alizarolReprovado, (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(settings.acidezReprovada, (std::vector<std::string>{"Ácido", "POSITIVO"}));

    saveConfig(m_path, settings);
    Settings reloaded;
    loadConfig(m_path, reloaded);
    EXPECT_EQ(reloaded.statusPorta, 8080);
    EXPECT_EQ(reloaded.acidezReprovada, settings.acidezReprovada);

    const LoadResult bad = loadText(
        "[Status]\nPorta=99999\n[Alertas]\nTemperaturaMaxima=7,5\nAlizarolReprovado=2, reprovado, 2,5\n",
        settings);
    EXPECT_EQ(
        bad.messages,
        (std::vector<std::string>{
            "Porta da página de status inválida no arquivo de configuração: \"99999\"; página desligada.",
            "TemperaturaMaxima inválida no arquivo de configuração: \"7,5\"; sem alerta de temperatura.",
            "AlizarolReprovado inválido no arquivo de configuração: \"reprovado\"; valor ignorado."}));
    EXPECT_EQ(settings.statusPorta, 0);
    EXPECT_FALSE(settings.temperaturaMaxima);
    // "2,5" is two items, 2 and 5, as every list in the file.
    EXPECT_EQ(settings.alizarolReprovado, (std::vector<std::string>{"2", "2", "5"}));
}

TEST_F(ConfigFileTest, SaveWritesAllNineKeysInOrder)
{
    saveConfig(m_path, ordinarySettings());
    EXPECT_EQ(readBytes(m_path), "[Socket]\n"
                                 "Porta=3050\n"
                                 "\n"
                                 "[Base Tarvell]\n"
                                 "Base=\n"
                                 "Usuario=\n"
                                 "Senha=\n"
                                 "Integra=N\n"
                                 "\n"
                                 "[Base Coleta]\n"
                                 "Base=localhost:/var/coleta/COLETA.FDB\n"
                                 "Usuario=@WQPJ\n"
                                 "Senha=/73928\"$\n"
                                 "\n"
                                 "[Inicialização]\n"
                                 "Tempo=10\n");
    EXPECT_FALSE(fs::exists(m_path + ".tmp"));
}

// Whatever else the file holds stays where it is; the file's own spellings of
// section and key names are kept; an older Windows-1252 file stays
// Windows-1252 and keeps its CR LF line ends.
TEST_F(ConfigFileTest, SaveKeepsTheRestOfTheFile)
{
    writeBytes(m_path, "; Configura\xE7\xE3o do servidor\r\n"
                       "[SOCKET]\r\n"
                       "PORTA = 211\r\n"
                       "Timeout=30\r\n"
                       "\r\n"
                       "[base coleta]\r\n"
                       "BASE=srv:/antiga.fdb\r\n"
                       "; senha antiga abaixo\r\n"
                       "\r\n"
                       "[Outros]\r\n"
                       "Chave=valor com \xE7\r\n"
                       "[INICIALIZA\xC7\xC3O]\r\n"
                       "Tempo=3\r\n");
    saveConfig(m_path, ordinarySettings());
    EXPECT_EQ(readBytes(m_path), "; Configura\xE7\xE3o do servidor\r\n"
                                 "[SOCKET]\r\n"
                                 "PORTA=3050\r\n"
                                 "Timeout=30\r\n"
                                 "\r\n"
                                 "[base coleta]\r\n"
                                 "BASE=localhost:/var/coleta/COLETA.FDB\r\n"
                                 "Usuario=@WQPJ\r\n"
                                 "Senha=/73928\"$\r\n"
                                 "; senha antiga abaixo\r\n"
                                 "\r\n"
                                 "[Outros]\r\n"
                                 "Chave=valor com \xE7\r\n"
                                 "[INICIALIZA\xC7\xC3O]\r\n"
                                 "Tempo=10\r\n"
                                 "\r\n"
                                 "[Base Tarvell]\r\n"
                                 "Base=\r\n"
                                 "Usuario=\r\n"
                                 "Senha=\r\n"
                                 "Integra=N\r\n");

    Settings loaded;
    const LoadResult result = loadConfig(m_path, loaded);
    EXPECT_TRUE(result.readAsWindows1252);
    EXPECT_EQ(loaded, ordinarySettings());
}

// A file of an older installation stays Windows-1252 for as long as what the
// operator saves fits it, its own section name byte for byte; a user that
// does not fit turns it into UTF-8 with a byte order mark. Both read back.
TEST_F(ConfigFileTest, SaveKeepsAWindows1252FileWhileItsCharactersFit)
{
    const std::string legacy = "[Inicializa\xE7\xE3o]\r\nTempo=3\r\n";
    const std::pair<const char*, bool> users[] = {{"João Conceição", true}, {"João ✓", false}};
    for (const auto& [user, fits] : users) {
        SCOPED_TRACE(user);
        writeBytes(m_path, legacy);
        Settings s = ordinarySettings();
        s.EdtUsuarioColeta = user;
        saveConfig(m_path, s);

        const std::string bytes = readBytes(m_path);
        EXPECT_EQ(bytes.starts_with("[Inicializa\xE7\xE3o]\r\n"), fits) << bytes;
        EXPECT_EQ(bytes.starts_with("\xEF\xBB\xBF[Inicialização]\r\n"), !fits) << bytes;
        Settings loaded;
        EXPECT_EQ(loadConfig(m_path, loaded).readAsWindows1252, fits);
        EXPECT_EQ(loaded, s);
    }
}

// Whatever the operator typed comes back from the file as it was typed.
TEST_F(ConfigFileTest, SaveThenLoadKeepsEveryValue)
{
    Settings awkward;
    awkward.edtPorta = 65536; // kept: the listener decides
    awkward.edtTempoInicializacao = -1;
    awkward.ch_integratarvell = true;
    awkward.EdtBaseTarvell = "  tarvell:/dados/ERP.FDB  ";
    awkward.EdtUsuarioTarvell = "!xy#"; // scrambles to "zw" in double quotes
    awkward.EdtSenhaTarvell = "!ab!";   // scrambles to a blank, c, grave accent, double quote
    awkward.EdtBaseColeta = "'localhost:/opt/coleta/COLETA 🐄.FDB'";
    awkward.EdtUsuarioColeta = "🐄 ção";          // the pair comes out turned around
    awkward.EdtSenhaColeta = "b\x0b\t\x01q\x0e"; // scrambles to CR, r, NUL, LF, LF, c

    Settings negativePort = ordinarySettings();
    negativePort.edtPorta = -5;
    negativePort.ch_integratarvell = true;

    Settings longest;
    longest.EdtBaseColeta = std::string(IniFile::kMaxValueLength, 'p');
    longest.EdtSenhaColeta = std::string(IniFile::kMaxValueLength - 1, 's') + " ";

    for (const Settings& original : {awkward, negativePort, longest, Settings{}, ordinarySettings()}) {
        SCOPED_TRACE(original.EdtBaseColeta.substr(0, 40));
        fs::remove(m_path);
        saveConfig(m_path, original);
        Settings loaded;
        const LoadResult result = loadConfig(m_path, loaded);
        EXPECT_TRUE(result.messages.empty());
        EXPECT_EQ(loaded, original);
        // A second save over the first replaces every key in place.
        const std::string first = readBytes(m_path);
        saveConfig(m_path, original);
        EXPECT_EQ(readBytes(m_path), first);
    }
}

// The file holds no more than 2047 code units of a value: a longer path is cut.
TEST_F(ConfigFileTest, LongerValuesAreCutOnLoading)
{
    Settings original;
    original.EdtBaseColeta = std::string(IniFile::kMaxValueLength + 10, 'p');
    saveConfig(m_path, original);
    Settings loaded;
    loadConfig(m_path, loaded);
    EXPECT_EQ(loaded.EdtBaseColeta, std::string(IniFile::kMaxValueLength, 'p'));
}

TEST_F(ConfigFileTest, RefusedWriteRaisesUnableToWrite)
{
    const std::string missingDirectory = m_dir.file("nao-existe") + "/ConfigQuelvorLeite.ini";
    const std::string directory = m_dir.file("pasta");
    fs::create_directory(directory);
    for (const std::string& path : {missingDirectory, directory}) {
        try {
            saveConfig(path, ordinarySettings());
            ADD_FAILURE() << "no error for " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
        }
    }
    EXPECT_TRUE(fs::is_directory(directory));
}

// Runs `save` with the rights of an ordinary user in a folder that takes no
// new file: root may create files anywhere, so as root it runs in a child
// process under "nobody", with the folder left to root. Returns what the
// child says: 0 saved, 1 "Unable to write to", 2 anything else.
int saveWhereNoFileMayBeCreated(const fs::path& folder, const std::string& path, const Settings& settings)
{
    auto save = [&] {
        try {
            saveConfig(path, settings);
            return 0;
        } catch (const std::runtime_error& e) {
            return std::string(e.what()) == "Unable to write to " + path ? 1 : 2;
        } catch (...) {
            return 2;
        }
    };
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms(0555));
        const int result = save();
        fs::permissions(folder, fs::perms(0755));
        return result;
    }
    constexpr uid_t kNobody = 65534;
    if (fs::exists(path) && ::chown(path.c_str(), kNobody, kNobody) != 0)
        return 2;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(save());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 2;
    return WEXITSTATUS(status);
}

ino_t inodeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// No temporary file can be made beside the file: a folder that takes no new
// file, or one whose temporary name is already taken by a folder. The file is
// then rewritten in place, shorter than before without a byte of the old text
// left over; a file that cannot be written either is still refused.
TEST_F(ConfigFileTest, SaveRewritesInPlaceWhereNoNewFileMayBeCreated)
{
    Settings before = ordinarySettings();
    before.EdtBaseColeta = "servidor-antigo:/um/caminho/bem/mais/comprido/que/o/novo/COLETA.FDB";
    const Settings after = ordinarySettings();

    struct Case
    {
        const char* what;
        bool folderTakesNoFile;
        bool temporaryNameTaken;
        bool fileWritable;
        int result;
    };
    const Case cases[] = {
        {"a folder that takes no new file", true, false, true, 0},
        {"the temporary name taken", false, true, true, 0},
        {"neither folder nor file writable", true, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = m_dir.file(std::string("pasta-") + std::to_string(&c - cases));
        fs::create_directory(folder);
        const std::string path = (folder / "ConfigQuelvorLeite.ini").string();
        saveConfig(path, before);
        const std::string old = readBytes(path);
        const ino_t inode = inodeOf(path);
        if (c.temporaryNameTaken)
            fs::create_directory(path + ".tmp");
        if (!c.fileWritable)
            fs::permissions(path, fs::perms(0444));

        const int result = c.folderTakesNoFile ? saveWhereNoFileMayBeCreated(folder, path, after) : [&] {
            saveConfig(path, after);
            return 0;
        }();

        EXPECT_EQ(result, c.result);
        Settings loaded;
        loadConfig(path, loaded);
        EXPECT_EQ(loaded, c.result == 0 ? after : before);
        EXPECT_EQ(inodeOf(path), inode) << "the file itself, not a new one in its place";
        if (c.result == 0)
            EXPECT_LT(readBytes(path).size(), old.size());
        else
            EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(fs::is_directory(path + ".tmp"), c.temporaryNameTaken);
        EXPECT_FALSE(fs::is_regular_file(path + ".tmp"));
    }
}

// Rewritten in place on a disk that takes no more than the old file: the save
// is refused and the old text is back, not the new one cut short.
TEST_F(ConfigFileTest, AnInPlaceRewriteThatRunsOutOfRoomPutsTheOldTextBack)
{
    saveConfig(m_path, ordinarySettings());
    const std::string old = readBytes(m_path);
    fs::create_directory(m_path + ".tmp"); // no temporary file beside it
    Settings longer = ordinarySettings();
    longer.EdtBaseColeta = std::string(4000, 'c');

    const pid_t child = ::fork();
    if (child == 0) {
        // Writes beyond the old size fail (EFBIG) instead of ending the child.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{old.size() + 100, old.size() + 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(3);
        try {
            saveConfig(m_path, longer);
            ::_exit(0);
        } catch (const std::runtime_error& e) {
            ::_exit(std::string(e.what()) == "Unable to write to " + m_path ? 1 : 2);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(readBytes(m_path), old);
}

TEST(ConfigPath, IsBesideTheExecutable)
{
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(programDirectory(), executable.parent_path().string() + "/");
    EXPECT_EQ(configPath(), programDirectory() + "ConfigQuelvorLeite.ini");
    EXPECT_EQ(&configPath(), &configPath()); // computed once, kept
}

} // namespace
} // namespace quelvor::app
