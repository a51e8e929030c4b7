#pragma once

#include <filesystem>
#include <string>

#include "WineTestSupport.h"

// The program's working folder for one test, as the deployment lays it out: a folder with
// a blank in its name, made the current directory while the object lives. Stand-ins put
// there record their starts in a folder of their own (CORVANE_STANDIN_RECORDS, inherited
// by every child).
class WorkingFolder {
public:
    WorkingFolder();
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    // Places the stand-in program as `name`.
    void PlaceProgram(const std::string& name);
    // Places the stand-in program as `name` beside the running test program, where the
    // program looks for the programs it starts; removed again with this object.
    void PlaceBesideProgram(const std::string& name);
    // The folder of the running test program.
    static std::filesystem::path ProgramFolder();
    // Places the recording script (mapwebdav_recorder.vbs, CORVANE_RECORDER_SCRIPT) as
    // scripts\mapwebdav.vbs.
    void PlaceMappingScript();

    const std::filesystem::path& Path() const { return folder.Path(); }
    std::vector<StandinStart> Starts() const { return ReadStandinStarts(records.Path()); }

private:
    ScratchFolder folder;
    ScratchFolder records;
    std::filesystem::path previous;
    std::vector<std::filesystem::path> besideProgram;
};
