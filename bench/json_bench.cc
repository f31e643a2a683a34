// Parse and compact-write throughput of the JSON reader and writer on three
// documents of ../shared/bench-data/json (or $VORN_BENCH_DATA/json), measured
// in the same run against RapidJSON's DOM and nlohmann::json. Also counts the
// bytes our parser allocates per document through a replaced operator new.
//
//   json_bench                 # Google Benchmark's usual console output
//   json_bench --table         # one line per document and operation
//
// Throughput is the input document's size over the time of one operation,
// for writing too, so that every peer is credited with the same work.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "base/json/json_writer.h"
#include "benchmark/benchmark.h"
#include "nlohmann/json.hpp"
#include "rapidjson/document.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"

namespace {

// Bytes requested through operator new since the last reset.
size_t g_allocated_bytes = 0;

}  // namespace

// Out of memory ends the benchmark: nothing here is meant to recover.
void* operator new(size_t size) {
  g_allocated_bytes += size;
  void* p = std::malloc(size ? size : 1);
  if (!p) std::abort();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

const char* const kDocuments[] = {"canada.json", "citm_catalog.json",
                                  "twitter.json"};
const char* const kPeers[] = {"vorn", "rapidjson", "nlohmann"};

std::string DataDir() {
  const char* env = std::getenv("VORN_BENCH_DATA");
  return std::string(env && *env ? env
                                 : VORN_SOURCE_DIR "/../shared/bench-data") +
         "/json";
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::stringstream contents;
  contents << file.rdbuf();
  *out = contents.str();
  return true;
}

void ParseVorn(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    std::unique_ptr<base::JsonValue> value = base::ParseJson(text);
    if (!value) {
      state.SkipWithError("parse failed");
      return;
    }
    benchmark::DoNotOptimize(value.get());
  }
  g_allocated_bytes = 0;
  std::unique_ptr<base::JsonValue> value = base::ParseJson(text);
  state.counters["alloc_bytes"] = static_cast<double>(g_allocated_bytes);
}

void ParseRapidJson(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.data(), text.size());
    if (document.HasParseError()) {
      state.SkipWithError("parse failed");
      return;
    }
    benchmark::DoNotOptimize(&document);
  }
}

void ParseNlohmann(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded()) {
      state.SkipWithError("parse failed");
      return;
    }
    benchmark::DoNotOptimize(&document);
  }
}

void WriteVorn(benchmark::State& state, const std::string& text) {
  std::unique_ptr<base::JsonValue> value = base::ParseJson(text);
  std::string out;
  for (auto _ : state) {
    base::WriteJson(*value, 0, &out);
    benchmark::DoNotOptimize(out.data());
  }
}

void WriteRapidJson(benchmark::State& state, const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.data(), text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
}

void WriteNlohmann(benchmark::State& state, const std::string& text) {
  nlohmann::json document = nlohmann::json::parse(text);
  for (auto _ : state) {
    std::string out = document.dump();
    benchmark::DoNotOptimize(out.data());
  }
}

using BenchFunction = void (*)(benchmark::State&, const std::string&);

// Keeps every run's throughput, keyed by "op/document/peer".
class TableReporter final : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) mb_per_s_[name] = rate->second / 1e6;
      auto alloc = run.counters.find("alloc_bytes");
      if (alloc != run.counters.end()) alloc_[name] = alloc->second;
    }
  }

  void PrintTable() const {
    std::printf("%-26s %9s %9s %9s %8s %8s %14s\n", "json (MB/s)", "vorn",
                "rapidjson", "nlohmann", "/rapid", "/nlohm", "alloc B/parse");
    for (const char* op : {"parse", "write"}) {
      for (const char* document : kDocuments) {
        const std::string prefix = std::string(op) + "/" + document + "/";
        const double vorn = Get(mb_per_s_, prefix + "vorn");
        const double rapid = Get(mb_per_s_, prefix + "rapidjson");
        const double nlohmann = Get(mb_per_s_, prefix + "nlohmann");
        std::printf("json %-5s %-20s %9.1f %9.1f %9.1f %7.2fx %7.2fx", op,
                    document, vorn, rapid, nlohmann,
                    rapid > 0 ? vorn / rapid : 0.0,
                    nlohmann > 0 ? vorn / nlohmann : 0.0);
        if (std::strcmp(op, "parse") == 0) {
          std::printf(" %14.0f", Get(alloc_, prefix + "vorn"));
        }
        std::printf("\n");
      }
    }
  }

 private:
  static double Get(const std::map<std::string, double>& map,
                    const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? 0.0 : it->second;
  }

  std::map<std::string, double> mb_per_s_;
  std::map<std::string, double> alloc_;
};

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) {
      table = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());

  // The documents live as long as the registered benchmarks.
  static std::map<std::string, std::string> documents;
  const BenchFunction kFunctions[2][3] = {
      {ParseVorn, ParseRapidJson, ParseNlohmann},
      {WriteVorn, WriteRapidJson, WriteNlohmann}};
  const char* const kOps[2] = {"parse", "write"};
  for (const char* document : kDocuments) {
    std::string& text = documents[document];
    if (!ReadFile(DataDir() + "/" + document, &text)) {
      std::fprintf(stderr, "json_bench: cannot read %s/%s\n", DataDir().c_str(),
                   document);
      return 1;
    }
    for (int op = 0; op < 2; ++op) {
      for (int peer = 0; peer < 3; ++peer) {
        const BenchFunction function = kFunctions[op][peer];
        const std::string name =
            std::string(kOps[op]) + "/" + document + "/" + kPeers[peer];
        benchmark::RegisterBenchmark(
            name.c_str(),
            [function, &text](benchmark::State& state) {
              function(state, text);
              state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                      static_cast<int64_t>(text.size()));
            })
            ->Unit(benchmark::kMillisecond);
      }
    }
  }

  if (table) {
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
  } else {
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  return 0;
}
