#include "WorkingFolder.h"

#include <windows.h>

#include <wx/utils.h>

#include <gtest/gtest.h>

WorkingFolder::WorkingFolder()
    : folder("corvane work"),
      records("corvane records"),
      previous(std::filesystem::current_path()) {
    wxSetEnv("CORVANE_STANDIN_RECORDS", records.Path().wstring());
    std::filesystem::current_path(folder.Path());
}

WorkingFolder::~WorkingFolder() {
    std::error_code ignored;
    for (const auto& placed : besideProgram) {
        std::filesystem::remove(placed, ignored);
    }
    std::filesystem::current_path(previous, ignored);
    wxUnsetEnv("CORVANE_STANDIN_RECORDS");
}

void WorkingFolder::PlaceProgram(const std::string& name) {
    PlaceStandin(folder.Path(), name);
}

void WorkingFolder::PlaceBesideProgram(const std::string& name) {
    PlaceStandin(ProgramFolder(), name);
    besideProgram.push_back(ProgramFolder() / name);
}

std::filesystem::path WorkingFolder::ProgramFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    return std::filesystem::path(path).parent_path();
}

void WorkingFolder::PlaceMappingScript() {
    const std::string script = DriverValue("CORVANE_RECORDER_SCRIPT");
    std::error_code error;
    std::filesystem::create_directories(folder.Path() / "scripts", error);
    std::filesystem::copy_file(script, folder.Path() / "scripts" / "mapwebdav.vbs",
                               std::filesystem::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error) << "copying " << script << ": " << error.message();
}
