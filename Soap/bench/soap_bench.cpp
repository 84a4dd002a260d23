// soap_bench: reading encoded messages that lean on multi-reference values.
//   (a) a reply and a request of 50,000 accessors over 6,000 values (~1 MB)
//   (b) 20,000 accessors into one cycle of 20,000 values, refused
//   (c) a tool's kept description of 89 operations read for a call: read
//       before (kept) against read anew (the baseline)
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

// An rpc description of `operations` operations of three parts each.
std::string Description(int operations, const std::string& tail)
{
    std::string messages, ops, bindings;
    for (int i = 0; i < operations; ++i) {
        const std::string n = "Op" + std::to_string(i);
        messages += "<message name=\"" + n + "\"><part name=\"user\" type=\"xs:string\"/><part name=\"value\" "
                    "type=\"xs:string\"/><part name=\"reskey\" type=\"xs:string\"/></message><message name=\"" +
                    n + "Response\"><part name=\"result\" type=\"xs:string\"/><part name=\"reskey\" "
                        "type=\"xs:string\"/></message>";
        ops += "<operation name=\"" + n + "\"><input message=\"tns:" + n + "\"/><output message=\"tns:" + n +
               "Response\"/></operation>";
        bindings += "<operation name=\"" + n + "\"><soap:operation soapAction=\"urn:t#" + n +
                    "\"/><input><soap:body use=\"encoded\" namespace=\"urn:t\" "
                    "encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"/></input><output><soap:body "
                    "use=\"encoded\" namespace=\"urn:t\" "
                    "encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"/></output></operation>";
    }
    return "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:tns=\"urn:t\" targetNamespace=\"urn:t\">" +
           messages + "<portType name=\"P\">" + ops + "</portType><binding name=\"B\" type=\"tns:P\"><soap:binding "
           "style=\"rpc\" transport=\"http://schemas.xmlsoap.org/soap/http\"/>" + bindings +
           "</binding><service name=\"S\"><port name=\"Q\" binding=\"tns:B\"><soap:address "
           "location=\"http://h.test/soap\"/></port></service></definitions>" + tail;
}

void BM_ReadKeptDescription(benchmark::State& state)
{
    const std::string text = Description(89, "");
    for (auto _ : state) {
        Packager p;
        if (!p.LoadServicesDescription(2, text))
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(p.GetMethodTemplate("Op40", 0));
    }
}

void BM_ReadDescriptionAnew(benchmark::State& state)
{
    std::string text = Description(89, "<!--          -->");
    unsigned n = 0;
    for (auto _ : state) {
        const std::string count = std::to_string(++n);
        text.replace(text.size() - 3 - count.size(), count.size(), count);  // a text not read before
        Packager p;
        if (!p.LoadServicesDescription(2, text))
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(p.GetMethodTemplate("Op40", 0));
    }
}

}  // namespace

BENCHMARK(BM_ReadKeptDescription)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadDescriptionAnew)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadResponse_FiftyThousandReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRequest_FiftyThousandReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_LongCycleRefused)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
