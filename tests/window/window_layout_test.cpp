// The main window as the user first sees it: place, size, texts, colours, fonts and order.
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <wx/dcmemory.h>
#include <wx/taskbar.h>

#include "support/AppUnderTest.h"
#include "ui/TeskFrame.h"
#include "ui/TeskTaskBarIcon.h"
#include "ui/WindowLayout.h"
#include "ui/wxImagePanel.h"

namespace {

const wxColour kBlue(66, 135, 193);
const wxColour kGreen(0, 177, 89);
const wxColour kWhite("WHITE");

class WindowLayout : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // Never ask the machine's own print system: no server answers here.
        cupsSetServer("/nonexistent/corvane-test/cups.sock");
    }

    void SetUp() override { subject = std::make_unique<AppUnderTest>(); }
    void TearDown() override { subject.reset(); }

    TeskFrame& frame() { return *subject->app().frame; }
    wxWindow* panel() { return frame().GetChildren().GetFirst()->GetData(); }
    std::vector<wxWindow*> controls() {
        std::vector<wxWindow*> result;
        for (wxWindow* child : panel()->GetChildren()) {
            result.push_back(child);
        }
        return result;
    }

    std::unique_ptr<AppUnderTest> subject;
};

TEST_F(WindowLayout, FrameHasTitlePlaceSizeAndFixedStyle) {
    EXPECT_EQ(frame().GetTitle(), "Corvane Print Spooler 2.4.0");
    EXPECT_EQ(frame().GetPosition(), frame().FromDIP(WindowPlaces::Frame.Position()));
    EXPECT_EQ(frame().GetSize(), frame().FromDIP(WindowPlaces::Frame.Size()));
    const long style = frame().GetWindowStyleFlag();
    EXPECT_TRUE(style & wxMINIMIZE_BOX);
    EXPECT_TRUE(style & wxCLOSE_BOX);
    EXPECT_FALSE(style & wxMAXIMIZE_BOX);
    EXPECT_FALSE(style & wxRESIZE_BORDER);
    EXPECT_TRUE(frame().IsShown());
    ASSERT_EQ(frame().GetChildren().GetCount(), 1u);
    EXPECT_NE(dynamic_cast<wxImagePanel*>(panel()), nullptr);
}

TEST_F(WindowLayout, TheLayoutIsTheOneTheWindowHasAlwaysHad) {
    // The places the tests and the window share, at 96 DPI.
    EXPECT_EQ(WindowPlaces::Frame.Position(), wxPoint(50, 50));
    EXPECT_EQ(WindowPlaces::Frame.Size(), wxSize(500, 339));
    EXPECT_EQ(WindowPlaces::ConnectButton.Position(), wxPoint(38, 230));
    EXPECT_EQ(WindowPlaces::Status.Position(), wxPoint(385, 245));
    EXPECT_EQ(WindowPlaces::Status.Size(), wxDefaultSize);
}

// One control of the login form, in creation (and tab) order.
struct ControlCase {
    size_t index;
    const char* label;  // nullptr: an editable control, whose value starts empty
    WindowPlace place;
    bool blueBand;  // white on the title band's blue, or on white
    int points;     // font size; 0: the toolkit's default
};

void PrintTo(const ControlCase& c, std::ostream* out) {
    *out << "control " << c.index << " (" << (c.label ? c.label : "field") << ")";
}

class WindowControl : public WindowLayout, public testing::WithParamInterface<ControlCase> {};

TEST_P(WindowControl, SitsAtItsPlaceWithItsTextColoursAndFont) {
    const ControlCase& c = GetParam();
    const std::vector<wxWindow*> all = controls();
    ASSERT_EQ(all.size(), 10u);
    wxWindow* control = all[c.index];
    EXPECT_EQ(control->GetPosition(), frame().FromDIP(c.place.Position()));
    if (c.place.width > 0) {
        EXPECT_EQ(control->GetSize(), frame().FromDIP(c.place.Size()));
    }
    if (auto* field = dynamic_cast<wxTextCtrl*>(control)) {
        EXPECT_EQ(field->GetValue(), "");
    } else if (c.label != nullptr) {
        EXPECT_EQ(control->GetLabel(), c.label);
    }
    if (c.blueBand) {
        EXPECT_EQ(control->GetForegroundColour(), kWhite);
        EXPECT_EQ(control->GetBackgroundColour(), kBlue);
    } else if (c.points == 8) {
        EXPECT_EQ(control->GetBackgroundColour(), kWhite);
    }
    if (c.points > 0) {
        EXPECT_EQ(control->GetFont().GetPointSize(), c.points);
    }
}

// Indexes are the creation order: heading, explanation, status, the two fields, the
// button, the three labels, the printer list.
INSTANTIATE_TEST_SUITE_P(
    LoginForm, WindowControl,
    testing::Values(ControlCase{0, "Corvane Print Spooler", WindowPlaces::Heading, true, 20},
                    ControlCase{1, "Please log in to connect your Corvane Print Spooler",
                                WindowPlaces::Explanation, true, 12},
                    ControlCase{2, "Not Connected", WindowPlaces::Status, true, 8},
                    ControlCase{3, nullptr, WindowPlaces::UserId, false, 0},
                    ControlCase{4, nullptr, WindowPlaces::Password, false, 0},
                    ControlCase{5, "Connect", WindowPlaces::ConnectButton, false, 0},
                    ControlCase{6, "Corvane ID", WindowPlaces::UserIdLabel, false, 8},
                    ControlCase{7, "Password", WindowPlaces::PasswordLabel, false, 8},
                    ControlCase{8, "Printer", WindowPlaces::PrinterLabel, false, 8},
                    ControlCase{9, nullptr, WindowPlaces::PrinterList, false, 0}));

TEST_F(WindowLayout, ControlsAreCreatedInTabOrder) {
    const std::vector<wxWindow*> all = controls();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[3], frame().userIdCtrl);
    EXPECT_EQ(all[4], frame().passwordCtrl);
    EXPECT_EQ(all[5], frame().connectButton);
    EXPECT_EQ(all[9], frame().printerChoice);
    EXPECT_EQ(all[2], frame().statusText);
    EXPECT_EQ(frame().connectButton->GetId(), ID_CONNECT);
    EXPECT_TRUE(frame().passwordCtrl->HasFlag(wxTE_PASSWORD));
    EXPECT_FALSE(frame().userIdCtrl->HasFlag(wxTE_PASSWORD));

    // Keyboard order among the focusable controls: ID, password, button, printer list.
    std::vector<wxWindow*> focusable;
    for (wxWindow* control : all) {
        if (control->AcceptsFocusFromKeyboard() || control == frame().printerChoice) {
            focusable.push_back(control);
        }
    }
    const std::vector<wxWindow*> order = {frame().userIdCtrl, frame().passwordCtrl,
                                          frame().connectButton, frame().printerChoice};
    EXPECT_EQ(focusable, order);
}

TEST_F(WindowLayout, HeadingIsBoldAndTheButtonGreen) {
    const std::vector<wxWindow*> all = controls();
    EXPECT_EQ(all[0]->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(all[1]->GetFont().GetWeight(), wxFONTWEIGHT_NORMAL);
    EXPECT_EQ(frame().connectButton->GetForegroundColour(), kWhite);
    EXPECT_EQ(frame().connectButton->GetBackgroundColour(), kGreen);
}

TEST_F(WindowLayout, BackgroundPictureAndIconAreLoadedFromBesideTheProgram) {
    auto* picture = dynamic_cast<wxImagePanel*>(panel());
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(picture->bitmap.IsOk());
    EXPECT_EQ(picture->bitmap.GetSize(), frame().FromDIP(WindowPlaces::Frame.Size()));
    ASSERT_EQ(frame().GetIcons().GetIconCount(), 1u);
    EXPECT_EQ(frame().GetIcons().GetIconByIndex(0).GetWidth(), 48);

    // The picture is painted at the top-left corner.
    wxBitmap target(60, 60);
    {
        wxMemoryDC dc(target);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        picture->DrawBackground(dc);
    }
    const wxImage painted = target.ConvertToImage();
    const wxImage source = picture->bitmap.ConvertToImage();
    EXPECT_EQ(painted.GetRed(5, 5), source.GetRed(5, 5));
    EXPECT_EQ(painted.GetBlue(40, 40), source.GetBlue(40, 40));
}

TEST(ImagePanel, MissingPictureLeavesAPlainWorkingPanel) {
    wxFrame* host = new wxFrame(nullptr, wxID_ANY, "host");
    auto* panel =
        new wxImagePanel(host, "/nonexistent/PrintBackgroundImage.bmp", wxBITMAP_TYPE_ANY);
    EXPECT_FALSE(panel->bitmap.IsOk());
    wxBitmap target(10, 10);
    {
        wxMemoryDC dc(target);
        panel->DrawBackground(dc);  // draws nothing, and does not fail
    }
    host->Destroy();
    wxTheApp->ProcessIdle();
}

TEST_F(WindowLayout, WithoutPrintersTheListIsEmptyDisabledAndConnectIsRefused) {
    EXPECT_TRUE(frame().printerChoice->IsEmpty());
    EXPECT_FALSE(frame().printerChoice->IsEnabled());
    EXPECT_FALSE(frame().HasPrinter());
    EXPECT_EQ(frame().GetPrinter(), "");

    frame().userIdCtrl->SetValue("someone");
    frame().passwordCtrl->SetValue("secret");
    wxCommandEvent click(wxEVT_BUTTON, ID_CONNECT);
    click.SetEventObject(frame().connectButton);
    frame().connectButton->GetEventHandler()->ProcessEvent(click);

    ASSERT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(subject->messages[0].text, "No printers found");
    EXPECT_EQ(subject->messages[0].style, wxOK | wxCENTRE);
    EXPECT_EQ(subject->app().printerThread, nullptr);
    EXPECT_EQ(frame().statusText->GetLabel(), "Not Connected");
    EXPECT_EQ(frame().connectButton->GetLabel(), "Connect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
}

TEST_F(WindowLayout, PrinterListSelectionDecidesTheChosenPrinter) {
    frame().printerChoice->Append("Office Laser");
    frame().printerChoice->Append("office laser");
    EXPECT_FALSE(frame().HasPrinter());  // entries, but none selected
    frame().printerChoice->SetSelection(1);
    EXPECT_EQ(frame().GetPrinter(), "office laser");
    EXPECT_TRUE(frame().HasPrinter());
}

TEST_F(WindowLayout, StatusLineGrowsToTheRightAndButtonKeepsItsSize) {
    const wxSize before = frame().statusText->GetSize();
    frame().SetStatus("Waiting for file, a rather long status");
    EXPECT_EQ(frame().statusText->GetPosition(), frame().FromDIP(WindowPlaces::Status.Position()));
    EXPECT_GT(frame().statusText->GetSize().GetWidth(), before.GetWidth());

    frame().SetConnectButton("Disconnecting...", false);
    EXPECT_EQ(frame().connectButton->GetLabel(), "Disconnecting...");
    EXPECT_FALSE(frame().connectButton->IsEnabled());
    EXPECT_EQ(frame().connectButton->GetSize(),
              frame().FromDIP(WindowPlaces::ConnectButton.Size()));
}

TEST_F(WindowLayout, TrayMenuOffersRestoreAndExit) {
    ASSERT_NE(frame().taskBarIcon, nullptr);
    std::unique_ptr<wxMenu> menu(frame().taskBarIcon->CreatePopupMenu());
    ASSERT_EQ(menu->GetMenuItemCount(), 3u);
    const wxMenuItemList& items = menu->GetMenuItems();
    EXPECT_EQ(items[0]->GetItemLabel(), "&Restore");
    EXPECT_EQ(items[0]->GetId(), ID_TRAY_RESTORE);
    EXPECT_TRUE(items[1]->IsSeparator());
    EXPECT_EQ(items[2]->GetItemLabel(), "E&xit");
    EXPECT_EQ(items[2]->GetId(), ID_TRAY_EXIT);
    EXPECT_FALSE(items[0]->IsCheckable());
}

TEST_F(WindowLayout, RestoreBringsAHiddenWindowBackAndExitEndsTheProgram) {
    frame().Show(false);
    wxCommandEvent restore(wxEVT_MENU, ID_TRAY_RESTORE);
    frame().taskBarIcon->ProcessEvent(restore);
    EXPECT_TRUE(frame().IsShown());
    EXPECT_FALSE(frame().IsIconized());

    wxTaskBarIconEvent doubleClick(wxEVT_TASKBAR_LEFT_DCLICK, frame().taskBarIcon);
    frame().Show(false);
    frame().taskBarIcon->ProcessEvent(doubleClick);
    EXPECT_TRUE(frame().IsShown());

    wxCommandEvent exit(wxEVT_MENU, ID_TRAY_EXIT);
    frame().taskBarIcon->ProcessEvent(exit);
    EXPECT_TRUE(subject->app().IsShuttingDown());
    EXPECT_EQ(subject->app().frame, nullptr);
}

TEST_F(WindowLayout, MinimisingWithoutANotificationAreaKeepsTheWindowReachable) {
    // Xvfb has no notification area: hiding would leave nothing to bring the window back.
    ASSERT_FALSE(wxTaskBarIcon::IsAvailable());
    wxIconizeEvent iconize(frame().GetId(), true);
    iconize.SetEventObject(&frame());
    frame().ProcessWindowEvent(iconize);
    EXPECT_TRUE(frame().IsShown());
}

}  // namespace
