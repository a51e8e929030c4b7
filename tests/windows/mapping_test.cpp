// The mapping script on Windows: every connect attempt runs the script host of the system
// folder on "scripts\mapwebdav.vbs" beside the program, once. With Wine's own script host a
// recording script shows where and what it ran; a stand-in named cscript.exe in the working
// folder (which a search would find before the system folder) must never be started.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WorkingFolder.h"
#include "pickup/sftp/SftpEndpoint.h"
#include "support/AppUnderTest.h"
#include "ui/TeskFrame.h"

namespace {

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Connects twice to the build machine's sshd with a wrong password (each attempt ends with
// the login error, quickly and for certain); returns the recorded starts.
std::vector<StandinStart> ConnectTwice(const WorkingFolder& work) {
    const ScratchFolder knownHosts("corvane known hosts");
    AppSettings settings = AppUnderTest::QuietSettings();
    settings.sftp = SftpEndpoint{"127.0.0.1", DriverValue("CORVANE_SSHD_PORT"),
                                 knownHosts.Native() + "\\known_hosts", ""};
    // The recording script, placed in the working folder for the test, stands for the one
    // beside the program.
    settings.mappingScript = wxString(work.Path().wstring()) + "\\scripts\\mapwebdav.vbs";
    AppUnderTest subject(settings);
    PrinterApp& app = subject.app();
    EXPECT_TRUE(app.frame->HasPrinter()) << "no printer preselected";
    for (size_t attempt = 1; attempt <= 2; ++attempt) {
        app.ToggleConnection(DriverValue("CORVANE_SSHD_USER"), "not the password");
        EXPECT_TRUE(subject.PumpUntil([&] { return app.printerThread == nullptr; }, 60))
            << "attempt " << attempt << " did not end";
        EXPECT_TRUE(subject.PumpUntil([&] { return work.Starts().size() >= attempt; }))
            << "no script start for attempt " << attempt;
    }
    // A third start would come now if an attempt ran the script twice.
    subject.PumpUntil([] { return false; }, 2);
    return work.Starts();
}

}  // namespace

TEST(WineMappingScript, WinesScriptHostRunsTheGivenScriptOncePerAttempt) {
    WorkingFolder work;
    work.PlaceMappingScript();
    const std::vector<StandinStart> starts = ConnectTwice(work);
    ASSERT_EQ(starts.size(), 2u);
    const std::string folder = work.Path().string();
    for (const StandinStart& start : starts) {
        const std::string host = Lower(start.program);
        EXPECT_EQ(host.substr(host.rfind('\\') + 1), "cscript.exe") << start.program;
        EXPECT_EQ(WithoutTrailingBackslash(start.cwd), folder);
        EXPECT_EQ(start.args, std::vector<std::string>{folder + "\\scripts\\mapwebdav.vbs"});
    }
}

TEST(WineMappingScript, AScriptHostPlantedInTheWorkingFolderIsNeverStarted) {
    WorkingFolder work;
    work.PlaceMappingScript();
    work.PlaceProgram("cscript.exe");
    const std::vector<StandinStart> starts = ConnectTwice(work);
    ASSERT_EQ(starts.size(), 2u);
    const std::string folder = Lower(work.Path().string());
    for (const StandinStart& start : starts) {
        const std::string program = Lower(start.program);
        EXPECT_NE(program.find("\\system32\\cscript.exe"), std::string::npos) << start.program;
        EXPECT_EQ(program.rfind(folder, 0), std::string::npos) << start.program;
    }
}
