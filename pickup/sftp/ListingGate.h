#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <libssh/sftp.h>

// Decides, poll by poll, whether the pickup folder has to be listed or whether one request
// for its attributes shows that nothing can have arrived: a listing costs the server several
// requests, an idle poll should cost it one.
//
// SFTP gives the folder's modification time in whole seconds, so a change in the same second
// as the one last seen shows no difference: after each new time the folder is listed on
// every poll for two seconds. A listing every ten seconds catches anything else, and on a
// server whose folder time stays still while files arrive, every poll lists.
class ListingGate {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kSameSecond{2};
    static constexpr std::chrono::seconds kSafetyNet{10};
    static constexpr std::chrono::seconds kFirstFormEvery{1};

    // A folder's attributes: `exists` is false when they cannot be read.
    struct Folder {
        bool exists = false;
        std::optional<std::uint64_t> mtime;
    };
    using StatFolder = std::function<Folder(const std::string& path)>;

    // `forms`: the forms of the pickup path in the order a listing tries them.
    explicit ListingGate(std::vector<std::string> forms,
                         std::function<Clock::time_point()> clock = Clock::now);

    // Whether this poll lists; asks for folder attributes through `stat` where they decide.
    bool MustList(const StatFolder& stat);
    // A listing of `path` (one of the forms) found the regular files `names`.
    void Listed(const std::string& path, const std::vector<std::string>& names);

    bool ListsEveryPoll() const { return everyPoll; }

private:
    bool Begin(Clock::time_point now, std::optional<std::uint64_t> mtime);

    std::vector<std::string> forms;
    std::function<Clock::time_point()> clock;
    bool everyPoll = false;
    bool suspect = false;
    Clock::time_point firstFormTried;

    // The folder time last seen, and when it was first seen.
    std::string seenPath;
    std::optional<std::uint64_t> seenTime;
    Clock::time_point firstSeen;

    // The listing about to be made: when, and the folder time it is known to reflect.
    Clock::time_point listingAt;
    std::string knownPath;
    std::optional<std::uint64_t> knownTime;

    // The last listing. `settled`: made long enough after its folder time was first seen
    // that any later change shows a new time.
    bool listed = false;
    std::string listedPath;
    std::optional<std::uint64_t> listedTime;
    bool settled = false;
    Clock::time_point listedAt;
    std::set<std::string> listedNames;
};

// The attributes of the folder `path` on the server.
ListingGate::Folder StatRemoteFolder(sftp_session sftp, const std::string& path);
