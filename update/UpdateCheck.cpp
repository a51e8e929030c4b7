// Placeholder until the update check lands.
#include "update/UpdateCheck.h"

namespace {
class NoCheckThread : public wxThread {
public:
    NoCheckThread() : wxThread(wxTHREAD_DETACHED) {}
    ExitCode Entry() override { return nullptr; }
};
}  // namespace

UrlUpdateCheck::UrlUpdateCheck(const std::string& url) : url(url) {}

wxThread* UrlUpdateCheck::CreateCheckThread(wxEvtHandler*) { return new NoCheckThread; }
