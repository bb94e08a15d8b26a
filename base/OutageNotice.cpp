#include "base/OutageNotice.h"

#include "base/OperatorLog.h"

namespace quelvor::base {

OutageNotice::OutageNotice(std::string nome, std::chrono::milliseconds intervalo, StatusModel* status,
                           StatusModel::Base base)
    : m_nome(std::move(nome)), m_intervalo(intervalo), m_status(status), m_base(base)
{
}

void OutageNotice::falhou(const std::string& erro)
{
    std::string linha;
    bool inicio = false;
    {
        std::lock_guard lock(m_mutex);
        const Clock::time_point agora = Clock::now();
        ++m_total;
        if (!m_inacessivel) {
            m_inacessivel = true;
            m_desde = agora;
            m_ultimo = agora;
            m_desdeUltimoAviso = 0;
            linha = "Base de dados " + m_nome + " inacessível: " + erro;
            inicio = true;
        } else {
            ++m_desdeUltimoAviso;
            if (agora - m_ultimo >= m_intervalo) {
                linha = "Base de dados " + m_nome +
                        " continua inacessível: " + std::to_string(m_desdeUltimoAviso) +
                        " tentativas falharam desde o último aviso (" + erro + ")";
                m_ultimo = agora;
                m_desdeUltimoAviso = 0;
            }
        }
    }
    if (m_status) {
        m_status->baseFalhou(m_base, erro);
        if (inicio)
            m_status->erro(linha); // the outage's start; the repeats are only counted
    }
    if (!linha.empty())
        OperatorLog::instance().append(linha); // outside the lock; never waits for the main thread
}

void OutageNotice::respondeu()
{
    if (m_status)
        m_status->baseRespondeu(m_base);
    std::string linha;
    {
        std::lock_guard lock(m_mutex);
        if (!m_inacessivel)
            return;
        const auto segundos =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_desde).count();
        linha = "Base de dados " + m_nome + " respondendo novamente, após " + std::to_string(segundos) +
                " s e " + std::to_string(m_total) + " tentativas que falharam";
        m_inacessivel = false;
        m_total = 0;
        m_desdeUltimoAviso = 0;
    }
    OperatorLog::instance().append(linha);
}

bool OutageNotice::inacessivel() const
{
    std::lock_guard lock(m_mutex);
    return m_inacessivel;
}

} // namespace quelvor::base
