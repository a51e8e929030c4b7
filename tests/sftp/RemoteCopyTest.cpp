// The pipelined copy on its own, over a real SFTP session: every depth of the pipeline
// gives a byte-identical copy, also from a server that answers reads out of order or short
// before the end,
// and a copy given up with requests in flight leaves the session fit for the next one.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>

#include <libssh/libssh.h>
#include <wx/file.h>

#include "SftpTestSupport.h"
#include "pickup/sftp/LibSshSession.h"
#include "pickup/sftp/LibSshSftp.h"
#include "pickup/sftp/RemoteCopy.h"
#include "pickup/sftp/SftpHandles.h"

class RemoteCopyTest : public SftpTest {
protected:
    void SetUp() override {
        SftpTest::SetUp();
        auto session = std::make_shared<LibSshSession>();
        ssh_session ssh = session->session;
        const int off = 0;
        const std::string port = std::to_string(Server().Port());
        ssh_options_set(ssh, SSH_OPTIONS_HOST, "127.0.0.1");
        ssh_options_set(ssh, SSH_OPTIONS_PORT_STR, port.c_str());
        ssh_options_set(ssh, SSH_OPTIONS_USER, Server().User().c_str());
        ssh_options_set(ssh, SSH_OPTIONS_KNOWNHOSTS, KnownHostsFile().c_str());
        ssh_options_set(ssh, SSH_OPTIONS_PROCESS_CONFIG, &off);
        ASSERT_EQ(ssh_connect(ssh), SSH_OK);
        ASSERT_EQ(ssh_userauth_password(ssh, nullptr, Server().Password().c_str()),
                  SSH_AUTH_SUCCESS);
        sftp = std::make_shared<LibSshSftp>(session);
        ASSERT_NE(sftp->sftp, nullptr);
        ASSERT_EQ(sftp_init(sftp->sftp), SSH_OK);
    }
    void TearDown() override {
        sftp.reset();
        SftpTest::TearDown();
    }

    RemoteFile Open(const std::string& name) {
        return RemoteFile(sftp_open(sftp->sftp, (".teskprinting/" + name).c_str(), O_RDONLY, 0));
    }

    // Copies a placed file with `depth` requests in flight, told to expect `expected`
    // bytes; the copy's content.
    std::string Copy(const std::string& name, size_t depth, uint64_t expected) {
        const RemoteFile remote = Open(name);
        EXPECT_NE(remote, nullptr);
        if (remote == nullptr) {
            return std::string();
        }
        const std::string localPath = DownloadDir() + "/" + name;
        wxFile local(localPath, wxFile::write);
        RemoteCopy copy(remote.get(), expected, depth);
        EXPECT_TRUE(copy.To(local)) << name << " with " << depth << " in flight";
        local.Close();
        const std::string content = ReadAll(localPath);
        EXPECT_EQ(copy.Copied(), content.size());
        return content;
    }

    std::shared_ptr<LibSshSftp> sftp;
};

// Against sshd as it is and against sshd whose SFTP server answers reads in swapped pairs.
class RemoteCopyDepths : public RemoteCopyTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        swapReplies = GetParam();
        RemoteCopyTest::SetUp();
    }
};

INSTANTIATE_TEST_SUITE_P(Servers, RemoteCopyDepths, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "RepliesSwapped" : "InOrder";
                         });

TEST_P(RemoteCopyDepths, EveryDepthGivesAByteIdenticalCopy) {
    // Told the right size, or too small a one (the file grew after it rested): the copy
    // reaches the real end either way.
    constexpr size_t kRequest = RemoteCopy::kRequestSize;
    unsigned seed = 100;
    for (const size_t depth : {size_t(1), size_t(3), RemoteCopy::kDefaultDepth}) {
        for (const size_t size :
             {size_t(0), size_t(1), kRequest - 1, kRequest + 1, depth * kRequest - 1,
              depth * kRequest, depth * kRequest + 1, 3 * depth * kRequest + 5}) {
            const std::string name = std::to_string(depth) + "-" + std::to_string(size);
            const std::string original = RandomBytes(size, ++seed);
            PlaceFile(name, original);
            for (const uint64_t expected : {uint64_t(size), uint64_t(size / 3)}) {
                EXPECT_TRUE(Copy(name, depth, expected) == original)
                    << name << " expecting " << expected;
            }
        }
    }
    EXPECT_EQ(Server().SwappedReplies(), swapReplies);
}

TEST_F(RemoteCopyTest, CopyGivenUpWithRequestsInFlightLeavesTheSessionUsable) {
    const std::string first = RandomBytes(40 * RemoteCopy::kRequestSize, 1);
    const std::string second = RandomBytes(40 * RemoteCopy::kRequestSize + 3, 2);
    PlaceFile("first", first);
    PlaceFile("second", second);
    {
        // A local file that refuses writes fails the copy at its first answer, with the
        // other requests still in flight.
        const RemoteFile remote = Open("first");
        ASSERT_NE(remote, nullptr);
        const std::string localPath = DownloadDir() + "/refused";
        wxFile(localPath, wxFile::write).Close();
        wxFile local(localPath, wxFile::read);
        RemoteCopy copy(remote.get(), first.size(), 32);
        EXPECT_FALSE(copy.To(local));
        EXPECT_EQ(copy.Copied(), 0u);
    }
    // No answer of the abandoned copy ends up in the next one.
    EXPECT_TRUE(Copy("second", 32, second.size()) == second);
    EXPECT_TRUE(Copy("first", 32, first.size()) == first);
}

TEST_F(RemoteCopyTest, ShortAnswersBeforeTheEndWithRequestsInFlight) {
    // The kernel answers every read of its type information with one page at most: through
    // a link in the pickup directory, a server that answers short all along.
    const std::string source = "/sys/kernel/btf/vmlinux";
    const std::string whole = ReadAll(source);
    if (whole.size() <= 8 * RemoteCopy::kRequestSize) {
        GTEST_SKIP() << source << " is not there to be read";
    }
    const std::string link = Server().PickupDir() + "/short-answers";
    ASSERT_EQ(symlink(source.c_str(), link.c_str()), 0);

    // A copy that never ends has its session killed, which fails its wait.
    auto copied =
        std::async(std::launch::async, [&] { return Copy("short-answers", 4, whole.size()); });
    const bool ended = copied.wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    if (!ended) {
        Server().KillSessions();
    }
    ASSERT_TRUE(ended) << "the copy did not end";
    const std::string copy = copied.get();
    EXPECT_EQ(copy.size(), whole.size());
    EXPECT_TRUE(copy == whole);
}
