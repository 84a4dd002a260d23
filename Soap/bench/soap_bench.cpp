// soap_bench: reading encoded messages that lean on multi-reference values.
//   (a) a reply and a request of 50,000 accessors over 6,000 values (~1 MB)
//   (b) 20,000 accessors into one cycle of 20,000 values, refused
#include <benchmark/benchmark.h>

#include <string>

#include "Soap/Packager.h"
#include "Soap/SoapError.h"

using namespace tessel::soap;

namespace {

const char kEnvelopeOpen[] =
    "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Body>";
const char kEnvelopeClose[] = "</soap:Body></soap:Envelope>";

std::string MultiRefMessage(const std::string& wrapper, int count, int values)
{
    std::string s = kEnvelopeOpen;
    s += "<m:" + wrapper + " xmlns:m=\"urn:test\">";
    for (int i = 0; i < count; ++i)
        s += "<a href=\"#v" + std::to_string(i % values) + "\"/>";
    s += "</m:" + wrapper + ">";
    for (int i = 0; i < values; ++i)
        s += "<v id=\"v" + std::to_string(i) + "\">" + std::to_string(i) + "</v>";
    return s + kEnvelopeClose;
}

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
    std::string accessors, values;
    for (int i = 0; i < 20000; ++i) {
        accessors += "<a href=\"#c" + std::to_string(i) + "\"/>";
        values += "<v id=\"c" + std::to_string(i) + "\" href=\"#c" + std::to_string((i + 1) % 20000) + "\"/>";
    }
    const std::string cycle = std::string(kEnvelopeOpen) + "<m:PingResponse xmlns:m=\"urn:test\">" + accessors +
                              "</m:PingResponse>" + values + kEnvelopeClose;
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
