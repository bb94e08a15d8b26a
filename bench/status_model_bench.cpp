// What feeding the status model costs a request: the updates one request line
// makes on its way through the intake and an upload handler (the database
// reported twice as answering, the request timed and counted, the upload
// acknowledged), from 1, 4 and 32 connection threads at once, and meanwhile a
// reader that takes a snapshot every millisecond, as a status page polled
// hard would. Prints the time per request line and the snapshots taken.
//
// Usage: status_model_bench [--requests N] (per thread, default 200000)

#include "base/StatusModel.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace quelvor;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    long requests = 200000;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--requests") == 0 && i + 1 < argc)
            requests = std::atol(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--requests N]\n", argv[0]);
            return 2;
        }

    for (const int threads : {1, 4, 32}) {
        base::StatusModel model;
        model.servicoIniciado(7010);
        for (int t = 0; t < threads; ++t)
            model.conectou(std::to_string(100 + t), "10.0.0." + std::to_string(t));
        std::atomic<bool> done{false};
        std::atomic<long> snapshots{0};
        std::thread reader([&] {
            while (!done) {
                const base::StatusSnapshot s = model.snapshot();
                if (!s.conexoes.empty())
                    ++snapshots;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const auto start = Clock::now();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                const std::string key = std::to_string(100 + t);
                for (long i = 0; i < requests; ++i) {
                    const Clock::time_point arrival = Clock::now();
                    model.baseRespondeu(base::StatusModel::Base::Coleta);
                    model.baseRespondeu(base::StatusModel::Base::Tarvell);
                    model.envio(key, "6002", true);
                    model.pedido(key, "6002", Clock::now() - arrival, false);
                }
            });
        for (auto& w : workers)
            w.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        done = true;
        reader.join();
        const double total = static_cast<double>(requests) * threads;
        std::printf("%2d threads: %.0f ns per request line (%.2f M lines/s in all), %ld snapshots\n", threads,
                    seconds * 1e9 / total * threads, total / seconds / 1e6, snapshots.load());
    }
    return 0;
}
