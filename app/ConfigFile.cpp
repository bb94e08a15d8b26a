#include "app/ConfigFile.h"

#include "app/IniFile.h"
#include "app/Scramble.h"
#include "base/TextConversion.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace quelvor::app {
namespace {

constexpr std::u16string_view kSocket = u"Socket";
constexpr std::u16string_view kBaseTarvell = u"Base Tarvell";
constexpr std::u16string_view kBaseColeta = u"Base Coleta";
constexpr std::u16string_view kInicializacao = u"Inicialização";
constexpr std::u16string_view kServidor = u"Servidor";

// Optional sign and decimal digits that fit an int; nothing else.
std::optional<int> wholeNumber(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

class Reader
{
public:
    explicit Reader(const IniFile& ini) : m_ini(ini) {}

    std::string plain(std::u16string_view section, std::u16string_view key,
                      std::string_view fallback = {}) const
    {
        const auto value = m_ini.readString(section, key);
        return value ? base::toUtf8(*value) : std::string(fallback);
    }

    std::string scrambled(std::u16string_view section, std::u16string_view key) const
    {
        const auto value = m_ini.readString(section, key);
        return value ? DecriptUtf8(*value) : std::string();
    }

private:
    const IniFile& m_ini;
};

void throwUnableToWrite(const std::string& path)
{
    throw std::runtime_error("Unable to write to " + path);
}

// Reads the whole file; nothing when it cannot be opened or read.
std::optional<std::string> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Writes `bytes` into a temporary file beside `target` and renames it over the
// target, so that a failure leaves the old file as it was.
void replaceFile(const fs::path& target, const std::string& bytes, const std::string& pathForError)
{
    fs::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            throwUnableToWrite(pathForError);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throwUnableToWrite(pathForError);
        }
    }
    std::error_code ec;
    const fs::file_status old = fs::status(target, ec);
    if (!ec && fs::exists(old))
        fs::permissions(temporary, old.permissions(), ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throwUnableToWrite(pathForError);
    }
}

} // namespace

const std::string& programDirectory()
{
    static const std::string directory = [] {
        std::error_code ec;
        fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
        if (ec || dir.empty())
            dir = fs::current_path(ec);
        std::string text = ec ? std::string(".") : dir.string();
        if (text.empty() || text.back() != '/')
            text += '/';
        return text;
    }();
    return directory;
}

const std::string& configPath()
{
    static const std::string path = programDirectory() + std::string(kConfigFileName);
    return path;
}

LoadResult loadConfig(const std::string& path, base::Settings& settings)
{
    LoadResult result;
    settings.edtPorta = 0;
    settings.EdtBaseTarvell.clear();
    settings.EdtUsuarioTarvell.clear();
    settings.EdtSenhaTarvell.clear();
    settings.edtTempoInicializacao = 0;
    settings.EdtBaseColeta.clear();
    settings.EdtUsuarioColeta.clear();
    settings.EdtSenhaColeta.clear();
    settings.ch_integratarvell = false;
    const base::Settings defaults;
    settings.tempoEsperaBloqueio = defaults.tempoEsperaBloqueio;
    settings.tempoOcioso = defaults.tempoOcioso;
    settings.maximoConexoes = defaults.maximoConexoes;

    std::error_code ec;
    if (!fs::exists(path, ec) || fs::is_directory(path, ec))
        return result;
    result.fileFound = true;

    IniFile ini;
    if (const auto bytes = readBytes(path)) {
        ini = IniFile::parse(*bytes);
        result.readAsWindows1252 = ini.encoding() == IniFile::Encoding::Windows1252;
    } else {
        result.messages.push_back("Não foi possível ler o arquivo de configuração " + path +
                                  "; usando os valores padrão.");
    }
    const Reader reader(ini);

    // Read in the order of the start-up.
    const std::string porta = reader.plain(kSocket, u"Porta");
    if (!porta.empty()) {
        if (const auto port = wholeNumber(porta))
            settings.edtPorta = *port;
        else
            result.messages.push_back("Porta inválida no arquivo de configuração: \"" + porta + "\"");
    }

    settings.EdtBaseTarvell = reader.plain(kBaseTarvell, u"Base");
    settings.EdtUsuarioTarvell = reader.scrambled(kBaseTarvell, u"Usuario");
    settings.EdtSenhaTarvell = reader.scrambled(kBaseTarvell, u"Senha");

    const std::string tempo = reader.plain(kInicializacao, u"Tempo");
    if (!tempo.empty()) {
        if (const auto seconds = wholeNumber(tempo))
            settings.edtTempoInicializacao = *seconds;
        else
            result.messages.push_back("Tempo de inicialização inválido no arquivo de configuração: \"" +
                                      tempo + "\"");
    }

    settings.EdtBaseColeta = reader.plain(kBaseColeta, u"Base");
    settings.EdtUsuarioColeta = reader.scrambled(kBaseColeta, u"Usuario");
    settings.EdtSenhaColeta = reader.scrambled(kBaseColeta, u"Senha");

    settings.ch_integratarvell = reader.plain(kBaseTarvell, u"Integra", "S") == "S";

    // The server's limits: a whole number of 0 or more, or the default with a
    // message for the log.
    auto limite = [&](const char16_t* key, const char* nome, int& field) {
        const std::string text = reader.plain(kServidor, key);
        if (text.empty())
            return;
        const auto value = wholeNumber(text);
        if (value && *value >= 0)
            field = *value;
        else
            result.messages.push_back(std::string(nome) + " inválido no arquivo de configuração: \"" + text +
                                      "\"; usando " + std::to_string(field) + ".");
    };
    limite(u"TempoEsperaBloqueio", "TempoEsperaBloqueio", settings.tempoEsperaBloqueio);
    limite(u"TempoOcioso", "TempoOcioso", settings.tempoOcioso);
    limite(u"MaximoConexoes", "MaximoConexoes", settings.maximoConexoes);
    return result;
}

void saveConfig(const std::string& path, const base::Settings& settings)
{
    try {
        // Write through a link to the file it names, not over the link.
        fs::path target = path;
        if (fs::is_symlink(fs::symlink_status(target)))
            target = fs::canonical(target);

        // Keep whatever else the file holds; an existing file that cannot be
        // read, or cannot be written, is refused rather than replaced.
        IniFile ini;
        if (fs::is_directory(target))
            throwUnableToWrite(path);
        if (fs::exists(target)) {
            const auto bytes = readBytes(target);
            if (!bytes || !std::fstream(target, std::ios::in | std::ios::out | std::ios::binary))
                throwUnableToWrite(path);
            ini = IniFile::parse(*bytes);
        }

        ini.writeString(kSocket, u"Porta", base::toUtf16(std::to_string(settings.edtPorta)));
        ini.writeString(kBaseTarvell, u"Base", base::toUtf16(settings.EdtBaseTarvell));
        ini.writeString(kBaseTarvell, u"Usuario", EncriptUtf8(settings.EdtUsuarioTarvell));
        ini.writeString(kBaseTarvell, u"Senha", EncriptUtf8(settings.EdtSenhaTarvell));
        ini.writeString(kBaseColeta, u"Base", base::toUtf16(settings.EdtBaseColeta));
        ini.writeString(kBaseColeta, u"Usuario", EncriptUtf8(settings.EdtUsuarioColeta));
        ini.writeString(kBaseColeta, u"Senha", EncriptUtf8(settings.EdtSenhaColeta));
        ini.writeString(kBaseTarvell, u"Integra", settings.ch_integratarvell ? u"S" : u"N");
        ini.writeString(kInicializacao, u"Tempo",
                        base::toUtf16(std::to_string(settings.edtTempoInicializacao)));

        replaceFile(target, ini.serialize(), path);
    } catch (const fs::filesystem_error&) {
        throwUnableToWrite(path);
    }
}

} // namespace quelvor::app
