#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// libFuzzer's entry point; the replay main in the normal build calls it too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// The input cut into at most `parts` texts at each `separator` byte; the last part keeps
// the rest, separators included. Keeps the corpus files readable.
inline std::vector<std::string> SplitInput(const std::uint8_t* data, std::size_t size,
                                           char separator, std::size_t parts) {
    std::vector<std::string> texts(1);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == separator && texts.size() < parts) {
            texts.emplace_back();
        } else {
            texts.back() += c;
        }
    }
    return texts;
}

// A fuzzer's property check: a failed one aborts, which libFuzzer reports with the input.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
