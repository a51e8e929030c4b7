#pragma once

#include <wx/event.h>

// Reports of the background workers and the print jobs to the application object.
// All but wxEVT_PRINT_JOB_DONE are wxThreadEvents carrying their value as typed payload:
// std::string for texts, wxString for the temporary file path of wxEVT_PRINT_FILE, whose
// event string also carries the document's name on the server.
extern const wxEventType wxEVT_SFTP_ERROR;
extern const wxEventType wxEVT_SFTP_FINISHED;
extern const wxEventType wxEVT_SFTP_CONNECTED;
extern const wxEventType wxEVT_PRINT_FILE;
extern const wxEventType wxEVT_SFTP_STATUS;
extern const wxEventType wxEVT_PRINT_JOB_DONE;  // wxCommandEvent, id 0, no payload
extern const wxEventType wxEVT_UPDATE_AVAILABLE;
