// Runs a libFuzzer target without libFuzzer, so that any compiler and any sanitizer build can check
// it in every test run: first each file of the given corpus folders as it is, then a fixed number of
// inputs mutated from them with a fixed seed (the same inputs every run, so a failure reproduces).
//
//   reply_fuzz_replay [--runs N] [--seed S] DIR...
//
// A failing input is written to ./replay-crash-input before it is run, for the real fuzzer to take.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> readCorpus(const std::vector<std::string>& dirs) {
    std::vector<Bytes> corpus;
    for (const auto& dir : dirs)
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    return corpus;
}

// One to four edits of the kinds that break length fields and framing.
Bytes mutate(Bytes input, std::mt19937& random) {
    static constexpr std::uint8_t kEdges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    const auto below = [&](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const std::size_t edits = 1 + below(4);
    for (std::size_t i = 0; i < edits; ++i) {
        switch (below(6)) {
            case 0:
                if (!input.empty()) input[below(input.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                break;
            case 1:
                if (!input.empty()) input[below(input.size())] = kEdges[below(std::size(kEdges))];
                break;
            case 2:
                input.insert(input.begin() + static_cast<long>(below(input.size() + 1)),
                             static_cast<std::uint8_t>(below(256)));
                break;
            case 3:
                if (!input.empty()) input.erase(input.begin() + static_cast<long>(below(input.size())));
                break;
            case 4:
                input.resize(below(input.size() + 1));
                break;
            case 5: {  // a run of random bytes appended: long replies and extra reports
                const std::size_t n = below(300);
                for (std::size_t k = 0; k < n; ++k)
                    input.push_back(static_cast<std::uint8_t>(below(256)));
                break;
            }
        }
    }
    return input;
}

// The input about to run, kept in one open file: a crash leaves it behind without any help from
// the crashing process, and two system calls a run keep the replay fast.
int crashInput = -1;

void run(const Bytes& input) {
    if (crashInput >= 0 && ::ftruncate(crashInput, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(crashInput, input.data(), input.size(), 0);
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    long runs = 5000;
    unsigned seed = 1;
    std::vector<std::string> dirs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::atol(argv[++i]);
        else if (arg == "--seed" && i + 1 < argc)
            seed = static_cast<unsigned>(std::atol(argv[++i]));
        else
            dirs.push_back(arg);
    }
    const std::vector<Bytes> corpus = readCorpus(dirs);
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus files in the given folders\n");
        return 2;
    }
    crashInput = ::open("replay-crash-input", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (const Bytes& input : corpus)
        run(input);
    std::mt19937 random(seed);
    for (long i = 0; i < runs; ++i)
        run(mutate(corpus[random() % corpus.size()], random));
    ::close(crashInput);
    std::filesystem::remove("replay-crash-input");
    std::printf("%zu corpus inputs and %ld mutated inputs ran\n", corpus.size(), runs);
    return 0;
}
