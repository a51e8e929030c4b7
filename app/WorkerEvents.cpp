#include "app/WorkerEvents.h"

const wxEventType wxEVT_SFTP_ERROR = wxNewEventType();
const wxEventType wxEVT_SFTP_FINISHED = wxNewEventType();
const wxEventType wxEVT_SFTP_CONNECTED = wxNewEventType();
const wxEventType wxEVT_PRINT_FILE = wxNewEventType();
const wxEventType wxEVT_SFTP_STATUS = wxNewEventType();
const wxEventType wxEVT_PRINT_JOB_DONE = wxNewEventType();
const wxEventType wxEVT_UPDATE_AVAILABLE = wxNewEventType();
