#include "pickup/sftp/PartialCopies.h"

#include <mutex>
#include <set>

#include "pickup/outbox/Outbox.h"

namespace {

// Held while a copy's file is created, so that the exit never misses one being made.
std::mutex& CopiesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<wxString>& Copies() {
    static std::set<wxString> copies;
    return copies;
}

bool exiting = false;

}  // namespace

wxString CreatePartialCopy(wxFile& file) {
    std::lock_guard<std::mutex> lock(CopiesMutex());
    if (exiting) {
        return wxString();
    }
    const wxString path = outbox::NewCopy(file);
    if (path.empty() || !file.IsOpened()) {
        if (!path.empty()) {
            outbox::Remove(path);
        }
        return wxString();
    }
    Copies().insert(path);
    return path;
}

void DropPartialCopy(const wxString& path) {
    std::lock_guard<std::mutex> lock(CopiesMutex());
    if (Copies().erase(path) != 0) {
        outbox::Remove(path);
    }
}

bool CompletePartialCopy(const wxString& path) {
    std::lock_guard<std::mutex> lock(CopiesMutex());
    return Copies().erase(path) != 0;
}

void RemovePartialCopiesForExit() {
    std::lock_guard<std::mutex> lock(CopiesMutex());
    exiting = true;
    for (const wxString& path : Copies()) {
        outbox::Remove(path);
    }
    Copies().clear();
}
