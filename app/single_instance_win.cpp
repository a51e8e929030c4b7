#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it

#include <wx/utils.h>

#include "app/SingleInstance.h"

InstancePlace SessionInstancePlace() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const wxString name = wxString::Format("CorvanePrintSpooler-%s-%lu", wxGetUserId(),
                                           static_cast<unsigned long>(session));
    InstancePlace place;
    // A mutex in the session's own namespace; the folder plays no part.
    place.lockName = "Local\\" + name;
    // The toolkit's IPC is DDE here, which only reaches the windows of this desktop.
    place.service = name;
    return place;
}
