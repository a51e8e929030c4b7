#include "pickup/sftp/KnownHosts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Whitespace-separated fields; a comment after the key is left in the last one.
std::vector<std::string> Fields(const std::string& line, std::size_t most) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (fields.size() < most) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos) {
            break;
        }
        const std::size_t end = line.find_first_of(" \t", at);
        fields.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return fields;
}

// "*" and "?" as in ssh's host patterns; the greedy walk back to the last star keeps it
// within length times length steps.
bool Glob(const std::string& pattern, const std::string& text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::string Base64Decode(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned int bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string::npos) {
            return std::string();
        }
        bits = (bits << 6) | static_cast<unsigned int>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xff);
        }
    }
    return out;
}

enum class FileState { Absent, Read, Unreadable };

FileState ReadBounded(const std::string& path, std::string& content) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return FileState::Absent;
    }
    // A directory, a FIFO (whose open would wait for a writer), a device: nothing to trust.
    if (error || status.type() != std::filesystem::file_type::regular) {
        return FileState::Unreadable;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        return FileState::Unreadable;
    }
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        content.append(buffer, got);
        if (content.size() > KnownHosts::kMaxFileBytes) {
            return FileState::Unreadable;
        }
        if (got < sizeof buffer) {
            return std::ferror(file.get()) != 0 ? FileState::Unreadable : FileState::Read;
        }
    }
}

}  // namespace

KnownHosts::KnownHosts(const std::string& host, unsigned int port, std::vector<std::string> files)
    : lookupName(port == 22 || port == 0 ? Lower(host)
                                         : "[" + Lower(host) + "]:" + std::to_string(port)),
      files(std::move(files)) {}

bool KnownHosts::HostMatches(const std::string& patterns) const {
    // A hashed name: "|1|" base64(salt) "|" base64(HMAC-SHA1(salt, name)).
    if (patterns.rfind("|1|", 0) == 0) {
        const std::size_t bar = patterns.find('|', 3);
        if (bar == std::string::npos) {
            return false;
        }
        const std::string salt = Base64Decode(patterns.substr(3, bar - 3));
        const std::string hash = Base64Decode(patterns.substr(bar + 1));
        return salt.size() == 20 && hash.size() == 20 && HmacSha1(salt, lookupName) == hash;
    }
    bool matched = false;
    std::size_t at = 0;
    while (at <= patterns.size()) {
        std::size_t end = patterns.find(',', at);
        if (end == std::string::npos) {
            end = patterns.size();
        }
        std::string pattern = Lower(patterns.substr(at, end - at));
        const bool negated = !pattern.empty() && pattern[0] == '!';
        if (negated) {
            pattern.erase(0, 1);
        }
        if (!pattern.empty() && Glob(pattern, lookupName)) {
            if (negated) {
                return false;
            }
            matched = true;
        }
        at = end + 1;
    }
    return matched;
}

KnownHosts::LineKind KnownHosts::JudgeLine(const std::string& line, ssh_key serverKey) const {
    std::vector<std::string> fields = Fields(line, 4);
    std::string marker;
    if (!fields.empty() && fields[0][0] == '@') {
        marker = fields[0];
        fields = Fields(line.substr(line.find(marker) + marker.size()), 3);
    }
    if (fields.empty() || !HostMatches(fields[0])) {
        return LineKind::OtherHost;
    }
    // Certificate authorities are not how this program knows its server.
    if (marker == "@cert-authority") {
        return LineKind::OtherHost;
    }
    if (line.size() > kMaxLineBytes || fields.size() < 3 ||
        (!marker.empty() && marker != "@revoked")) {
        return LineKind::Unusable;
    }
    // Unknown to the library (ssh-dss, which it no longer reads, among them).
    const ssh_keytypes_e type = ssh_key_type_from_name(fields[1].c_str());
    ssh_key recorded = nullptr;
    if (type == SSH_KEYTYPE_UNKNOWN ||
        ssh_pki_import_pubkey_base64(fields[2].c_str(), type, &recorded) != SSH_OK) {
        return LineKind::Unusable;
    }
    const bool sameType = ssh_key_type(recorded) == ssh_key_type(serverKey);
    const bool same = ssh_key_cmp(recorded, serverKey, SSH_KEY_CMP_PUBLIC) == 0;
    ssh_key_free(recorded);
    if (!same) {
        return sameType ? LineKind::OtherKey : LineKind::OtherType;
    }
    return marker.empty() ? LineKind::HoldsKey : LineKind::Revoked;
}

KnownHosts::Judgement KnownHosts::Judge(ssh_key serverKey) const {
    bool holdsKey = false;
    bool otherKey = false;
    bool otherType = false;
    bool unusable = false;
    for (const std::string& path : files) {
        std::string content;
        switch (ReadBounded(path, content)) {
            case FileState::Absent:
                continue;
            case FileState::Unreadable:
                return {Verdict::Refused, "cannot be checked: " + path + " cannot be read"};
            case FileState::Read:
                break;
        }
        std::size_t at = 0;
        while (at < content.size()) {
            std::size_t end = content.find('\n', at);
            if (end == std::string::npos) {
                end = content.size();
            }
            std::string line = content.substr(at, end - at);
            at = end + 1;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const std::size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#') {
                continue;
            }
            switch (JudgeLine(line.substr(start), serverKey)) {
                case LineKind::OtherHost:
                    break;
                case LineKind::HoldsKey:
                    holdsKey = true;
                    break;
                case LineKind::Revoked:
                    return {Verdict::Refused, "is marked revoked in " + path};
                case LineKind::OtherKey:
                    otherKey = true;
                    break;
                case LineKind::OtherType:
                    otherType = true;
                    break;
                case LineKind::Unusable:
                    unusable = true;
                    break;
            }
        }
    }
    if (holdsKey) {
        return {Verdict::Known, std::string()};
    }
    if (otherKey) {
        return {Verdict::Refused, "has changed"};
    }
    if (otherType) {
        return {Verdict::Refused, "is of another type than the one on record"};
    }
    if (unusable) {
        return {Verdict::Refused,
                "cannot be checked: the lines on record for it are damaged or of a type this "
                "program does not read"};
    }
    return {Verdict::FirstContact, std::string()};
}
