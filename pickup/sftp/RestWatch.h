#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pickup/sftp/SftpHandles.h"
#include "pickup/sftp/UploadEnd.h"

// The files of one pickup directory that are open and waiting for their uploads to come to
// rest: two size readings at least half a second apart that agree. All files are read in
// the same rounds, so a burst of uploads waits once, not once per file, and a file that
// keeps growing holds back no other. An empty file and a PDF without its end marker wait
// longer (UploadEnd): their uploads may only have paused.
class RestWatch {
public:
    using Clock = std::chrono::steady_clock;

    // Well under the number of handles an SFTP server lets one session keep open; the rest
    // of a larger burst is opened as places become free.
    static constexpr std::size_t kMaxOpen = 64;
    static constexpr std::chrono::milliseconds kRestInterval{500};
    // How long a file at rest may wait for one that arrived before it and has been read
    // only once (a batch split between two listings): bounded, so that a file the server
    // keeps failing to read holds back nothing for good.
    static constexpr std::chrono::milliseconds kOrderWait{2 * kRestInterval};

    struct File {
        std::string name;
        RemoteFile handle;
        std::uint64_t size = 0;
        // The modification time of the last reading: with the size, what tells later that
        // the name still holds the file that was copied.
        std::uint32_t mtime = 0;
        Clock::time_point readAt;
        // The first reading that showed the present size.
        Clock::time_point sizeSince;
        UploadEnd::Kind kind = UploadEnd::Kind::Unknown;
        // Ready to be taken; for an empty file, to be removed.
        bool atRest = false;
        // Readings taken: after one, the next may still find the file at rest.
        unsigned readings = 0;
    };

    bool Full() const { return files.size() >= kMaxOpen; }
    bool Empty() const { return files.empty(); }
    // Null when `name` is not watched.
    File* Find(const std::string& name);

    // Watches an opened file, taking its first reading now; false (and the file closed)
    // when its size cannot be read.
    bool Add(const std::string& name, RemoteFile handle);
    // Takes a new reading of every file whose last one is at least kRestInterval old; a
    // file whose size cannot be read, or whose handle cannot read it whole, is dropped (and
    // opened afresh on the next listing).
    void ReadDue();
    // Stops watching (and closes) one file, or every file whose name is not in `listed`:
    // a file removed or renamed by someone else is not taken.
    void Drop(const std::string& name);
    void KeepOnly(const std::vector<std::string>& listed);
    void Clear() { files.clear(); }

    // Whether `file`, at rest, still waits for a file before it that has been read only once.
    static bool WaitsForOrder(const File& file);

private:
    static bool Read(File& file);
    // After a reading that agreed with the one before; false to drop the file.
    static bool Settle(File& file);

    std::vector<File> files;
};
