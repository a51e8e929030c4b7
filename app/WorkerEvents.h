#pragma once

#include <wx/event.h>

// Reports of the background workers and the print jobs to the application object.
// All but wxEVT_PRINT_JOB_DONE are wxThreadEvents carrying their value as typed payload:
// std::string for texts, wxString for the outbox path of wxEVT_PRINT_FILE's copy, whose
// event string also carries the document's name on the server, and whose int is 1 for a
// document an earlier run left in the outbox.
extern const wxEventType wxEVT_SFTP_ERROR;
extern const wxEventType wxEVT_SFTP_FINISHED;
extern const wxEventType wxEVT_SFTP_CONNECTED;
extern const wxEventType wxEVT_PRINT_FILE;
extern const wxEventType wxEVT_SFTP_STATUS;
// wxCommandEvent, id 0, no payload; its extra long names the print queue's job, its int is 1
// when the job printed, and its string is the notice for the user, if any.
extern const wxEventType wxEVT_PRINT_JOB_DONE;
extern const wxEventType wxEVT_UPDATE_AVAILABLE;
