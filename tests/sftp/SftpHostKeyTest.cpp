// The server's identity is checked before the password is sent.
#include <cstdio>
#include <fstream>

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
