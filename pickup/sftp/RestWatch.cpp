#include "pickup/sftp/RestWatch.h"

#include <algorithm>

RestWatch::File* RestWatch::Find(const std::string& name) {
    const auto found = std::find_if(files.begin(), files.end(),
                                    [&](const File& file) { return file.name == name; });
    return found == files.end() ? nullptr : &*found;
}

bool RestWatch::Add(const std::string& name, RemoteFile handle) {
    File file;
    file.name = name;
    file.handle = std::move(handle);
    if (!Read(file)) {
        return false;
    }
    // One reading says nothing about rest yet.
    file.atRest = false;
    file.sizeSince = file.readAt;
    files.push_back(std::move(file));
    return true;
}

void RestWatch::ReadDue() {
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](File& file) {
                                   if (file.atRest || Clock::now() - file.readAt < kRestInterval) {
                                       return false;
                                   }
                                   const std::uint64_t previous = file.size;
                                   if (!Read(file)) {
                                       return true;
                                   }
                                   if (file.size != previous) {
                                       file.sizeSince = file.readAt;
                                       return false;
                                   }
                                   return !Settle(file);
                               }),
                files.end());
}

bool RestWatch::Read(File& file) {
    const Attributes attributes(sftp_fstat(file.handle.get()));
    // A size the server leaves out is unknown, not 0: such a reading is no reading.
    if (attributes == nullptr || (attributes->flags & SSH_FILEXFER_ATTR_SIZE) == 0) {
        return false;
    }
    file.size = attributes->size;
    // 0 when the server leaves the time out: then it is not compared later.
    file.mtime = (attributes->flags & SSH_FILEXFER_ATTR_ACMODTIME) != 0 ? attributes->mtime : 0;
    // Stamped once the answer is in, and the next reading is asked for only kRestInterval
    // after it: the two readings describe moments at least that far apart.
    file.readAt = Clock::now();
    ++file.readings;
    return true;
}

bool RestWatch::WaitsForOrder(const File& file) {
    // A file at rest is read no more: its last reading is when it came to rest.
    return Clock::now() - file.readAt < kOrderWait;
}

bool RestWatch::Settle(File& file) {
    const auto unchangedFor = file.readAt - file.sizeSince;
    if (file.size == 0) {
        file.atRest = unchangedFor >= UploadEnd::kEmptyWait;
        return true;
    }
    switch (UploadEnd::Read(file.handle.get(), file.size, file.kind)) {
        case UploadEnd::Check::Complete:
            file.atRest = true;
            return true;
        case UploadEnd::Check::Pending:
            file.atRest = unchangedFor >= UploadEnd::kUnmarkedPdfWait;
            return true;
        case UploadEnd::Check::Short:
            break;
    }
    return false;
}

void RestWatch::Drop(const std::string& name) {
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const File& file) { return file.name == name; }),
                files.end());
}

void RestWatch::KeepOnly(const std::vector<std::string>& listed) {
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const File& file) {
                                   return std::find(listed.begin(), listed.end(), file.name) ==
                                          listed.end();
                               }),
                files.end());
}
