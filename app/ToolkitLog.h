#pragma once

#include <wx/log.h>

// The toolkit's own error, warning and message reports go to the diagnostic log, one line
// each ("toolkit: ..."), instead of its default boxes: a box nobody asked for holds the
// window (it ignores a close request while the box is open) and tells the user nothing they
// can act on; the person supporting them reads the log.
class ToolkitLog : public wxLog {
protected:
    void DoLogRecord(wxLogLevel level, const wxString& message,
                     const wxLogRecordInfo& info) override;
};
