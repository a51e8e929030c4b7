#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// Spaces out the copies of a file that could not be copied for a local reason (the disk is
// full, the temporary folder cannot be written): 1 s after the first failure, then twice as
// long after each further one, up to 30 s, instead of copying it again on every poll.
class CopyBackoff {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kFirstPause{1};
    static constexpr std::chrono::seconds kLongestPause{30};

    // Whether `name` may be copied now.
    bool Ready(const std::string& name, Clock::time_point now = Clock::now()) const;
    // A copy of `name` failed at `now`.
    void Failed(const std::string& name, Clock::time_point now = Clock::now());
    // Forgets every file not in `listed` (taken, or removed by someone else).
    void KeepOnly(const std::vector<std::string>& listed);

private:
    struct Pause {
        Clock::duration length;
        Clock::time_point until;
    };
    std::map<std::string, Pause> paused;
};
