#pragma once
// What the operator hears of one database that the handhelds' requests cannot
// reach: one line with the database's own message when the first attempt
// fails; while the outage lasts, at most one line a minute with the number of
// attempts that failed since the last line; and one line when an attempt
// succeeds again. Said once and counted, never repeated per request.
//
// Any thread; the connection threads report every attempt. When given a
// status model, every attempt is also reported there (the database's state)
// and the first line of an outage goes to its recent errors.

#include "base/StatusModel.h"

#include <chrono>
#include <mutex>
#include <string>

namespace quelvor::base {

class OutageNotice
{
public:
    using Clock = std::chrono::steady_clock;

    // `nome` completes "Base de dados ...": "das Coletas", "do Tarvell".
    explicit OutageNotice(std::string nome, std::chrono::milliseconds intervalo = std::chrono::minutes(1),
                          StatusModel* status = nullptr, StatusModel::Base base = StatusModel::Base::Coleta);

    // An attempt to reach the database failed with this message.
    void falhou(const std::string& erro);
    // An attempt reached the database.
    void respondeu();

    bool inacessivel() const;

private:
    const std::string m_nome;
    const std::chrono::milliseconds m_intervalo;
    StatusModel* const m_status;
    const StatusModel::Base m_base;

    mutable std::mutex m_mutex;
    bool m_inacessivel = false;  // guarded by m_mutex
    Clock::time_point m_desde;   // guarded by m_mutex: the first failure
    Clock::time_point m_ultimo;  // guarded by m_mutex: the last line said
    long m_desdeUltimoAviso = 0; // guarded by m_mutex: failures not yet counted in a line
    long m_total = 0;            // guarded by m_mutex: failures of this outage
};

} // namespace quelvor::base
