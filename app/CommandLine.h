#pragma once

#include <string>
#include <vector>

// The program's few options, read before the toolkit starts so that neither needs a
// display: --version and --help print their text and end the program; anything else is
// refused in one line.
class CommandLine {
public:
    // `args` without the program's own name, as UTF-8.
    explicit CommandLine(const std::vector<std::string>& args);

    // No options: the program opens its window.
    bool StartsProgram() const { return startsProgram; }
    // What to show instead, and the exit code after it: 0 for --version and --help, 2 for
    // anything unknown.
    const std::string& Text() const { return text; }
    int ExitCode() const { return exitCode; }

    // Shows Text() where the user sees it: standard output, standard error for a refusal,
    // or a message box where a GUI program has no console (command_line_*.cpp).
    void Show() const;

    static std::string VersionText();
    static std::string HelpText();

private:
    bool startsProgram = true;
    int exitCode = 0;
    std::string text;
};

// The environment variables the program reads on this platform, for --help
// (command_line_*.cpp).
std::string EnvironmentHelp();
