#pragma once

#include <string>
#include <vector>

// tests/fixtures/sshd_fixture.py: an OpenSSH server on 127.0.0.1 and a free port, with a
// test account (password login, internal-sftp, an empty ".teskprinting/" in its home).
// Needs root. Started by the constructor (throws std::runtime_error when it does not come
// up); the destructor stops it by PID, removes the account and the temporary directory.
// With `swapReplies` its SFTP server answers reads in swapped pairs.
class SshdFixture {
public:
    explicit SshdFixture(const std::string& fixturesDir, bool swapReplies = false);
    ~SshdFixture();
    SshdFixture(const SshdFixture&) = delete;
    SshdFixture& operator=(const SshdFixture&) = delete;

    // Restarts the server on the same port, dropping its sessions; with `newHostKey` the
    // server presents a freshly made host key of the same type.
    void Restart(bool newHostKey);
    // Kills the account's session processes (those serving SFTP); returns their PIDs.
    std::vector<int> KillSessions();
    // The account's session processes now alive.
    bool HasSessions();
    std::vector<int> Sessions();

    int Port() const { return port; }
    int Pid() const { return pid; }
    const std::string& User() const { return user; }
    const std::string& Password() const { return password; }
    const std::string& Home() const { return home; }
    const std::string& PickupDir() const { return pickup; }
    // The server's log (LogLevel VERBOSE): logins and password attempts.
    std::string Log() const;
    // Whether a session of a server started with `swapReplies` has swapped answers.
    bool SwappedReplies() const;

private:
    std::string Run(const std::string& action, const std::string& option = std::string()) const;
    void Parse(const std::string& output);

    std::string script;
    std::string directory;
    int port = 0;
    int pid = 0;
    std::string user;
    std::string password;
    std::string home;
    std::string pickup;
    std::string logPath;
    std::string swappedPath;
};
