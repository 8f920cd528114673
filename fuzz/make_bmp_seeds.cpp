// Writes every file of the BMP decoder tests into a folder, as the fuzzer's seed corpus.

#include <filesystem>
#include <fstream>
#include <iostream>

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
  std::cout << written << " seeds in " << folder.string() << "\n";
  return 0;
}
