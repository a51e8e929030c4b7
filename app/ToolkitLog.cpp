#include "app/ToolkitLog.h"

#include "app/DiagnosticLog.h"
#include "app/NarrowText.h"

void ToolkitLog::DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo&) {
    // Status, progress and debugging chatter is not a failure.
    if (level > wxLOG_Message) {
        return;
    }
    LogLine("toolkit: " + OneLine(ToNarrow(message)));
}
