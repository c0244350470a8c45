// Writes the PNG fuzz target's seed corpus into the folder given: one small image of every colour
// type and bit depth, plus the media bar's images.
#include "toolkit/PngSamples.h"

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_png_seeds FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int n = 0;
    for (auto kind : vantor::test::everyPngKind()) {
        kind.width = 5;
        kind.height = 3;
        const auto sample = vantor::test::makePng(kind);
        std::ofstream(folder / ("kind" + std::to_string(n++) + ".png"), std::ios::binary)
            .write(reinterpret_cast<const char*>(sample.bytes.data()), static_cast<std::streamsize>(sample.bytes.size()));
    }
    const std::filesystem::path gui = std::filesystem::path(QUORVEL_SOURCE_DIR) / "data" / "GUI";
    for (const auto& entry : std::filesystem::directory_iterator(gui))
        if (entry.path().extension() == ".png")
            std::filesystem::copy_file(entry.path(), folder / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
    return 0;
}
