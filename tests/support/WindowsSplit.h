#pragma once

#include <string>
#include <vector>

// The test copy of how a started Windows program splits its command line, shared by the
// tests and the fuzzer of the command-line building.

// The splitting of CommandLineToArgvW / the Microsoft C runtime: the first word ends at
// the next quote (inside quotes) or blank, without backslash rules; in the others 2n
// backslashes before a quote give n and toggle quoting, 2n+1 give n and a literal quote,
// backslashes elsewhere are literal.
inline std::vector<std::wstring> SplitLikeWindows(const std::wstring& line) {
    std::vector<std::wstring> words;
    size_t i = 0;
    std::wstring first;
    if (i < line.size() && line[i] == L'"') {
        ++i;
        while (i < line.size() && line[i] != L'"') {
            first += line[i++];
        }
        ++i;
    } else {
        while (i < line.size() && line[i] != L' ' && line[i] != L'\t') {
            first += line[i++];
        }
    }
    words.push_back(first);

    for (;;) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) {
            ++i;
        }
        if (i >= line.size()) {
            return words;
        }
        std::wstring word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                word.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    word += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    word += L'"';  // "" inside quotes: a literal quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(backslashes, L'\\');
                if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
                    word += line[i++];
                }
            }
        }
        words.push_back(word);
    }
}
