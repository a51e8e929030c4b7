// The print path on Windows for real: Wine's print spooler lists the queues of the build
// machine's private CUPS scheduler (started by the driver, named by CUPS_SERVER), the
// window preselects its default, and a print request starts the print program found in
// the working folder with the printer and the file in double quotes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/filename.h>
#include <wx/msw/wrapwin.h>
#include <oleacc.h>
#include <wx/tokenzr.h>

#include "WorkingFolder.h"
#include "app/WorkerEvents.h"
#include "pickup/printing/Printers.h"
#include "pickup/printing/UnprintedFolder.h"
#include "support/AppUnderTest.h"
#include "ui/TeskFrame.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    wxStringTokenizer tokens(list, ",");
    while (tokens.HasMoreTokens()) {
        items.push_back(tokens.GetNextToken().ToStdString());
    }
    return items;
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

}  // namespace

TEST(WineSpooler, ListsTheSchedulersQueuesAndItsDefault) {
    const wxArrayString listed = QueryPrinterNames();
    std::vector<std::string> names;
    std::cout << "Printers Wine lists:";
    for (const wxString& name : listed) {
        names.push_back(name.ToStdString());
        std::cout << " [" << name << "]";
    }
    const wxString defaultName = QueryDefaultPrinterName();
    std::cout << "; default [" << defaultName << "]" << std::endl;

    EXPECT_EQ(Sorted(names), Sorted(Split(DriverValue("CORVANE_CUPS_QUEUES"))));
    EXPECT_EQ(defaultName.ToStdString(), DriverValue("CORVANE_CUPS_DEFAULT"));
}

class WinePrint : public testing::Test {
protected:
    WinePrint() : downloads("corvane download") {
        work.PlaceBesideProgram("sumatraPDF.exe");
        // Never started: a program of the same name in the working directory.
        work.PlaceProgram("sumatraPDF.exe");
    }

    void SetUp() override {
        subject = std::make_unique<AppUnderTest>();
        ASSERT_NE(app().frame, nullptr);
    }
    void TearDown() override { subject.reset(); }

    PrinterApp& app() { return subject->app(); }
    TeskFrame& frame() { return *app().frame; }
    std::string Status() { return frame().statusText->GetLabel().ToStdString(); }

    fs::path MakeDownload(const std::string& name) {
        const fs::path path = downloads.Path() / name;
        std::ofstream(path, std::ios::binary) << "%PDF-1.4\n" << std::string(5000, '\x7f');
        return path;
    }

    void RequestPrint(const fs::path& path) {
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(wxString(path.wstring()));
        event->SetString(path.filename().wstring());
        wxQueueEvent(&app(), event);
    }

    WorkingFolder work;
    ScratchFolder downloads;
    std::unique_ptr<AppUnderTest> subject;
};

TEST_F(WinePrint, TheWindowPreselectsTheSpoolersDefault) {
    EXPECT_EQ(frame().printerChoice->GetStringSelection().ToStdString(),
              DriverValue("CORVANE_CUPS_DEFAULT"));
    EXPECT_EQ(frame().GetPrinter(), DriverValue("CORVANE_CUPS_DEFAULT"));
}

// What a screen reader hears through MSAA: each field named after its label (Windows would
// name it after the static text before it, the status line), the status line a status bar.
TEST_F(WinePrint, ScreenReadersHearEachFieldByItsLabel) {
    CoInitialize(nullptr);
    const auto heard = [](wxWindow* window, bool role) {
        IAccessible* object = nullptr;
        if (FAILED(AccessibleObjectFromWindow(static_cast<HWND>(window->GetHWND()), OBJID_CLIENT,
                                              __uuidof(IAccessible),
                                              reinterpret_cast<void**>(&object)))) {
            return std::string("(no accessible object)");
        }
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        std::string result;
        if (role) {
            VARIANT value;
            VariantInit(&value);
            object->get_accRole(self, &value);
            result = std::to_string(value.vt == VT_I4 ? value.lVal : -1L);
        } else {
            BSTR name = nullptr;
            object->get_accName(self, &name);
            result = name != nullptr ? wxString(name).ToStdString() : "(no name)";
            SysFreeString(name);
        }
        object->Release();
        return result;
    };
    EXPECT_EQ(heard(frame().userIdCtrl, false), "Corvane ID");
    EXPECT_EQ(heard(frame().passwordCtrl, false), "Password");
    EXPECT_EQ(heard(frame().printerChoice, false), "Printer");
    EXPECT_EQ(heard(frame().statusText, true), std::to_string(ROLE_SYSTEM_STATUSBAR));
    EXPECT_EQ(heard(frame().statusText, false), "Not Connected");
    CoUninitialize();
}

struct PrintCase {
    const char* label;
    const char* addedPrinter;  // appended to the window's list and chosen; null: the default
    const char* file;
    const char* quotedPrinter;  // as the command line must carry it
    const char* quotedFileName;
};

class WinePrintCommandLine : public WinePrint, public testing::WithParamInterface<PrintCase> {};

void PrintTo(const PrintCase& printCase, std::ostream* out) {
    *out << printCase.label;
}

TEST_P(WinePrintCommandLine, StartsThePrintProgramBesideTheProgramAndRemovesTheFile) {
    const PrintCase& param = GetParam();
    std::string printer = DriverValue("CORVANE_CUPS_DEFAULT");
    if (param.addedPrinter != nullptr) {
        printer = param.addedPrinter;
        frame().printerChoice->SetSelection(
            frame().printerChoice->Append(wxString::FromUTF8(printer)));
    }
    const std::string quotedPrinter =
        param.quotedPrinter != nullptr ? param.quotedPrinter : "\"" + printer + "\"";
    const fs::path file = MakeDownload(param.file);

    RequestPrint(file);
    ASSERT_TRUE(subject->PumpUntil([&] { return work.Starts().size() == 1; }))
        << "the print program was not started";
    ASSERT_TRUE(subject->PumpUntil([&] { return !fs::exists(file); }))
        << "the temporary file outlived the print program";
    ASSERT_TRUE(subject->PumpUntil([&] { return Status() == "Not Connected"; })) << Status();

    const StandinStart start = work.Starts()[0];
    ASSERT_EQ(work.Starts().size(), 1u);
    const std::string folder = WorkingFolder::ProgramFolder().string();
    const std::string program = folder + "\\sumatraPDF.exe";
    std::cout << "Print command line: " << start.commandLine << std::endl;
    EXPECT_EQ(start.commandLine, "\"" + program + "\" -print-to " + quotedPrinter + " \"" +
                                     downloads.Native() + "\\" + param.quotedFileName + "\"");
    EXPECT_EQ(start.args, (std::vector<std::string>{program, "-print-to", printer, file.string()}));
    EXPECT_EQ(WithoutTrailingBackslash(start.cwd), folder);
    EXPECT_EQ(start.program, program);
    EXPECT_TRUE(start.lastArgumentExists) << "the file was gone before the program ended";
    EXPECT_TRUE(subject->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, WinePrintCommandLine,
    testing::Values(PrintCase{"DefaultPrinter", nullptr, "ab12.tmp", nullptr, "ab12.tmp"},
                    PrintCase{"BlanksAndQuotes", "Front \"Desk\" 2", "it's a draft 'v2'.pdf",
                              "\"Front \\\"Desk\\\" 2\"", "it's a draft 'v2'.pdf"},
                    // Beyond code pages 1252 (L with stroke) and 932 (o acute), in UTF-8.
                    PrintCase{"BeyondTheCodePage",
                              "Drukarka \xc5\x81\xc3\xb3"
                              "d\xc5\xba",
                              "ab13.tmp", nullptr, "ab13.tmp"}),
    [](const testing::TestParamInfo<PrintCase>& info) { return std::string(info.param.label); });

// Documents kept under names the server chose: each a plain file in the unprinted folder,
// never a device nor a type Windows runs, its path within MAX_PATH.
TEST(WineUnprinted, KeptDocumentsArePlainFilesWithinThePathLimit) {
    ScratchFolder downloads("corvane kept");
    const std::string longName = std::string(300, 'x') + ".pdf";
    const std::string names[] = {"Con.Edison bill.pdf",
                                 "nul.report.pdf",
                                 "AUX .pdf",
                                 "setup.exe",
                                 "invoice\xe2\x80\xae"
                                 "fdp.exe",
                                 longName};
    int n = 0;
    for (const std::string& name : names) {
        const std::string bytes = "document " + std::to_string(n);
        const fs::path file = downloads.Path() / ("download-" + std::to_string(n++));
        std::ofstream(file, std::ios::binary) << bytes;
        const UnprintedOutcome outcome =
            KeepUnprinted(wxString(file.wstring()), wxString::FromUTF8(name));
        ASSERT_FALSE(outcome.keptAs.empty()) << name << ": " << outcome.notice;
        std::cout << "Kept as " << outcome.keptAs << std::endl;
        EXPECT_LT(outcome.keptAs.length(), 260u) << name;
        const fs::path kept(outcome.keptAs.ToStdWstring());
        EXPECT_TRUE(fs::is_regular_file(kept)) << name;
        std::ifstream in(kept, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << name;
        in.close();
        EXPECT_FALSE(wxFileName(outcome.keptAs).GetExt().Lower() == "exe") << name;
        fs::remove(kept);
    }
}
