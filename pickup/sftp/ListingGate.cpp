#include "pickup/sftp/ListingGate.h"

#include <utility>

#include "pickup/sftp/SftpHandles.h"

ListingGate::ListingGate(std::vector<std::string> forms, std::function<Clock::time_point()> clock)
    : forms(std::move(forms)), clock(std::move(clock)) {}

bool ListingGate::MustList(const StatFolder& stat) {
    Clock::time_point now = clock();
    if (suspect) {
        // Still the same time: the file did not arrive between the request for the time and
        // the listing.
        suspect = false;
        const Folder folder = stat(listedPath);
        everyPoll = folder.exists && folder.mtime == listedTime;
    }
    // Files listed last time are still there to be opened, waited for or taken.
    if (everyPoll || !listed || !listedNames.empty()) {
        return Begin(now, std::nullopt);
    }
    // A folder appearing under the first form is used from the next listing on.
    if (listedPath != forms.front() && now - firstFormTried >= kFirstFormEvery) {
        firstFormTried = now;
        if (stat(forms.front()).exists) {
            return Begin(now, std::nullopt);
        }
    }
    const Folder folder = stat(listedPath);
    // The time is first seen once the answer is here, never before the change it shows.
    now = clock();
    if (!folder.exists) {
        return Begin(now, std::nullopt);
    }
    if (!folder.mtime) {
        everyPoll = true;
        return Begin(now, std::nullopt);
    }
    if (seenPath != listedPath || seenTime != folder.mtime) {
        seenPath = listedPath;
        seenTime = folder.mtime;
        firstSeen = now;
    }
    if (folder.mtime != listedTime || !settled || now - listedAt >= kSafetyNet) {
        return Begin(now, folder.mtime);
    }
    return false;
}

bool ListingGate::Begin(Clock::time_point now, std::optional<std::uint64_t> mtime) {
    listingAt = now;
    // Every listing tries the first form first.
    firstFormTried = now;
    knownPath = listedPath;
    knownTime = mtime;
    return true;
}

void ListingGate::Listed(const std::string& path, const std::vector<std::string>& names) {
    const std::optional<std::uint64_t> mtime = path == knownPath ? knownTime : std::nullopt;
    // A new file under a time that should have moved: this server keeps no folder times,
    // unless the time moves at the next request.
    if (listed && settled && path == listedPath && mtime && mtime == listedTime) {
        for (const auto& name : names) {
            suspect = suspect || listedNames.count(name) == 0;
        }
    }
    listed = true;
    listedPath = path;
    listedTime = mtime;
    settled = mtime && seenPath == path && listingAt - firstSeen >= kSameSecond;
    listedAt = listingAt;
    listedNames = std::set<std::string>(names.begin(), names.end());
    knownTime.reset();
}

ListingGate::Folder StatRemoteFolder(sftp_session sftp, const std::string& path) {
    const Attributes attributes(sftp_stat(sftp, path.c_str()));
    ListingGate::Folder folder;
    if (attributes == nullptr) {
        return folder;
    }
    folder.exists = true;
    if ((attributes->flags & SSH_FILEXFER_ATTR_ACMODTIME) != 0) {
        folder.mtime = attributes->mtime;
    }
    return folder;
}
