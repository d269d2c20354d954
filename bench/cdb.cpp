// Appending 2048x2048 8-bit images to a camera database file, beside plain
// sequential write() of the same bytes to the same directory, in the same
// run; both without fsync, and each with an fsync per record.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include <qrn/acq/cdb/cdb.h>

namespace {

constexpr long kSide = 2048;
constexpr long kBytes = kSide * kSide;

// The directory the files go to: $QRN_BENCH_DIR, else the build tree.
std::string benchFile(const char* name) {
  const char* dir = std::getenv("QRN_BENCH_DIR");
  return (std::filesystem::path(dir && *dir ? dir : QRN_BENCH_BINARY_DIR) / name).string();
}

const qcPelBuffer<unsigned char>& image() {
  static const qcPelBuffer<unsigned char> img = [] {
    qcPelBuffer<unsigned char> b(kSide, kSide);
    for (long y = 0; y < kSide; ++y)
      for (long x = 0; x < kSide; ++x) b.rowPointer(y)[x] = static_cast<unsigned char>(x ^ y);
    return b;
  }();
  return img;
}

// Images per file before it is started again (keeps the disk use bounded).
constexpr int kPerFile = 64;

// Starts a new database file every kPerFile iterations, outside the timing.
void startEvery(benchmark::State& state, int& n, std::unique_ptr<qcCDBFile>& file, const std::string& path,
                bool sync) {
  if (n++ % kPerFile != 0) return;
  state.PauseTiming();
  file = std::make_unique<qcCDBFile>(path, 1 | 2 | 16);
  file->syncEveryAppend(sync);
  state.ResumeTiming();
}

void BM_PlainWrite(benchmark::State& state) {
  const bool sync = state.range(0) != 0;
  const std::string path = benchFile("bench-plain.raw");
  const auto& img = image();
  int fd = -1, n = 0;
  for (auto _ : state) {
    if (n++ % kPerFile == 0) {
      state.PauseTiming();
      if (fd >= 0) ::close(fd);
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      state.ResumeTiming();
    }
    for (long done = 0; done < kBytes;) {
      const ssize_t w = ::write(fd, img.rowPointer(0) + done, static_cast<std::size_t>(kBytes - done));
      if (w <= 0) {
        state.SkipWithError("write failed");
        break;
      }
      done += w;
    }
    if (sync) ::fdatasync(fd);
  }
  ::close(fd);
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// The record is filled once: the benchmark measures the append.
void BM_CdbAppend(benchmark::State& state) {
  const bool sync = state.range(0) != 0;
  const std::string path = benchFile("bench-append.cdb");
  const qcPelBuffer_const<unsigned char> img = image();
  const qcCDBRecord rec(3, -21, 0, &img, "frame");
  std::unique_ptr<qcCDBFile> file;
  int n = 0;
  for (auto _ : state) {
    startEvery(state, n, file, path, sync);
    file->appendRecord(rec);
  }
  file.reset();
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// Filling the record from the image (a copy) and appending it, as a
// recording program does per frame.
void BM_CdbFillAndAppend(benchmark::State& state) {
  const std::string path = benchFile("bench-fill.cdb");
  const qcPelBuffer_const<unsigned char> img = image();
  qcCDBRecord rec;
  std::unique_ptr<qcCDBFile> file;
  int n = 0;
  for (auto _ : state) {
    startEvery(state, n, file, path, false);
    rec.fillRecord(3, -21, 0, &img, "frame");
    file->appendRecord(rec);
  }
  file.reset();
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * kBytes);
}

BENCHMARK(BM_PlainWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CdbAppend)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CdbFillAndAppend)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
