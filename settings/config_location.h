// Where Config.ini lives.
//
// A portable copy of the program (the zip) keeps Config.ini beside
// CalvoroRecord.exe. An installed copy lives in a folder that a normal user
// cannot write (Program Files): writes there fail or are redirected to the
// user's VirtualStore, so the installer leaves a marker file beside the program
// and the program keeps Config.ini in the user's application data folder
// instead. A user who had settings in the old place keeps them: when the new
// place has no Config.ini yet, the old one is carried over once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/contracts.h"


struct ConfigIniPlace {
  std::wstring path;    // where Config.ini is read and written
  std::wstring folder;  // the folder to create for it; empty for the program's folder
  // Where an earlier Config.ini may be, the one to prefer first.
  std::vector<std::wstring> earlierPaths;
};

// The place for a program in `programFolder` (with its trailing separator).
// `installed`: the installer's marker is there. An unknown application data
// folder leaves Config.ini beside the program.
ConfigIniPlace ConfigIniPlaceFor(std::wstring_view programFolder, bool installed, std::wstring_view appData,
                                 std::wstring_view localAppData);

// The place for the running program.
ConfigIniPlace CurrentConfigIniPlace();

// Where Windows puts a file that a program without a manifest wrote in a
// protected folder: "<local application data>\VirtualStore" followed by the
// path without its drive. Empty when the path has no drive.
std::wstring VirtualStorePathOf(std::wstring_view path, std::wstring_view localAppData);

// Makes the place ready: creates its folder and, when it has no Config.ini,
// carries the settings of the first earlier Config.ini that exists over to it.
// Returns the path to read Config.ini from: the place's own, or the earlier
// file when the place could not be written.
std::wstring PrepareConfigIni(const ConfigIniPlace& place);
