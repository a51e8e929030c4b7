// The server's identity is checked before the password is sent.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "SftpTestSupport.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/SftpThread.h"

namespace {

using Sequence = std::vector<std::string>;

std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[512];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

bool MentionsPassword(const std::string& log, const std::string& user) {
    return log.find("password for " + user) != std::string::npos ||
           log.find("password for invalid user") != std::string::npos;
}

}  // namespace

class SftpHostKey : public SftpTest {
protected:
    // Runs a worker until it ends or connects; returns its events.
    Sequence RunOnce() {
        EventRecorder recorder;
        SftpThread* worker = StartWorker(recorder);
        EXPECT_TRUE(PumpUntil([&] {
            return recorder.Count(wxEVT_SFTP_FINISHED) == 1 ||
                   recorder.Count(wxEVT_SFTP_CONNECTED) == 1;
        }));
        if (recorder.Count(wxEVT_SFTP_CONNECTED) == 1) {
            StopAndWaitFinished(worker, recorder);
        }
        return recorder.Sequence();
    }
};

TEST_F(SftpHostKey, FirstContactIsRememberedAndTrustedAfterwards) {
    ASSERT_EQ(RunOnce(), (Sequence{"SFTP connected", "SFTP thread finished"}));
    const std::string remembered = ReadAll(KnownHostsFile());
    EXPECT_NE(remembered.find("[127.0.0.1]:" + std::to_string(Server().Port()) + " ssh-ed25519"),
              std::string::npos)
        << remembered;
    // Known now: the second login goes through, and the file is left as it was.
    EXPECT_EQ(RunOnce(), (Sequence{"SFTP connected", "SFTP thread finished"}));
    EXPECT_EQ(ReadAll(KnownHostsFile()), remembered);
}

TEST_F(SftpHostKey, KeyOfAnotherTypeOnRecordStopsBeforeThePassword) {
    // The record claims the server has an ECDSA key; it offers ed25519.
    const std::string keyFile = scratch + "/other_key";
    Shell("ssh-keygen -q -t ecdsa -N '' -f '" + keyFile + "'");
    const std::string publicKey = ReadAll(keyFile + ".pub");
    ASSERT_EQ(publicKey.rfind("ecdsa-sha2-", 0), 0u) << publicKey;
    {
        std::ofstream out(KnownHostsFile());
        out << "[127.0.0.1]:" << Server().Port() << " " << publicKey;
    }
    const size_t logStart = Server().Log().size();

    EXPECT_EQ(RunOnce(),
              (Sequence{"ERROR Server identity could not be verified", "SFTP thread finished"}));
    const std::string log = Server().Log().substr(logStart);
    EXPECT_NE(log.find("Connection from 127.0.0.1"), std::string::npos) << log;
    EXPECT_FALSE(MentionsPassword(log, Server().User())) << log;
    EXPECT_EQ(ReadAll(KnownHostsFile()),
              "[127.0.0.1]:" + std::to_string(Server().Port()) + " " + publicKey);
}

TEST_F(SftpHostKey, ChangedKeyStopsBeforeThePassword) {
    ASSERT_EQ(RunOnce(), (Sequence{"SFTP connected", "SFTP thread finished"}));
    const std::string remembered = ReadAll(KnownHostsFile());

    Server().Restart(true);
    const size_t logStart = Server().Log().size();
    EXPECT_EQ(RunOnce(),
              (Sequence{"ERROR Server identity could not be verified", "SFTP thread finished"}));
    const std::string log = Server().Log().substr(logStart);
    EXPECT_NE(log.find("Connection from 127.0.0.1"), std::string::npos) << log;
    EXPECT_FALSE(MentionsPassword(log, Server().User())) << log;
    // The old key stays on record; a changed key is never learnt by itself.
    EXPECT_EQ(ReadAll(KnownHostsFile()), remembered);
}

namespace {

// What a row's known-hosts file is made of, given the line recorded at first contact.
struct HostKeyRow {
    const char* name;
    // The file's content; `right` is the line first contact recorded.
    std::function<std::string(const std::string& right, const std::string& scratch)> known;
    // The server presents a new key of the same type before the run.
    bool keyChanges;
    // Expected: connected (and the file left as it was, unless `recorded`), or refused
    // before the password.
    bool connects;
    // Connected on first contact: the server's key is added to the file.
    bool recorded;
};

std::string Host(int port) {
    return "[127.0.0.1]:" + std::to_string(port);
}

// The recorded line with its key cut short, as a bad edit or a full disk leaves it.
std::string Damaged(const std::string& right) {
    return right.substr(0, right.size() / 2) + "\n";
}

std::string DssLine(const std::string& host, const std::string& scratch) {
    const std::string keyFile = scratch + "/dss_key";
    Shell("ssh-keygen -q -t dsa -N '' -f '" + keyFile + "' 2>/dev/null");
    return host + " " + ReadAll(keyFile + ".pub");
}

// The file's content; a FIFO or a folder in its place is never opened (a FIFO would block).
std::string Content(const std::string& path) {
    return std::filesystem::is_regular_file(path) ? ReadAll(path) : std::string("(no file)");
}

std::string Hashed(const std::string& lines, const std::string& scratch) {
    const std::string file = scratch + "/to_hash";
    std::ofstream(file) << lines;
    Shell("ssh-keygen -q -H -f '" + file + "' >/dev/null 2>&1");
    return ReadAll(file);
}

}  // namespace

namespace {
void PrintTo(const HostKeyRow& row, std::ostream* out) {
    *out << row.name;
}
}  // namespace

class SftpHostKeyTable : public SftpHostKey, public testing::WithParamInterface<HostKeyRow> {};

TEST_P(SftpHostKeyTable, PasswordGoesOnlyToAServerOnRecordOrMetFirst) {
    const HostKeyRow& row = GetParam();
    ASSERT_EQ(RunOnce(), (Sequence{"SFTP connected", "SFTP thread finished"}));
    const std::string right = ReadAll(KnownHostsFile());
    ASSERT_EQ(right.rfind(Host(Server().Port()) + " ssh-ed25519 ", 0), 0u) << right;
    std::filesystem::remove(KnownHostsFile());
    const std::string known = row.known(right, scratch);
    if (!known.empty()) {
        std::ofstream(KnownHostsFile()) << known;
    }
    if (row.keyChanges) {
        Server().Restart(true);
    }
    const size_t logStart = Server().Log().size();
    const std::string before = Content(KnownHostsFile());

    const Sequence events = RunOnce();
    const std::string log = Server().Log().substr(logStart);
    if (row.connects) {
        EXPECT_EQ(events, (Sequence{"SFTP connected", "SFTP thread finished"}));
    } else {
        EXPECT_EQ(events, (Sequence{"ERROR Server identity could not be verified",
                                    "SFTP thread finished"}));
        EXPECT_NE(log.find("Connection from 127.0.0.1"), std::string::npos) << log;
        EXPECT_FALSE(MentionsPassword(log, Server().User())) << log;
    }
    const std::string after = Content(KnownHostsFile());
    if (row.recorded) {
        EXPECT_EQ(after.substr(0, before.size()), before);
        EXPECT_NE(after.find(Host(Server().Port()) + " ssh-ed25519 ", before.size()),
                  std::string::npos)
            << after;
    } else {
        EXPECT_EQ(after, before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    KnownHostsFile, SftpHostKeyTable,
    testing::Values(
        HostKeyRow{
            "damagedLineAboveTheRightOne",
            [](const std::string& right, const std::string&) { return Damaged(right) + right; },
            false, true, false},
        HostKeyRow{
            "damagedLineAboveTheRightOneThenKeyChanges",
            [](const std::string& right, const std::string&) { return Damaged(right) + right; },
            true, false, false},
        HostKeyRow{"onlyADamagedLine",
                   [](const std::string& right, const std::string&) { return Damaged(right); },
                   false, false, false},
        HostKeyRow{"damagedLineForAnotherHost",
                   [](const std::string& right, const std::string&) {
                       return "[127.0.0.2]:22" + Damaged(right).substr(right.find(' '));
                   },
                   false, true, true},
        HostKeyRow{"unreadableFileADirectory",
                   [](const std::string&, const std::string& scratch) {
                       std::filesystem::create_directory(scratch + "/known_hosts");
                       return std::string();
                   },
                   false, false, false},
        HostKeyRow{"dssLineForThisHostAlone",
                   [](const std::string& right, const std::string& scratch) {
                       return DssLine(right.substr(0, right.find(' ')), scratch);
                   },
                   false, false, false},
        HostKeyRow{"dssLineForThisHostAboveTheRightOne",
                   [](const std::string& right, const std::string& scratch) {
                       return DssLine(right.substr(0, right.find(' ')), scratch) + right;
                   },
                   false, true, false},
        HostKeyRow{"dssLineForAnotherHost",
                   [](const std::string&, const std::string& scratch) {
                       return DssLine("old.example", scratch);
                   },
                   false, true, true},
        HostKeyRow{"hashedRightLine",
                   [](const std::string& right, const std::string& scratch) {
                       return Hashed(right, scratch);
                   },
                   false, true, false},
        HostKeyRow{"hashedRightLineThenKeyChanges",
                   [](const std::string& right, const std::string& scratch) {
                       return Hashed(right, scratch);
                   },
                   true, false, false}),
    [](const testing::TestParamInfo<HostKeyRow>& info) { return std::string(info.param.name); });

// The user's own SSH configuration neither moves the known-hosts file nor turns the check
// off: the worker reads none.
TEST_F(SftpHostKey, UsersSshConfigDoesNotWeakenTheCheck) {
    ASSERT_EQ(RunOnce(), (Sequence{"SFTP connected", "SFTP thread finished"}));
    const std::string remembered = ReadAll(KnownHostsFile());
    std::ofstream(scratch + "/config") << "Host *\n  StrictHostKeyChecking no\n"
                                       << "  UserKnownHostsFile /dev/null\n"
                                       << "  GlobalKnownHostsFile /dev/null\n";
    Server().Restart(true);
    const size_t logStart = Server().Log().size();

    // The SSH folder holds the config and, as its default, the known-hosts file.
    SftpEndpoint endpoint = Endpoint();
    endpoint.knownHostsFile.clear();
    endpoint.sshDir = scratch;
    EventRecorder recorder;
    SftpThread* worker =
        CreateSftpThread(&recorder, Server().User(), Server().Password(), endpoint);
    ASSERT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_FINISHED) == 1; }));
    EXPECT_EQ(recorder.Sequence(),
              (Sequence{"ERROR Server identity could not be verified", "SFTP thread finished"}));
    EXPECT_FALSE(MentionsPassword(Server().Log().substr(logStart), Server().User()));
    EXPECT_EQ(ReadAll(KnownHostsFile()), remembered);
}
