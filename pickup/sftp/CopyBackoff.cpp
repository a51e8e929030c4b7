#include "pickup/sftp/CopyBackoff.h"

#include <algorithm>

constexpr std::chrono::seconds CopyBackoff::kFirstPause;
constexpr std::chrono::seconds CopyBackoff::kLongestPause;

bool CopyBackoff::Ready(const std::string& name, Clock::time_point now) const {
    const auto found = paused.find(name);
    return found == paused.end() || now >= found->second.until;
}

void CopyBackoff::Failed(const std::string& name, Clock::time_point now) {
    const auto found = paused.find(name);
    const Clock::duration length =
        found == paused.end() ? Clock::duration(kFirstPause)
                              : std::min<Clock::duration>(2 * found->second.length, kLongestPause);
    paused[name] = Pause{length, now + length};
}

void CopyBackoff::KeepOnly(const std::vector<std::string>& listed) {
    for (auto entry = paused.begin(); entry != paused.end();) {
        const bool keep = std::find(listed.begin(), listed.end(), entry->first) != listed.end();
        entry = keep ? std::next(entry) : paused.erase(entry);
    }
}
