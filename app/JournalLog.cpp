#include "app/JournalLog.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace quelvor::app {
namespace {

// Beginnings of the messages, as the log writes them.
constexpr std::array kErrors{
    std::string_view("Falha "),     // a start step, a reply that could not be sent
    std::string_view("Erro "),      // statements, connections, the listener
    std::string_view("erro PTAB:"), // a parameter lookup
    std::string_view("Necessário efetuar a configuração do sistema"),
    std::string_view("Configure "), // the headless server cannot go on unconfigured
    std::string_view("Já existe um servidor em execução"),
    std::string_view("Processo de busca por novos dados interrompido: "), // a failed synchronisation
};
constexpr std::array kWarnings{
    std::string_view("Cliente com versão incorreta."),
    std::string_view("--->> SEM PERMISSÃO <<---"),
    std::string_view("Dispositivo direcionado para empresa errada"),
    std::string_view("Porta inválida"),
    std::string_view("Tempo de inicialização inválido"),
    std::string_view("Não foi possível ler o arquivo de configuração"),
    std::string_view("Configuração não recarregada"),
    std::string_view("Sincronização interrompida"),
    std::string_view("ALERTA DE QUALIDADE: "),
};

template <size_t N>
bool startsWithAny(std::string_view message, const std::array<std::string_view, N>& prefixes)
{
    for (std::string_view p : prefixes)
        if (message.starts_with(p))
            return true;
    return false;
}

} // namespace

bool standardOutputIsJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream)
        return false;
    const std::string_view text(stream);
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    unsigned long long device = 0, inode = 0;
    const auto d = std::from_chars(text.data(), text.data() + colon, device);
    const auto i = std::from_chars(text.data() + colon + 1, text.data() + text.size(), inode);
    if (d.ec != std::errc() || i.ec != std::errc() || i.ptr != text.data() + text.size())
        return false;
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0)
        return false;
    return st.st_dev == device && st.st_ino == inode;
}

int journalPriority(std::string_view line)
{
    // The date and time hold no '-': the first one ends them.
    const size_t dash = line.find('-');
    const std::string_view message = dash == std::string_view::npos ? line : line.substr(dash + 1);
    if (startsWithAny(message, kErrors))
        return kPriorityError;
    if (startsWithAny(message, kWarnings))
        return kPriorityWarning;
    return kPriorityInfo;
}

std::string withPriority(std::string_view line)
{
    std::string out = "<";
    out += static_cast<char>('0' + journalPriority(line));
    out += '>';
    out += line;
    return out;
}

} // namespace quelvor::app
