#pragma once

#include <string>
#include <vector>

#include <libssh/libssh.h>

// The server's identity, judged from the known-hosts files as the program reads them
// itself: the SSH library takes a line it cannot parse, or a file it cannot read, for a
// host it has never met, so a changed key behind a damaged line would look like a first
// contact.
class KnownHosts {
public:
    enum class Verdict {
        // A readable line for this host holds the server's key.
        Known,
        // No file, or no line for this host at all: the key may be recorded.
        FirstContact,
        // Anything else: a file that cannot be read, or only lines for this host that are
        // damaged, hold other keys or key types the library does not know.
        Refused
    };

    struct Judgement {
        Verdict verdict = Verdict::Refused;
        // Why a key was refused, for the log: "has changed", "cannot be read"...
        std::string detail;
    };

    // Beyond these the file counts as unreadable, or the line as damaged.
    static constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;
    static constexpr std::size_t kMaxLineBytes = 16 * 1024;

    // `host` and `port` as the session connects to them; `files` in the order they are read.
    KnownHosts(const std::string& host, unsigned int port, std::vector<std::string> files);

    Judgement Judge(ssh_key serverKey) const;

    // The name lines are matched against: "host", or "[host]:port" off port 22.
    const std::string& LookupName() const { return lookupName; }

private:
    enum class LineKind { OtherHost, HoldsKey, Revoked, OtherKey, OtherType, Unusable };

    LineKind JudgeLine(const std::string& line, ssh_key serverKey) const;
    bool HostMatches(const std::string& patterns) const;

    std::string lookupName;
    std::vector<std::string> files;
};

// HMAC-SHA1 of `data` under `key` (hmac_sha1_*.cpp): what a hashed host name ("|1|salt|hash")
// holds. Empty when the platform's crypto fails.
std::string HmacSha1(const std::string& key, const std::string& data);
