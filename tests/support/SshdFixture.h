#pragma once

#include <string>
#include <vector>

// tests/fixtures/sshd_fixture.py: an OpenSSH server on 127.0.0.1 and a free port, with a
// test account (password login, internal-sftp, an empty ".teskprinting/" in its home).
// Needs root. Started by the constructor (throws std::runtime_error when it does not come
// up); the destructor stops it by PID, removes the account and the temporary directory.
class SshdFixture {
public:
    // What serves the account's SFTP sessions: internal-sftp; OpenSSH's sftp-server logging
    // every request it answers; or sftp-server behind a filter answering reads in swapped pairs.
    enum class Sftp { Internal, LogRequests, SwapReplies };
    explicit SshdFixture(const std::string& fixturesDir, Sftp sftp = Sftp::Internal);
    ~SshdFixture();
    SshdFixture(const SshdFixture&) = delete;
    SshdFixture& operator=(const SshdFixture&) = delete;

    // Restarts the server on the same port, dropping its sessions; with `newHostKey` the
    // server presents a freshly made host key of the same type.
    void Restart(bool newHostKey);
    // Gives the account another password: any bytes, as a client may have sent them.
    void SetPassword(const std::string& newPassword);
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
    // The SFTP requests answered so far, one line each (`opendir ".teskprinting/"`,
    // `stat name "..."`, `open "..." flags READ mode 0000`...); empty unless started with
    // Sftp::LogRequests.
    std::string RequestLog() const;
    // Whether a session of a server started with Sftp::SwapReplies has swapped answers.
    bool SwappedReplies() const;
    // How a server started with Sftp::SwapReplies misbehaves in the sessions that start
    // from now on: words of tests/fixtures/sftp_swap_replies.py ("no-size", "endless"...);
    // empty for none.
    void SetHostile(const std::string& modes) const;

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
    std::string requestLogPath;
    std::string swappedPath;
};
