// The print program's Windows command line, split again by the test copy of the Windows
// rules: the program's path, the option, the printer and the file come back unchanged.
#include "FuzzInput.h"
#include "pickup/printing/WinCommandLine.h"
#include "support/WindowsSplit.h"

namespace {

// Bytes as characters; a NUL (which no Windows name holds) stands for a non-ASCII letter,
// and `forbidden` (a character the name cannot hold) for a blank.
std::wstring Name(const std::string& bytes, wchar_t forbidden = 0) {
    std::wstring name;
    for (const char byte : bytes) {
        wchar_t c = static_cast<unsigned char>(byte);
        if (c == 0) {
            c = L'\x00e9';
        } else if (forbidden != 0 && c == forbidden) {
            c = L' ';
        }
        name += c;
    }
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts = SplitInput(data, size, '\n', 4);
    parts.resize(4);
    // Windows paths hold no double quote.
    const std::wstring directory = Name(parts[0], L'"');
    const std::wstring program = Name(parts[1], L'"');
    const std::wstring printer = Name(parts[2]);
    const std::wstring file = Name(parts[3]);

    const wxString line = BuildPrintCommandLine(directory, program, printer, file);
    const std::vector<std::wstring> words = SplitLikeWindows(line.ToStdWstring());
    FUZZ_CHECK(words.size() == 4);
    FUZZ_CHECK(words[0] == (WithTrailingBackslash(directory) + program).ToStdWstring());
    FUZZ_CHECK(words[1] == L"-print-to");
    FUZZ_CHECK(words[2] == printer);
    FUZZ_CHECK(words[3] == file);
    return 0;
}
