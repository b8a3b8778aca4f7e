// Scan throughput of the carving engine: every type in quick mode over disk
// images read from the page cache, as the workflow scans a card.
//
// Noise: 512 MiB of mostly pseudo-random bytes (what the compressed data of
// photos, video and archives looks like), with a small file of a carved type
// every few MiB and stray two-byte signatures ("BM", "MZ") at block
// boundaries that the extractors must look at and reject.
//
// Sample card: the sample card laid down ten times (about 530 MiB): every
// carved type with its variants, decoys, and files crossing chunk ends.
//
// Phone card: about 512 MiB of what a phone holds, large files back to back
// at 32 KiB clusters, most of them across chunk ends: motion photos of
// 3-5 MB, videos of 20-40 MB, MP3 music of 5 MB, tall screenshots.
//
// Reported: bytes per second (MB/s), the bytes read from the device per byte
// of the disk (read_per_byte: 1.0 when every byte is read once), and the
// peak resident memory of the process.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/memory.h"
#include "platform/raw_disk.h"
#include "src/cdr/carving_engine.h"
#include "tools/sample_card/image_samples.h"
#include "tools/sample_card/phone_samples.h"
#include "tools/sample_card/sample_card.h"

namespace {

using namespace qb;

constexpr std::uint64_t kImageBytes = 512ull * 1048576;
constexpr std::size_t kPiece = 4 * 1048576;

std::uint64_t Next(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

void PutLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Writes the image once per process; later runs read it from the page cache.
const std::string& ImagePath() {
    static const std::string path = [] {
        const std::string file = platform::JoinPath(platform::TempFolder(), "quillbrook-carving-bench.img");
        if (platform::FileExists(file)) {
            auto existing = platform::ReadOnlyFile::Open(file);
            if (existing && existing->Size() == kImageBytes) return file;
        }
        auto out = platform::OutputFile::Create(file);
        if (!out) return std::string();
        std::uint64_t state = 0x9E3779B97F4A7C15ull;
        std::vector<std::uint8_t> piece(kPiece);
        for (std::uint64_t written = 0; written < kImageBytes; written += kPiece) {
            for (std::size_t i = 0; i < kPiece; i += 8) {
                const std::uint64_t v = Next(state);
                for (int k = 0; k < 8; ++k) piece[i + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
            }
            // A RIFF WAVE file of 300 KB in every piece, and stray signatures.
            const std::size_t wav = 512 * (1 + Next(state) % 4000);
            piece[wav] = 'R', piece[wav + 1] = 'I', piece[wav + 2] = 'F', piece[wav + 3] = 'F';
            PutLe32(piece, wav + 4, 300000 - 8);
            piece[wav + 8] = 'W', piece[wav + 9] = 'A', piece[wav + 10] = 'V', piece[wav + 11] = 'E';
            for (int k = 0; k < 8; ++k) {
                const std::size_t at = 512 * (4100 + Next(state) % 4000);
                piece[at] = (k & 1) ? 'B' : 'M';
                piece[at + 1] = (k & 1) ? 'M' : 'Z';
            }
            if (!out->Write(piece.data(), piece.size())) return std::string();
        }
        return out->Close() ? file : std::string();
    }();
    return path;
}

int CountFiles(std::uint64_t, std::uint64_t, cdr::FileItem* item, void* user) {
    if (item) ++*static_cast<std::uint64_t*>(user);
    return 0;
}

const std::string& SampleCardPath() {
    static const std::string path = [] {
        const std::string file = platform::JoinPath(platform::TempFolder(), "quillbrook-carving-bench-card.img");
        tools::SampleCardOptions options;
        options.scale = 10;
        options.truthPath = file + ".truth.json";
        return tools::GenerateSampleCard(file, options) ? file : std::string();
    }();
    return path;
}

// Writes the phone card once per process.
const std::string& PhoneCardPath() {
    static const std::string path = [] {
        const std::string file = platform::JoinPath(platform::TempFolder(), "quillbrook-carving-bench-phone.img");
        auto out = platform::OutputFile::Create(file);
        if (!out) return std::string();
        std::uint64_t written = 0;
        auto put = [&](const std::vector<std::uint8_t>& bytes) {
            const std::uint64_t cluster = (written + 32767) / 32768 * 32768;
            const std::vector<std::uint8_t> gap(static_cast<std::size_t>(cluster - written), 0);
            if (!out->Write(gap.data(), gap.size()) || !out->Write(bytes.data(), bytes.size())) return false;
            written = cluster + bytes.size();
            return true;
        };
        for (std::uint32_t i = 0; written < kImageBytes; ++i) {
            std::vector<std::uint8_t> sample;
            switch (i % 6) {
            case 0:
            case 1:
            case 2: sample = tools::BuildMotionPhoto({.videoBytes = 3'000'000 + 400'000 * (i % 5), .seed = i}); break;
            case 3: sample = tools::BuildIsoMedia({.brand = "mp42", .mediaBytes = 20'000'000 + 5'000'000 * (i % 4), .seed = i}); break;
            case 4: sample = tools::BuildMp3({.frames = 12000 + i, .id3v1 = true, .seed = i}); break;
            default: sample = tools::BuildPng({.width = 720, .height = 1600, .seed = i, .idatChunkSize = 65536}); break;
            }
            if (!put(sample)) return std::string();
        }
        return out->Close() ? file : std::string();
    }();
    return path;
}

void Scan(benchmark::State& state, const std::string& path) {
    if (path.empty()) {
        state.SkipWithError("cannot write the bench image");
        return;
    }
    std::string error;
    auto disk = platform::OpenRawDisk(path, &error);
    if (!disk) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::uint64_t files = 0;
    cdr::ScanReport report;
    platform::ResetPeakResidentBytes();
    for (auto _ : state) {
        cdr::DeviceNode node;
        node.devicePath = path;
        node.size = disk->Size();
        node.scanHandle = disk;
        files = 0;
        std::ostringstream notes;  // extractor diagnostics
        cdr::ScanOptions options;
        options.notes = &notes;
        options.report = &report;
        cdr::ScanPartition(node, &CountFiles, &files, options);
        benchmark::DoNotOptimize(node.children.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * disk->Size()));
    state.counters["files"] = static_cast<double>(files);
    state.counters["read_per_byte"] = static_cast<double>(report.bytesRead) / static_cast<double>(disk->Size());
    state.counters["peak_MiB"] = static_cast<double>(platform::PeakResidentBytes()) / 1048576.0;
}
void BM_QuickScanNoise(benchmark::State& state) { Scan(state, ImagePath()); }
void BM_QuickScanSampleCard(benchmark::State& state) { Scan(state, SampleCardPath()); }
void BM_QuickScanPhoneCard(benchmark::State& state) { Scan(state, PhoneCardPath()); }
BENCHMARK(BM_QuickScanNoise)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_QuickScanSampleCard)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_QuickScanPhoneCard)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
