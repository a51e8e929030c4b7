#include "app/ResourcesDir.h"

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/stdpaths.h>
#include <wx/vector.h>
#include <wx/msw/wrapwin.h>

namespace {
// The program's icon group in its resources (app/corvane-print-spooler.rc).
constexpr const wchar_t* kIconResource = L"APPICON";
}  // namespace

wxString ResourcesDir() {
    // On Windows this is the folder of the executable.
    return wxStandardPaths::Get().GetResourcesDir();
}

wxString ProgramDir() {
    return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath();
}

wxIcon BuiltInIcon() {
    wxIcon icon;
    // Test programs carry no icon: asking the toolkit for a missing one would show an error.
    if (::FindResourceW(::GetModuleHandleW(nullptr), kIconResource, RT_GROUP_ICON) != nullptr) {
        icon.LoadFile(kIconResource, wxBITMAP_TYPE_ICO_RESOURCE, 48, 48);
    }
    return icon;
}

wxBitmapBundle TrayIconSizes(const wxIcon& icon) {
    if (!icon.IsOk()) {
        return wxBitmapBundle();
    }
    // A small icon is 16 pixels at 100 %: one image for each scale up to 300 %, so that
    // the toolkit hands the notification area exactly the size it asks for.
    const wxImage image = wxBitmap(icon).ConvertToImage();
    wxVector<wxBitmap> sizes;
    for (int side : {16, 20, 24, 32, 40, 48}) {
        sizes.push_back(wxBitmap(image.Scale(side, side, wxIMAGE_QUALITY_HIGH)));
    }
    return wxBitmapBundle::FromBitmaps(sizes);
}
