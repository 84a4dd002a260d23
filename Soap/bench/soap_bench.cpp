// soap_bench: reading encoded messages that lean on multi-reference values.
//   (a) a reply and a request of 50,000 accessors over 6,000 values (~1 MB)
//   (b) 20,000 accessors into one cycle of 20,000 values, refused
#include <benchmark/benchmark.h>

#include <string>

#include "MultiRefMessages.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"

using namespace tessel::soap;
using namespace tessel::soap::samples;

namespace {

void BM_ReadResponse_FiftyThousandReferences(benchmark::State& state)
{
    const std::string reply = MultiRefMessage("GetLogsResponse", 50000, 6000);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadResponse(reply));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}

void BM_ReadRequest_FiftyThousandReferences(benchmark::State& state)
{
    const std::string request = MultiRefMessage("GetLogs", 50000, 6000);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadRequest(request));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * request.size()));
}

void BM_ReadResponse_LongCycleRefused(benchmark::State& state)
{
    const std::string cycle = LongCycleReply(20000);
    for (auto _ : state) {
        try {
            ReadResponse(cycle);
            state.SkipWithError("the cycle was taken");
        } catch (const SoapError&) {
        }
    }
}

}  // namespace

BENCHMARK(BM_ReadResponse_FiftyThousandReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRequest_FiftyThousandReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_LongCycleRefused)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
