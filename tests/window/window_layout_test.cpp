// The main window as the user first sees it: place, size, texts, colours, fonts and order.
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <wx/dcmemory.h>
#include <wx/taskbar.h>

#include "support/AppUnderTest.h"
#include "ui/TeskFrame.h"
#include "ui/TeskTaskBarIcon.h"
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
    EXPECT_EQ(frame().GetPosition(), wxPoint(50, 50));
    EXPECT_EQ(frame().GetSize(), wxSize(500, 339));
    const long style = frame().GetWindowStyleFlag();
    EXPECT_TRUE(style & wxMINIMIZE_BOX);
    EXPECT_TRUE(style & wxCLOSE_BOX);
    EXPECT_FALSE(style & wxMAXIMIZE_BOX);
    EXPECT_FALSE(style & wxRESIZE_BORDER);
    EXPECT_TRUE(frame().IsShown());
    ASSERT_EQ(frame().GetChildren().GetCount(), 1u);
    EXPECT_NE(dynamic_cast<wxImagePanel*>(panel()), nullptr);
}

TEST_F(WindowLayout, ControlsAreCreatedInTabOrderWithTheirTextsAndPlaces) {
    const std::vector<wxWindow*> all = controls();
    ASSERT_EQ(all.size(), 10u);
    struct Expected {
        wxString label;
        wxPoint position;
    };
    const Expected expected[] = {
        {"Corvane Print Spooler", {12, 25}},
        {"Please log in to connect your Corvane Print Spooler", {12, 61}},
        {"Not Connected", {385, 245}},
        {"", {144, 136}},
        {"", {144, 162}},
        {"Connect", {38, 230}},
        {"Corvane ID", {38, 136}},
        {"Password", {38, 162}},
        {"Printer", {38, 188}},
        {"", {144, 188}},
    };
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(all[i]->GetPosition(), expected[i].position);
        if (dynamic_cast<wxTextCtrl*>(all[i]) != nullptr) {
            EXPECT_EQ(static_cast<wxTextCtrl*>(all[i])->GetValue(), "");
        } else if (dynamic_cast<wxChoice*>(all[i]) == nullptr) {
            EXPECT_EQ(all[i]->GetLabel(), expected[i].label);
        }
    }
    EXPECT_EQ(all[0]->GetSize(), wxSize(480, 36));
    EXPECT_EQ(all[1]->GetSize(), wxSize(480, 32));
    EXPECT_EQ(all[3], frame().userIdCtrl);
    EXPECT_EQ(all[4], frame().passwordCtrl);
    EXPECT_EQ(all[5], frame().connectButton);
    EXPECT_EQ(all[9], frame().printerChoice);
    EXPECT_EQ(all[2], frame().statusText);
    EXPECT_EQ(frame().userIdCtrl->GetSize(), wxSize(190, 20));
    EXPECT_EQ(frame().passwordCtrl->GetSize(), wxSize(190, 20));
    EXPECT_EQ(frame().connectButton->GetSize(), wxSize(300, 33));
    EXPECT_EQ(frame().printerChoice->GetSize(), wxSize(190, 28));
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

TEST_F(WindowLayout, ColoursAndFontsFollowTheHouseLook) {
    const std::vector<wxWindow*> all = controls();
    for (int i : {0, 1, 2}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(all[i]->GetForegroundColour(), kWhite);
        EXPECT_EQ(all[i]->GetBackgroundColour(), kBlue);
    }
    EXPECT_EQ(all[0]->GetFont().GetPointSize(), 20);
    EXPECT_EQ(all[0]->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(all[1]->GetFont().GetPointSize(), 12);
    EXPECT_EQ(all[1]->GetFont().GetWeight(), wxFONTWEIGHT_NORMAL);
    EXPECT_EQ(all[2]->GetFont().GetPointSize(), 8);
    EXPECT_EQ(frame().connectButton->GetForegroundColour(), kWhite);
    EXPECT_EQ(frame().connectButton->GetBackgroundColour(), kGreen);
    for (int i : {6, 7, 8}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(all[i]->GetBackgroundColour(), kWhite);
        EXPECT_EQ(all[i]->GetFont().GetPointSize(), 8);
    }
}

TEST_F(WindowLayout, BackgroundPictureAndIconAreLoadedFromBesideTheProgram) {
    auto* picture = dynamic_cast<wxImagePanel*>(panel());
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(picture->bitmap.IsOk());
    EXPECT_EQ(picture->bitmap.GetSize(), wxSize(500, 339));
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
    EXPECT_EQ(frame().statusText->GetPosition(), wxPoint(385, 245));
    EXPECT_GT(frame().statusText->GetSize().GetWidth(), before.GetWidth());

    frame().SetConnectButton("Disconnecting...", false);
    EXPECT_EQ(frame().connectButton->GetLabel(), "Disconnecting...");
    EXPECT_FALSE(frame().connectButton->IsEnabled());
    EXPECT_EQ(frame().connectButton->GetSize(), wxSize(300, 33));
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
