// Writes every file of the BMP decoder tests into a folder, as the fuzzer's seed corpus.

#include <filesystem>
#include <fstream>
#include <iostream>

#include "tests/picture/bmp_builder.h"
#include "tests/picture/bmp_cases.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_bmp_seeds <folder>\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  int written = 0;
  const auto write = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(folder / (name + ".bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ++written;
  };
  for (const auto& c : bmptest::GoodCases()) write(c.name, c.file);
  for (const auto& c : bmptest::BadCases()) write(c.name, c.file);
  // Large pictures, so that the fuzzer starts from inputs of a few megabytes as real ones are:
  // 24 bits at 1200 x 900, and 8 bits at 2000 x 1500 with a grey palette.
  {
    bmptest::BmpSpec spec;
    spec.width = 1200;
    spec.height = 900;
    for (int i = 0; i < 1200 * 3 * 900; ++i) spec.bits.push_back(static_cast<std::uint8_t>(i / 3));
    write("large-24", bmptest::BuildBmp(spec));
    spec.width = 2000;
    spec.height = 1500;
    spec.bitCount = 8;
    spec.bits.clear();
    for (int i = 0; i < 2000 * 1500; ++i) spec.bits.push_back(static_cast<std::uint8_t>(i % 253));
    for (int i = 0; i < 256; ++i) spec.palette.push_back(static_cast<model::Colour>(i * 0x010101));
    write("large-8", bmptest::BuildBmp(spec));
  }
  std::cout << written << " seeds in " << folder.string() << "\n";
  return 0;
}
