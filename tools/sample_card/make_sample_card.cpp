// make-sample-card: writes the sample card image and its ground truth
// (FILE.img.truth.json beside it unless --truth says otherwise).
#include <CLI/CLI.hpp>

#include <iostream>

#include "platform/console.h"
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
    return 0;
}
