#pragma once

#include <string>

#include <wx/event.h>
#include <wx/thread.h>

// Source of the once-per-run release check.
class UpdateCheck {
public:
    // Makes the (detached, not yet running) worker that reports to `handler`.
    virtual wxThread* CreateCheckThread(wxEvtHandler* handler) = 0;

protected:
    ~UpdateCheck() = default;
};

class UrlUpdateCheck : public UpdateCheck {
public:
    explicit UrlUpdateCheck(const std::string& url);
    wxThread* CreateCheckThread(wxEvtHandler* handler) override;

private:
    std::string url;
};
