// Runs a fuzz target over files without libFuzzer: every regular file named
// on the command line, or found (in name order) in a folder named there, is
// passed to LLVMFuzzerTestOneInput once. A crash or a sanitizer report fails
// the run; so does an argument that names nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

bool run_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  // An exact-size heap copy, so that reads past the input are caught.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  input.shrink_to_fit();
  LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...\n", argv[0]);
    return 2;
  }
  std::size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto &entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    if (files.empty()) {
      std::fprintf(stderr, "%s: nothing to run in %s\n", argv[0], argv[i]);
      return 1;
    }
    for (const auto &f : files) {
      if (!run_file(f)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], f.c_str());
        return 1;
      }
      ++runs;
    }
  }
  std::fprintf(stderr, "%s: %zu inputs ran\n", argv[0], runs);
  return 0;
}
