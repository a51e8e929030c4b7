#include "pickup/outbox/Outbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include "pickup/outbox/OutboxFiles.h"

namespace outbox {
namespace {

const wxString kCopySuffix = ".copy";
const wxString kRecordSuffix = ".rec";
const wxString kNewSuffix = ".new";

// Guards the records' read-modify-write (worker and user-interface threads) and `live`.
std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
}

// The documents this run made or took over: never an earlier run's work.
std::set<wxString>& Live() {
    static std::set<wxString> live;
    return live;
}

wxString Id(const wxString& copy) {
    wxString id = wxFileName(copy).GetFullName();
    id.EndsWith(kCopySuffix, &id);
    return id;
}

wxString RecordOf(const wxString& copy) {
    wxString base = copy;
    base.EndsWith(kCopySuffix, &base);
    return base + kRecordSuffix;
}

std::optional<std::string> ReadRecordText(const wxString& path) {
    wxFile file;
    if (!wxFileName::FileExists(path) || !file.Open(path)) {
        return std::nullopt;
    }
    char buffer[4097];
    const ssize_t got = file.Read(buffer, sizeof(buffer) - 1);
    if (got <= 0) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(got));
}

std::optional<OutboxRecord> ReadRecordFile(const wxString& path) {
    const auto text = ReadRecordText(path);
    return text ? ParseOutboxRecord(*text) : std::nullopt;
}

bool WriteRecord(const wxString& copy, const OutboxRecord& record, bool durable) {
    const wxString path = RecordOf(copy);
    return WriteByRename(path + kNewSuffix, path, FormatOutboxRecord(record), durable);
}

// Ids sort in the order they were made: milliseconds since the epoch, then a count.
wxString NewId() {
    static std::uint64_t made = 0;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    char id[64];
    std::snprintf(id, sizeof(id), "%013lld-%lu-%06llu", static_cast<long long>(now),
                  static_cast<unsigned long>(wxGetProcessId()),
                  static_cast<unsigned long long>(++made % 1000000));
    return id;
}

}  // namespace

wxString NewCopy(wxFile& file) {
    const wxString folder = Folder();
    if (folder.empty() || !MakeFolder(folder)) {
        return wxString();
    }
    std::lock_guard<std::mutex> lock(Mutex());
    const wxString id = NewId();
    const wxString path = folder + wxFileName::GetPathSeparator() + id + kCopySuffix;
    if (!CreateNew(path, file)) {
        return wxString();
    }
    Live().insert(id);
    return path;
}

bool Secure(const wxString& copy, const OutboxRecord& record) {
    std::lock_guard<std::mutex> lock(Mutex());
    return WriteRecord(copy, record, true);
}

bool SecureFolder() {
    const wxString folder = Folder();
    return !folder.empty() && FlushFolder(folder);
}

bool SetStage(const wxString& copy, OutboxStage stage, bool keptOnServer) {
    std::lock_guard<std::mutex> lock(Mutex());
    const wxString path = RecordOf(copy);
    const auto text = ReadRecordText(path);
    auto record = text ? ParseOutboxRecord(*text) : std::nullopt;
    if (!record) {
        return false;
    }
    // Only the stage changes: its bytes are overwritten in place, which a cut leaves either
    // old or new, and no file is made. Anything more is a new record, renamed over the old.
    if (keptOnServer <= record->keptOnServer &&
        text->compare(0, kOutboxStageOffset + kOutboxStageWidth + 1,
                      "stage=" + OutboxStageField(record->stage) + "\n") == 0) {
        wxFile file;
        const std::string field = OutboxStageField(stage);
        return file.Open(path, wxFile::read_write) &&
               file.Seek(static_cast<wxFileOffset>(kOutboxStageOffset)) != wxInvalidOffset &&
               file.Write(field.data(), field.size()) == field.size() && file.Close();
    }
    record->stage = stage;
    record->keptOnServer = record->keptOnServer || keptOnServer;
    return WriteRecord(copy, *record, false);
}

std::optional<OutboxRecord> Read(const wxString& copy) {
    std::lock_guard<std::mutex> lock(Mutex());
    return ReadRecordFile(RecordOf(copy));
}

void Remove(const wxString& copy) {
    std::lock_guard<std::mutex> lock(Mutex());
    // The record first: a copy without one is only ever taken for a partial copy.
    wxRemoveFile(RecordOf(copy));
    if (wxFileName::FileExists(copy)) {
        wxRemoveFile(copy);
    }
}

void Finished(const wxString& copy) {
    std::lock_guard<std::mutex> lock(Mutex());
    auto record = ReadRecordFile(RecordOf(copy));
    if (record && record->keptOnServer) {
        record->stage = OutboxStage::Done;
        WriteRecord(copy, *record, false);
    } else {
        wxRemoveFile(RecordOf(copy));
    }
    if (wxFileName::FileExists(copy)) {
        wxRemoveFile(copy);
    }
}

void ForgetKept(const wxString& copy) {
    if (copy.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(Mutex());
    auto record = ReadRecordFile(RecordOf(copy));
    if (!record) {
        return;
    }
    if (record->stage == OutboxStage::Done) {
        wxRemoveFile(RecordOf(copy));
        return;
    }
    record->keptOnServer = false;
    WriteRecord(copy, *record, false);
}

std::string JobTag(const wxString& copy) {
    return "[" + std::string(Id(copy).ToAscii()) + "]";
}

std::vector<Earlier> ClaimEarlier() {
    const wxString folder = Folder();
    std::vector<Earlier> found;
    if (folder.empty() || !wxDir::Exists(folder)) {
        return found;
    }
    std::lock_guard<std::mutex> lock(Mutex());
    wxArrayString names;
    wxDir::GetAllFiles(folder, &names, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN);
    std::sort(names.begin(), names.end());
    std::set<wxString> withRecord;
    for (const wxString& path : names) {
        wxString base;
        if (!path.EndsWith(kRecordSuffix, &base)) {
            continue;
        }
        const wxString copy = base + kCopySuffix;
        const wxString id = Id(copy);
        if (Live().count(id) != 0) {
            continue;
        }
        const auto record = ReadRecordFile(path);
        const bool hasCopy = wxFileName::FileExists(copy);
        // A torn record, or one whose copy is gone, has nothing left to finish.
        if (!record || (record->stage != OutboxStage::Done && !hasCopy)) {
            wxRemoveFile(path);
            continue;
        }
        withRecord.insert(id);
        Live().insert(id);
        found.push_back(Earlier{copy, *record});
    }
    for (const wxString& path : names) {
        const wxString id = Id(path);
        if (Live().count(id) != 0 && withRecord.count(id) == 0) {
            continue;  // this run's own, in progress
        }
        // Partial copies, the copy beside a done record, and records never renamed.
        if (path.EndsWith(kNewSuffix) ||
            (path.EndsWith(kCopySuffix) &&
             (withRecord.count(id) == 0 ||
              std::any_of(found.begin(), found.end(), [&](const Earlier& earlier) {
                  return earlier.copy == path && earlier.record.stage == OutboxStage::Done;
              })))) {
            wxRemoveFile(path);
        }
    }
    return found;
}

void Unclaim(const wxString& copy) {
    std::lock_guard<std::mutex> lock(Mutex());
    Live().erase(Id(copy));
}

}  // namespace outbox
