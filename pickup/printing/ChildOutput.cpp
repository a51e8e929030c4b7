#include "pickup/printing/ChildOutput.h"

#include <algorithm>

#include <wx/stream.h>

#include "app/DiagnosticLog.h"

namespace {

constexpr int kReadIntervalMs = 50;
constexpr std::size_t kKeptBytes = 4096;
// Per stream and read, so that a program that writes without end cannot hold the
// user-interface thread; the rest waits for the next read.
constexpr std::size_t kReadBudget = 1024 * 1024;

void ReadAvailable(wxInputStream* stream, std::string* keep) {
    if (stream == nullptr) {
        return;
    }
    char buffer[4096];
    std::size_t budget = kReadBudget;
    while (budget > 0 && stream->CanRead()) {
        stream->Read(buffer, sizeof buffer);
        const std::size_t got = stream->LastRead();
        if (got == 0) {
            break;
        }
        if (keep != nullptr && keep->size() < kKeptBytes) {
            keep->append(buffer, std::min(got, kKeptBytes - keep->size()));
        }
        budget -= std::min(budget, got);
    }
}

}  // namespace

ChildOutput::ChildOutput(wxProcess& process) : process(process) {}

ChildOutput::~ChildOutput() {
    Stop();
}

void ChildOutput::StartReading() {
    Start(kReadIntervalMs);
}

void ChildOutput::Notify() {
    Drain();
}

void ChildOutput::Drain() {
    if (!process.IsRedirected()) {
        return;
    }
    // Nothing is ever written to the program: its input ends at once.
    if (process.GetOutputStream() != nullptr) {
        process.CloseOutput();
    }
    ReadAvailable(process.GetInputStream(), nullptr);
    ReadAvailable(process.GetErrorStream(), &errorStart);
}

std::string ChildOutput::FirstErrorLines(std::size_t lines) const {
    std::string joined;
    std::size_t begin = 0;
    while (lines > 0 && begin < errorStart.size()) {
        std::size_t end = errorStart.find('\n', begin);
        if (end == std::string::npos) {
            end = errorStart.size();
        }
        const std::string line = OneLine(errorStart.substr(begin, end - begin), 120);
        if (!line.empty()) {
            joined += (joined.empty() ? "" : " | ") + line;
            --lines;
        }
        begin = end + 1;
    }
    return OneLine(joined);
}
