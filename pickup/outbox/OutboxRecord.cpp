#include "pickup/outbox/OutboxRecord.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

// A record is a few short lines; anything longer is not one.
constexpr std::size_t kMaxRecordText = 4096;

const char* StageName(OutboxStage stage) {
    switch (stage) {
        case OutboxStage::Copied:
            return "copied";
        case OutboxStage::Removed:
            return "removed";
        case OutboxStage::Given:
            return "given";
        case OutboxStage::Done:
            return "done";
    }
    return "copied";
}

std::optional<OutboxStage> StageFromName(std::string name) {
    // Padded to one width in the record.
    name.erase(name.find_last_not_of(' ') + 1);
    for (OutboxStage stage :
         {OutboxStage::Copied, OutboxStage::Removed, OutboxStage::Given, OutboxStage::Done}) {
        if (name == StageName(stage)) {
            return stage;
        }
    }
    return std::nullopt;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::optional<std::string> FromHex(const std::string& text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdef") != std::string::npos) {
            return std::nullopt;
        }
        bytes += static_cast<char>(std::strtoul(pair.c_str(), nullptr, 16));
    }
    return bytes;
}

std::optional<std::uint64_t> Number(const std::string& text, std::uint64_t max) {
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string FormatOutboxRecord(const OutboxRecord& record) {
    std::ostringstream text;
    text << "stage=" << OutboxStageField(record.stage) << "\nname=" << Hex(record.name)
         << "\nsize=" << record.size << "\nmtime=" << record.mtime
         << "\nkept=" << (record.keptOnServer ? 1 : 0) << "\nend\n";
    return text.str();
}

std::string OutboxStageField(OutboxStage stage) {
    std::string field = StageName(stage);
    field.resize(kOutboxStageWidth, ' ');
    return field;
}

std::optional<OutboxRecord> ParseOutboxRecord(const std::string& text) {
    if (text.size() > kMaxRecordText) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    bool ended = false;
    while (std::getline(lines, line)) {
        if (line == "end") {
            ended = true;
            break;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    // The closing line tells a whole record from one cut short.
    if (!ended || values.size() != 5) {
        return std::nullopt;
    }
    const auto name = FromHex(values["name"]);
    const auto size = Number(values["size"], UINT64_MAX);
    const auto mtime = Number(values["mtime"], UINT32_MAX);
    const auto stage = StageFromName(values["stage"]);
    const std::string& kept = values["kept"];
    if (!name || name->empty() || !size || !mtime || !stage || (kept != "0" && kept != "1")) {
        return std::nullopt;
    }
    OutboxRecord record;
    record.name = *name;
    record.size = *size;
    record.mtime = static_cast<std::uint32_t>(*mtime);
    record.stage = *stage;
    record.keptOnServer = kept == "1";
    return record;
}
