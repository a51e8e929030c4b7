// The Windows command line of the print program, checked as text and by splitting it the
// way the started program does.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pickup/printing/WinCommandLine.h"
#include "support/WindowsSplit.h"

namespace {

std::vector<std::wstring> Split(const wxString& line) {
    return SplitLikeWindows(line.ToStdWstring());
}

}  // namespace

TEST(WinCommandLine, PlainNamesGiveTheDocumentedLine) {
    EXPECT_EQ(
        BuildPrintCommandLine("C:\\Spool", "sumatraPDF.exe", "Office Laser", "C:\\Temp\\ab12.tmp"),
        "\"C:\\Spool\\sumatraPDF.exe\" -print-to \"Office Laser\" \"C:\\Temp\\ab12.tmp\"");
    // A root directory already ends with its separator.
    EXPECT_EQ(BuildPrintCommandLine("C:\\", "sumatraPDF.exe", "P", "C:\\t.tmp"),
              "\"C:\\sumatraPDF.exe\" -print-to \"P\" \"C:\\t.tmp\"");
    EXPECT_EQ(WithTrailingBackslash("C:\\Spool"), "C:\\Spool\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\"), "C:\\");
}

TEST(WinCommandLine, ProgramInADirectoryWithBlanksIsOneWord) {
    const wxString line = BuildPrintCommandLine("C:\\Program Files\\Corvane", "sumatraPDF.exe",
                                                "Office Laser", "C:\\Temp\\ab12.tmp");
    EXPECT_EQ(line,
              "\"C:\\Program Files\\Corvane\\sumatraPDF.exe\" -print-to \"Office Laser\" "
              "\"C:\\Temp\\ab12.tmp\"");
    const std::vector<std::wstring> expected = {L"C:\\Program Files\\Corvane\\sumatraPDF.exe",
                                                L"-print-to", L"Office Laser",
                                                L"C:\\Temp\\ab12.tmp"};
    EXPECT_EQ(Split(line), expected);
}

TEST(WinCommandLine, QuotesAndBackslashesInNamesSurviveSplitting) {
    EXPECT_EQ(QuoteWindowsArgument("Say \"Hi\""), "\"Say \\\"Hi\\\"\"");
    // Backslashes before a quote are doubled, then the quote is escaped.
    EXPECT_EQ(QuoteWindowsArgument("a\\\"b"), "\"a\\\\\\\"b\"");
    // Trailing backslashes are doubled so that the closing quote stays a quote.
    EXPECT_EQ(QuoteWindowsArgument("\\\\server\\queue\\\\"), "\"\\\\server\\queue\\\\\\\\\"");
    // Backslashes elsewhere are left alone.
    EXPECT_EQ(QuoteWindowsArgument("C:\\Temp\\x"), "\"C:\\Temp\\x\"");
    EXPECT_EQ(QuoteWindowsArgument(""), "\"\"");

    const wxString printer = "Laser \"3rd floor\" \\\\srv\\";
    const wxString file = "C:\\Temp\\a\"b\\";
    const std::vector<std::wstring> expected = {L"C:\\Spool\\sumatraPDF.exe", L"-print-to",
                                                printer.ToStdWstring(), file.ToStdWstring()};
    EXPECT_EQ(Split(BuildPrintCommandLine("C:\\Spool", "sumatraPDF.exe", printer, file)), expected);
}

TEST(WinCommandLine, AnyTextComesBackAsOneArgument) {
    // Names made of the characters that matter to the splitting rules.
    const wchar_t alphabet[] = {L'a', L' ', L'\\', L'"', L'\t', L'\x00e9'};
    std::mt19937 random(20240601);
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) / sizeof(alphabet[0]) - 1);
    std::uniform_int_distribution<size_t> length(0, 12);
    for (int round = 0; round < 2000; ++round) {
        std::wstring printer;
        std::wstring file;
        for (size_t n = length(random); n > 0; --n) {
            printer += alphabet[pick(random)];
        }
        for (size_t n = length(random); n > 0; --n) {
            file += alphabet[pick(random)];
        }
        const std::vector<std::wstring> words =
            Split(BuildPrintCommandLine("C:\\Spool", "sumatraPDF.exe", printer, file));
        ASSERT_EQ(words.size(), 4u);
        EXPECT_EQ(words[2], printer);
        EXPECT_EQ(words[3], file);
    }
}
