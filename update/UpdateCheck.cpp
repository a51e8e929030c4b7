#include "update/UpdateCheck.h"

#include "update/UpdateCheckThread.h"

UrlUpdateCheck::UrlUpdateCheck(const std::string& url) : url(url) {}

wxThread* UrlUpdateCheck::CreateCheckThread(wxEvtHandler* handler) {
    // Detached: the thread deletes itself when its check is done.
    return new UpdateCheckThread(handler, url);
}
