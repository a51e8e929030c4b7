#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Where a document in the outbox stands. Each stage is reached only after the one before.
enum class OutboxStage {
    // The copy is complete and on disk; its removal on the server is not confirmed.
    Copied,
    // The server's copy is gone (or cannot be removed): the local copy is the one to print.
    Removed,
    // Given to the print program, no result yet.
    Given,
    // Printed or kept elsewhere, while the server keeps a file it would not let go: only
    // the record stays, so that the file is not printed again while it stays unchanged.
    Done,
};

// What a restart needs to know about one document.
struct OutboxRecord {
    std::string name;  // the document's name on the server
    std::uint64_t size = 0;
    std::uint32_t mtime = 0;  // 0: the server gave none
    OutboxStage stage = OutboxStage::Copied;
    bool keptOnServer = false;  // its removal was refused

    bool operator==(const OutboxRecord& other) const {
        return name == other.name && size == other.size && mtime == other.mtime &&
               stage == other.stage && keptOnServer == other.keptOnServer;
    }
};

// The record file's text: one "key=value" line each, the name in hexadecimal so that no
// byte of a server's name can break a line. The stage comes first, its name padded to one
// width, so that a step from one stage to the next overwrites those bytes in place rather
// than making a new file for every step of every document.
std::string FormatOutboxRecord(const OutboxRecord& record);
constexpr std::size_t kOutboxStageOffset = 6;  // after "stage="
constexpr std::size_t kOutboxStageWidth = 7;
// The stage as the record spells it at kOutboxStageOffset.
std::string OutboxStageField(OutboxStage stage);
// Nothing for a text that is not a whole record (a torn or foreign file).
std::optional<OutboxRecord> ParseOutboxRecord(const std::string& text);
