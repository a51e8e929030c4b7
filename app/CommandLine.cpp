#include "app/CommandLine.h"

#include "app/ProgramInfo.h"

namespace {

constexpr int kUnknownOption = 2;
// An argument is echoed in the refusal: cut short, and without control characters, so
// the refusal stays one line.
constexpr size_t kEchoLimit = 64;

std::string Printable(const std::string& arg) {
    std::string shown;
    for (const char c : arg.substr(0, kEchoLimit)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += (byte < 0x20 || byte == 0x7f) ? '?' : c;
    }
    if (arg.size() > kEchoLimit) {
        shown += "...";
    }
    return shown;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        return;
    }
    startsProgram = false;
    // One option at a time: the first argument decides.
    const std::string& first = args.front();
    if (args.size() == 1 && first == "--version") {
        text = VersionText();
    } else if (args.size() == 1 && first == "--help") {
        text = HelpText();
    } else {
        const std::string& unknown = (first == "--version" || first == "--help") ? args[1] : first;
        text = "corvane-print-spooler: unknown option '" + Printable(unknown) + "' (try --help)\n";
        exitCode = kUnknownOption;
    }
}

std::string CommandLine::VersionText() {
    return std::string(kTitlePrefix) + kProgramVersion + "\n";
}

std::string CommandLine::HelpText() {
    return "Usage: corvane-print-spooler [--help | --version]\n"
           "\n"
           "Picks up the documents sent to your Corvane account and prints them.\n"
           "Started without options, it opens its window: log in with the account ID\n"
           "and password, choose a printer and click Connect.\n"
           "\n"
           "Options:\n"
           "  --help     show this text and exit\n"
           "  --version  show the program's name and release and exit\n"
           "\n"
           "Environment:\n" +
           EnvironmentHelp();
}
