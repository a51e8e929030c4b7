#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// tests/fixtures/cupsd_fixture.sh: a private cupsd in a temporary directory of its own,
// with queues that store every job they receive as a file. While the fixture lives, this
// process (libcups and the programs it starts, such as lp) talks to that cupsd only: its
// CUPS_SERVER, CUPS_SERVERROOT and HOME point into the directory, PRINTER and LPDEST are
// unset. The constructor throws std::runtime_error when the scheduler does not come up;
// the destructor stops it by PID, removes the directory and puts the environment back.
class CupsFixture {
public:
    CupsFixture(const std::vector<std::string>& queues, const std::string& defaultQueue);
    ~CupsFixture();
    CupsFixture(const CupsFixture&) = delete;
    CupsFixture& operator=(const CupsFixture&) = delete;

    const std::string& Socket() const { return socket; }
    pid_t Pid() const { return pid; }

    // Stops the scheduler (by PID) and waits until its socket refuses clients; they stay
    // pointed at it, as at a print system that has gone down.
    void StopScheduler();

    // The complete jobs `queue` has received so far, as their bytes, in job order.
    std::vector<std::string> Jobs(const std::string& queue) const;

private:
    void Stop();
    bool Refuses() const;  // the socket no longer takes connections
    void PointClientsHere();
    void RestoreEnvironment();

    std::string directory;
    std::string socket;
    std::string capture;
    pid_t pid = -1;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> savedEnvironment;
};
