// Runs a fuzz harness over files (or every file in folders) given on the
// command line, for builds without libFuzzer: the regression inputs run as
// ordinary tests, under the sanitizers in CI.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << file << '\n';
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int failures = 0;
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
                if (!entry.is_regular_file()) continue;
                failures += replay(entry.path());
                ++count;
            }
        } else {
            failures += replay(arg);
            ++count;
        }
    }
    std::cout << "replayed " << count << " inputs\n";
    return failures == 0 ? 0 : 1;
}
