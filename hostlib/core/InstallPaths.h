// Where the files that ship beside the host library (the effect module, the picture library)
// are found, in the build tree and in an install alike.
#pragma once

#include <string>

namespace corvelle {

/// `fileName` looked for beside the file the host library was linked into (a shared library or
/// a program): corvelle/ there, the folder itself, then the installed module folder seen from
/// the installed program. The folder itself when it is in none of them.
std::string FindShippedFile(const std::string& fileName);

}   // namespace corvelle
