// The pickup worker on Windows (libssh on mbedTLS) against the build machine's OpenSSH
// server on loopback: login, a byte-exact copy, a wrong password and a changed host key.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
// Before windows.h: libssh brings winsock2.h.
#include <libssh/libssh.h>
#include <windows.h>
#include <wx/file.h>
#include <wx/filefn.h>

#include "WineTestSupport.h"
#include "pickup/sftp/PartialCopies.h"
#include "pickup/sftp/SftpEndpoint.h"
#include "pickup/sftp/SftpThread.h"
#include "support/TestHelpers.h"

namespace fs = std::filesystem;
using Sequence = std::vector<std::string>;

namespace {

// The library initialised once per process, as the program does at start-up.
class LibSshEnvironment : public testing::Environment {
public:
    void SetUp() override { ssh_init(); }
    void TearDown() override { ssh_finalize(); }
};
const auto* const environment = testing::AddGlobalTestEnvironment(new LibSshEnvironment);

std::string Bytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xff);
    }
    return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class WinePickup : public testing::Test {
protected:
    WinePickup() : scratch("corvane pickup") {}

    SftpEndpoint Endpoint() const {
        return SftpEndpoint{"127.0.0.1", DriverValue("CORVANE_SSHD_PORT"), KnownHosts(), ""};
    }
    std::string KnownHosts() const { return scratch.Native() + "\\known_hosts"; }
    std::string HostPattern() const { return "[127.0.0.1]:" + DriverValue("CORVANE_SSHD_PORT"); }

    // Runs a worker with `password` until it has handed over `prints` files (then stops
    // it) or ends by itself; returns its events.
    Sequence Run(const std::string& password, size_t prints, WorkerEventLog& log) {
        SftpThread* worker =
            CreateSftpThread(&log, DriverValue("CORVANE_SSHD_USER"), password, Endpoint());
        EXPECT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
        const auto finished = [&] { return log.Has("SFTP thread finished"); };
        EXPECT_TRUE(PumpUntil([&] {
            return finished() || (log.Has("SFTP connected") && log.printedPaths.size() >= prints);
        }));
        if (!finished()) {
            EXPECT_EQ(SftpThread::RequestStop(worker), wxTHREAD_NO_ERROR);
            EXPECT_TRUE(PumpUntil(finished)) << "the worker did not end after a stop request";
        }
        return log.texts;
    }
    Sequence Run(const std::string& password) {
        WorkerEventLog log;
        return Run(password, 0, log);
    }

    // A file in the account's pickup folder, written beside it first and renamed in, so
    // the worker never lists it half written.
    fs::path Place(const std::string& name, const std::string& bytes) {
        const fs::path home = DriverValue("CORVANE_SSHD_HOME");
        const fs::path target = fs::path(DriverValue("CORVANE_SSHD_PICKUP")) / name;
        WriteBytes(home / ("staging-" + name), bytes);
        fs::rename(home / ("staging-" + name), target);
        return target;
    }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(WinePickup, LogsInAndHandsOverAByteExactCopy) {
    // Binary content of every byte value, NULs and CR/LF included, over several reads.
    // A complete PDF as far as its end goes: one without its end marker would wait.
    const std::string bytes = "%PDF-1.4\r\n" + Bytes(300 * 1024 + 17, 7) + "\r\n%%EOF\r\n";
    const fs::path onServer = Place("ab12 report.pdf", bytes);

    WorkerEventLog log;
    const Sequence events = Run(DriverValue("CORVANE_SSHD_PASSWORD"), 1, log);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "SFTP connected");
    ASSERT_EQ(log.printedPaths.size(), 1u) << testing::PrintToString(events);
    const fs::path copy = log.printedPaths[0].ToStdWstring();
    const std::string copied = ReadBytes(copy);
    EXPECT_EQ(copied.size(), bytes.size());
    EXPECT_TRUE(copied == bytes) << "the copy differs from the server's file";
    EXPECT_FALSE(fs::exists(onServer)) << "handed over, so taken off the server";
    fs::remove(copy);

    // The server's key was learnt on first contact.
    std::ifstream knownHosts(KnownHosts());
    std::string line;
    std::getline(knownHosts, line);
    EXPECT_EQ(line.rfind(HostPattern() + " ssh-ed25519 ", 0), 0u) << line;
}

// The account's password as the driver set it: beyond ASCII, in UTF-8 (what SSH sends) or
// in code page 1252's bytes (what an older client sent). Typed into the window, it reaches
// the worker as UTF-8. The UTF-8 form is tried first; the code page's form only where the
// ANSI code page holds the whole password (run under code pages 1252 and 932).
TEST_F(WinePickup, PasswordBeyondAsciiGoesOutAsUtf8ThenInTheCodePage) {
    const std::string password = DriverText("CORVANE_SSHD_PASSWORD");
    const bool keptInCp1252 = DriverValue("CORVANE_SSHD_PASSWORD_ENCODING") == "cp1252";
    std::printf("password of %zu bytes, on the server in %s; ANSI code page %u\n", password.size(),
                keptInCp1252 ? "cp1252" : "utf-8", GetACP());
    const bool reachable = !keptInCp1252 || GetACP() == 1252;
    const Sequence expected =
        reachable ? Sequence{"SFTP connected", "SFTP thread finished"}
                  : Sequence{"ERROR User name or password incorrect", "SFTP thread finished"};
    EXPECT_EQ(Run(password), expected);
}

TEST_F(WinePickup, WrongPasswordIsReportedAndEndsTheWorker) {
    EXPECT_EQ(Run(DriverValue("CORVANE_SSHD_PASSWORD") + "x"),
              (Sequence{"ERROR User name or password incorrect", "SFTP thread finished"}));
}

TEST_F(WinePickup, ChangedHostKeyStopsBeforeThePassword) {
    ASSERT_EQ(Run(DriverValue("CORVANE_SSHD_PASSWORD")),
              (Sequence{"SFTP connected", "SFTP thread finished"}));
    // The record now holds another ed25519 key for this server: to the worker, the
    // server's key has changed.
    const std::string changed = HostPattern() + " " + DriverValue("CORVANE_OTHER_HOST_KEY") + "\n";
    WriteBytes(KnownHosts(), changed);

    EXPECT_EQ(Run(DriverValue("CORVANE_SSHD_PASSWORD")),
              (Sequence{"ERROR Server identity could not be verified", "SFTP thread finished"}));
    EXPECT_EQ(ReadBytes(KnownHosts()), changed) << "a changed key is never learnt by itself";
}

// The exit removes the copy a stuck worker still holds open; it is gone once closed, as at
// the process's end.
TEST(WinePartialCopies, ACopyStillOpenCanBeRemoved) {
    wxFile file;
    const wxString path = CreatePartialCopy(file);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(file.Write("partial", 7));
    EXPECT_TRUE(wxRemoveFile(path));
    file.Close();
    EXPECT_FALSE(wxFileExists(path));
    CompletePartialCopy(path);  // out of the list, which the exit would otherwise go through
}

TEST_F(WinePickup, ASilentLinkEndsAWaitAtAStopOrAtTheSessionTimeout) {
    // Through a proxy that the driver freezes on request: the connections stay open and
    // nothing comes back, so only the workers' own bound can end their waits (on Winsock).
    const SftpEndpoint throughProxy{"127.0.0.1", DriverValue("CORVANE_PROXY_PORT"), KnownHosts(),
                                    ""};
    WorkerEventLog stopped, left;
    std::vector<SftpThread*> workers;
    for (WorkerEventLog* log : {&stopped, &left}) {
        workers.push_back(CreateSftpThread(log, DriverValue("CORVANE_SSHD_USER"),
                                           DriverValue("CORVANE_SSHD_PASSWORD"), throughProxy));
        ASSERT_EQ(workers.back()->Run(), wxTHREAD_NO_ERROR);
        ASSERT_TRUE(PumpUntil([&] { return log->Has("SFTP connected"); }));
    }

    const fs::path freezeRequest = DriverValue("CORVANE_PROXY_FREEZE");
    WriteBytes(freezeRequest, "");
    ASSERT_TRUE(PumpUntil([&] { return !fs::exists(freezeRequest); }));
    // Long enough for the workers' next listings to be waiting on the silent link.
    PumpUntil([] { return false; }, std::chrono::seconds(3));

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(SftpThread::RequestStop(workers[0]), wxTHREAD_NO_ERROR);
    EXPECT_TRUE(PumpUntil([&] { return stopped.Has("SFTP thread finished"); }));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - asked;
    std::printf("stop on a silent link: the worker ended after %.1f s\n", took.count());
    EXPECT_EQ(stopped.texts, (Sequence{"SFTP connected", "SFTP thread finished"}));

    // The other one notices by itself, and says so.
    EXPECT_TRUE(
        PumpUntil([&] { return left.Has("SFTP thread finished"); }, std::chrono::seconds(120)));
    EXPECT_EQ(left.texts, (Sequence{"SFTP connected", "ERROR PRINTER connection failed",
                                    "SFTP thread finished"}));
}
