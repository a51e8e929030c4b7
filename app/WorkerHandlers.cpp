// The application's handlers of the workers' reports: they turn each event into what the
// window shows. Events that arrive once the window is being destroyed are dropped.
#include <algorithm>
#include <string>

#include <wx/msgdlg.h>

#include "app/NarrowText.h"
#include "app/PrinterApp.h"
#include "ui/TeskFrame.h"

void PrinterApp::ShowLink(Link newLink) {
    link = newLink;
    if (frame == nullptr) {
        return;
    }
    switch (link) {
        case Link::Idle:
            frame->SetStatus("Not Connected");
            frame->SetConnectButton("Connect", true);
            break;
        case Link::Connecting:
            frame->SetConnectButton("Connecting...", false);
            frame->SetStatus("Connecting...");
            break;
        case Link::Connected:
            frame->SetStatus("Connected");
            frame->SetConnectButton("Disconnect", true);
            break;
        case Link::Disconnecting:
            frame->SetConnectButton("Disconnecting...", false);
            frame->SetStatus("Disconnecting...");
            break;
    }
}

void PrinterApp::OnSftpConnected(wxThreadEvent& event) {
    event.GetPayload<std::string>();
    if (frame == nullptr) {
        return;
    }
    // A stop requested while the worker was still logging in stays requested.
    if (link == Link::Disconnecting) {
        return;
    }
    ShowLink(Link::Connected);
}

void PrinterApp::OnSftpFinished(wxThreadEvent& event) {
    event.GetPayload<std::string>();
    printerThread = nullptr;
    ShowLink(Link::Idle);
}

void PrinterApp::OnSftpError(wxThreadEvent& event) {
    const std::string message = event.GetPayload<std::string>();
    if (frame == nullptr) {
        return;
    }
    ShowLink(Link::Idle);
    // Once the user has asked to quit, a late login failure is no longer news.
    if (shuttingDown) {
        return;
    }
    ShowMessage(FromNarrow(message), wxMessageBoxCaptionStr, wxOK | wxCENTRE);
}

void PrinterApp::OnSftpStatus(wxThreadEvent& event) {
    const std::string text = event.GetPayload<std::string>();
    if (frame == nullptr) {
        return;
    }
    frame->SetStatus(text);
}

void PrinterApp::ShowNoticeOnce(const wxString& notice) {
    // A modal box keeps handling events: more failed jobs may end while it is open, and
    // the open box already says what theirs would.
    if (std::find(openNotices.begin(), openNotices.end(), notice) != openNotices.end()) {
        return;
    }
    openNotices.push_back(notice);
    ShowMessage(notice, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
    openNotices.erase(std::find(openNotices.begin(), openNotices.end(), notice));
}
