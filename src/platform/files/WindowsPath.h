#pragma once

#include <string>

namespace pelvar {

struct SandboxPaths;

// Paths an installation's own files hold (registry, system file, settings, database rows)
// were written on Windows ("C:\Pelvar9\") or here ("/srv/pelvar9/"). A drive-letter path maps
// to the sandbox's drive root of that letter, "\" read as "/", trailing separator kept; a
// native absolute path stays as it is; empty stays empty. A network path ("\\server\share")
// or a relative one has no place to map to: error 76 whose description names `source` and
// the value. Callers keep the value as it was for anything they write back.
std::string nativePath(const SandboxPaths& paths, const std::string& value,
                       const std::string& source);

// The form a path is written back in where the installation's own files keep it: a path below
// a drive root ("<root>/drive_d/Patches") as its drive-letter path ("D:\Patches"), so that a
// value that came from Windows goes back as it came; any other path as it is.
std::string windowsForm(const SandboxPaths& paths, const std::string& native);

// Whether a value starts with a drive letter and a colon ("C:", "d:\x").
bool isDriveLetterPath(const std::string& value);

} // namespace pelvar
