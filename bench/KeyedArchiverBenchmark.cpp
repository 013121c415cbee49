// Keyed archives of many small records: encoding, decoding, and a whole-file write.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo::platform;

struct Sample final : Archivable {
  static constexpr const char* kArchiveClassName = "BenchSample";
  Sample(double value, std::int32_t index) : value(value), index(index) {}
  explicit Sample(KeyedUnarchiver& coder)
      : value(coder.decodeDouble("self.value")),
        index(coder.decodeInt("self.index")),
        when(coder.decodeDate("self.when")),
        label(coder.decodeString("self.label")) {}
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeDouble(value, "self.value");
    coder.encodeInt(index, "self.index");
    coder.encodeDate(when, "self.when");
    coder.encodeString(label, "self.label");
  }
  double value;
  std::int32_t index;
  std::optional<trevalo::Date> when = trevalo::Date(1767225600.25);
  std::optional<std::string> label = "sample";
};

struct Batch final : Archivable {
  static constexpr const char* kArchiveClassName = "BenchBatch";
  Batch() = default;
  explicit Batch(KeyedUnarchiver& coder)
      : samples(coder.decodeArrayOfObjectsOfClass<Sample>("self.samples")
                    .value_or(std::vector<std::shared_ptr<Sample>>{})) {}
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeObjects(samples, "self.samples");
  }
  std::vector<std::shared_ptr<Sample>> samples;
};

std::shared_ptr<Batch> makeBatch(int count) {
  auto batch = std::make_shared<Batch>();
  for (int i = 0; i < count; ++i)
    batch->samples.push_back(std::make_shared<Sample>(i * 0.5, i));
  return batch;
}

void BM_ArchiveWriteAndRead1000Records(benchmark::State& state) {
  const auto batch = makeBatch(1000);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto data = KeyedArchiver::archivedDataWithRootObject(batch);
    const auto back = KeyedUnarchiver::unarchiveObjectOfClass<Batch>(data);
    benchmark::DoNotOptimize(back);
    bytes = data.size();
  }
  state.counters["archive_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ArchiveWriteAndRead1000Records)->Unit(benchmark::kMillisecond);

void BM_ArchiveWrite1000Records(benchmark::State& state) {
  const auto batch = makeBatch(1000);
  for (auto _ : state)
    benchmark::DoNotOptimize(KeyedArchiver::archivedDataWithRootObject(batch));
}
BENCHMARK(BM_ArchiveWrite1000Records)->Unit(benchmark::kMillisecond);

void BM_ArchiveRead1000Records(benchmark::State& state) {
  const auto data = KeyedArchiver::archivedDataWithRootObject(makeBatch(1000));
  for (auto _ : state) {
    benchmark::DoNotOptimize(KeyedUnarchiver::unarchiveObjectOfClass<Batch>(data));
  }
}
BENCHMARK(BM_ArchiveRead1000Records)->Unit(benchmark::kMillisecond);

// The same archive written to a file atomically and flushed to the disk.
void BM_ArchiveRootObjectToFile1000Records(benchmark::State& state) {
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-bench-archive";
  const auto previous =
      Platform::install(SimulatedPlatform::make({.documentsDirectory = directory}));
  const auto batch = makeBatch(1000);
  for (auto _ : state) {
    if (!KeyedArchiver::archiveRootObject(batch, directory / "batch.dat")) {
      state.SkipWithError("write failed");
      break;
    }
  }
  Platform::install(previous);
  std::filesystem::remove_all(directory);
}
BENCHMARK(BM_ArchiveRootObjectToFile1000Records)->Unit(benchmark::kMillisecond);

}  // namespace
