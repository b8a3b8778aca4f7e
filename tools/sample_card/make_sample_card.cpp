// make-sample-card: writes the sample card image and its ground truth
// (FILE.img.truth.json beside it unless --truth says otherwise), and with
// --samples each file and decoy of the card on its own (the seeds of the
// extractors' fuzz corpora).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <string_view>

#include "platform/console.h"
#include "platform/file.h"
#include "tools/sample_card/sample_card.h"

int main(int argc, char** argv) {
    qb::platform::Utf8Arguments arguments(argc, argv);
    CLI::App app {"Writes a raw card image holding sample files of the carved types, and its ground truth."};
    std::string out;
    qb::tools::SampleCardOptions options;
    app.add_option("--out", out, "image file to write")->required();
    app.add_option("--seed", options.seed, "seed of the generated content and layout");
    app.add_option("--scale", options.scale, "lay the set of samples down this many times")
        ->check(CLI::Range(1u, 1000u));
    app.add_option("--truth", options.truthPath, "where to write the truth (default: the image path + .truth.json)");
    std::string samples;
    app.add_option("--samples", samples, "also write each file and decoy of the card to this folder, one per file");
    CLI11_PARSE(app, arguments.argc(), arguments.argv());

    std::string error;
    const std::optional<qb::tools::CardTruth> truth = qb::tools::GenerateSampleCard(out, options, &error);
    if (!truth) {
        std::cerr << "make-sample-card: " << error << "\n";
        return 1;
    }
    std::cout << "sample card written to " << out << ": " << truth->imageSize << " bytes, " << truth->files.size()
              << " files, " << truth->decoys.size() << " decoys, " << truth->unaligned.size()
              << " headers off a block boundary\n";
    if (!samples.empty()) {
        const std::optional<std::string> image = qb::platform::ReadWholeFile(out, &error);
        if (!image || !qb::platform::CreateFolders(samples)) {
            std::cerr << "make-sample-card: " << samples << ": cannot write the samples\n";
            return 1;
        }
        // Decoys: the 64 KiB from their header on.
        auto write = [&](const std::string& kind, std::uint64_t offset, std::uint64_t size) {
            const std::string_view bytes = std::string_view(*image).substr(offset, size);
            return qb::platform::WriteWholeFile(qb::platform::JoinPath(samples, kind + ".bin"), bytes, &error);
        };
        for (const qb::tools::TruthFile& f : truth->files)
            if (!write(f.kind, f.offset, f.size)) std::cerr << "make-sample-card: " << error << "\n";
        for (const qb::tools::TruthMiss& d : truth->decoys)
            if (!write(d.kind, d.offset, 65536)) std::cerr << "make-sample-card: " << error << "\n";
    }
    return 0;
}
