#pragma once
// The program's life: start-up, the main window's two window-level handlers, the exit routine
// and the update check.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/services.h"

namespace app {

class MainWindow;

// Program-wide state, one of each for the whole process.
extern std::string ProgramDirectory;  // the program file's folder, no final "/" ("" for "/")
extern uintptr_t GdiplusToken;
extern std::string VersionMarker;
extern std::string LatestVersionText;

// The maker's web site, without a final "/": the build setting ZEPHLORA_SITE. Tests point it at
// a loopback server of their own.
extern std::string SiteAddress;

extern const char* const SkinPassword;  // nine lower-case letters
extern const char* const SkinLibraryName;  // "SkinH_EL.dll"
extern const char* const SkinFileName;     // "cc.she"

// The home page: the root page of the site.
std::string HomePageUrl();

// Makes the current directory ProgramDirectory, registers OnProgramExit, creates the main
// window hidden, runs its created event (OnMainWindowCreated) and shows it. Returns the window,
// which deletes itself when closed; or the process ends inside (update check, fatal error).
MainWindow* StartMainWindow(platform::Services& services);

void OnMainWindowCreated(MainWindow& window, platform::Services& services);
void OnMainWindowDestroying(platform::Services& services);
void OnProgramExit();

// Calls SkinH_AttachEx of SkinH_EL.dll, bound by name on the first call: ProgramDirectory's copy
// first, then the system's search. Its result is ignored.
void AttachSkin(platform::Services& services, const std::string& skinFile,
                const std::string& password);

// Returns when the site's version marker equals ours; otherwise offers the home page, says
// this version is withdrawn and ends the program with code 0.
void CheckForUpdate(MainWindow& window, platform::Services& services);

// The bytes up to the first zero byte.
std::string BytesToText(const std::vector<uint8_t>& bytes);

// The whole process: the toolkit gets only the program's name. Returns only by ending.
[[noreturn]] void RunProgram(const char* programName);

}  // namespace app
