#include "app/ConfigFile.h"

#include "app/IniFile.h"
#include "app/Scramble.h"
#include "base/Numbers.h"
#include "base/TextConversion.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quelvor::app {
namespace {

constexpr std::u16string_view kSocket = u"Socket";
constexpr std::u16string_view kBaseTarvell = u"Base Tarvell";
constexpr std::u16string_view kBaseColeta = u"Base Coleta";
constexpr std::u16string_view kInicializacao = u"Inicialização";
constexpr std::u16string_view kServidor = u"Servidor";
constexpr std::u16string_view kStatus = u"Status";
constexpr std::u16string_view kAlertas = u"Alertas";

// A list written with commas between its items; blanks around an item are not
// part of it, and empty items are dropped.
std::vector<std::string> listOf(std::string_view text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view item = text.substr(start, end - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (!item.empty())
            items.emplace_back(item);
        start = end + 1;
    }
    return items;
}

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

// Writes every byte at `fd`; false when the file system refuses one.
bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Rewrites the existing file itself, for a folder that accepts no new file
// (or a file that cannot be renamed over, such as one mounted on its own).
// The new text goes over the old one before the rest is cut off, so the file
// is never seen empty, and it is flushed to the disk before the save is taken
// as done. When the disk refuses the new text halfway, the old one, which had
// room, is put back.
void rewriteInPlace(const fs::path& target, const std::string& bytes, const std::string& previous,
                    const std::string& pathForError)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throwUnableToWrite(pathForError);
    auto writeWhole = [fd](const std::string& text) {
        return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, text) &&
               ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    };
    const bool written = writeWhole(bytes);
    if (!written)
        writeWhole(previous);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed)
        throwUnableToWrite(pathForError);
}

// Writes `bytes` into a temporary file beside `target` and renames it over the
// target, so that a failure leaves the old file as it was. Where no temporary
// file can be made, or it cannot take the target's place, an existing target
// is rewritten in place instead. `previous` is what the target holds, or
// nothing when there is no target yet.
void replaceFile(const fs::path& target, const std::string& bytes, const std::optional<std::string>& previous,
                 const std::string& pathForError)
{
    std::error_code ec;
    const fs::file_status old = fs::status(target, ec);
    const bool exists = previous && !ec && fs::exists(old);

    fs::path temporary = target;
    temporary += ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (!exists)
            throwUnableToWrite(pathForError);
        rewriteInPlace(target, bytes, *previous, pathForError);
        return;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        // Most likely the disk is full: the old file is left as it was.
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throwUnableToWrite(pathForError);
    }
    if (exists)
        fs::permissions(temporary, old.permissions(), ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        if (!exists)
            throwUnableToWrite(pathForError);
        rewriteInPlace(target, bytes, *previous, pathForError);
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
    settings.poolConexoes = defaults.poolConexoes;
    settings.statusPorta = defaults.statusPorta;
    settings.statusEndereco = defaults.statusEndereco;
    settings.statusToken.clear();
    settings.temperaturaMaxima.reset();
    settings.alizarolReprovado.clear();
    settings.acidezReprovada.clear();

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
    limite(u"PoolConexoes", "PoolConexoes", settings.poolConexoes);

    // The status page: off unless a port is given.
    const std::string statusPorta = reader.plain(kStatus, u"Porta");
    if (!statusPorta.empty()) {
        const auto port = wholeNumber(statusPorta);
        if (port && *port > 0 && *port <= 65535)
            settings.statusPorta = *port;
        else
            result.messages.push_back("Porta da página de status inválida no arquivo de configuração: \"" +
                                      statusPorta + "\"; página desligada.");
    }
    if (const std::string endereco = reader.plain(kStatus, u"Endereco"); !endereco.empty())
        settings.statusEndereco = endereco;
    settings.statusToken = reader.plain(kStatus, u"Token");

    // The quality thresholds.
    const std::string temperatura = reader.plain(kAlertas, u"TemperaturaMaxima");
    if (!temperatura.empty()) {
        const auto value = base::parseReal(temperatura);
        if (value && !value->outOfRange)
            settings.temperaturaMaxima = value->value;
        else
            result.messages.push_back("TemperaturaMaxima inválida no arquivo de configuração: \"" +
                                      temperatura + "\"; sem alerta de temperatura.");
    }
    // The alizarol results are compared as numbers: an item that is not one
    // would catch nothing, so it is said and left out.
    for (std::string& item : listOf(reader.plain(kAlertas, u"AlizarolReprovado"))) {
        const auto value = base::parseReal(item);
        if (value && !value->outOfRange)
            settings.alizarolReprovado.push_back(std::move(item));
        else
            result.messages.push_back("AlizarolReprovado inválido no arquivo de configuração: \"" + item +
                                      "\"; valor ignorado.");
    }
    settings.acidezReprovada = listOf(reader.plain(kAlertas, u"AcidezReprovada"));
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
        std::optional<std::string> previous;
        if (fs::exists(target)) {
            previous = readBytes(target);
            if (!previous || !std::fstream(target, std::ios::in | std::ios::out | std::ios::binary))
                throwUnableToWrite(path);
            ini = IniFile::parse(*previous);
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

        replaceFile(target, ini.serialize(), previous, path);
    } catch (const fs::filesystem_error&) {
        throwUnableToWrite(path);
    }
}

} // namespace quelvor::app
