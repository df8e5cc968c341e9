// The image-file functions of a program that loads the picture library on first use. The
// program links these instead of the library itself; everything else sees the same functions.
#include "core/HostError.h"
#include "core/InstallPaths.h"
#include "pictures/ImageFiles.h"
#include "pictures/ImageFilesTable.h"

#include <dlfcn.h>

#include <cstdlib>

namespace corvelle {

namespace {

const ImageFilesTable* LoadTable() {
    const char* chosen = std::getenv("CORVELLE_PICTURE_LIBRARY");
    const std::string path = (chosen && *chosen) ? chosen : FindShippedFile(kImageFilesLibraryName);
    dlerror();
    // Kept loaded until the program ends: pictures may be read again at any time.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        throw HostError("cannot load the picture library " + path + ": " + (why ? why : "unknown error"),
                        ErrorKind::Load);
    }
    const auto entry = reinterpret_cast<ImageFilesEntry>(dlsym(handle, kImageFilesEntryName));
    const ImageFilesTable* table = entry ? entry() : nullptr;
    if (!table) {
        dlclose(handle);
        throw HostError("cannot load the picture library " + path + ": it is not this version's",
                        ErrorKind::Load);
    }
    return table;
}

// A failed load throws out of the initialisation, so the next picture tries again.
const ImageFilesTable& Table() {
    static const ImageFilesTable* const table = LoadTable();
    return *table;
}

}   // namespace

World ReadImage(const std::string& path, PixelLayout layout, long long maxPixels) {
    return Table().readImage(path, layout, maxPixels);
}

void CheckImageOutputPath(const std::string& path) {
    Table().checkImageOutputPath(path);
}

void WriteImage(const std::string& path, const World& world) {
    Table().writeImage(path, world);
}

}   // namespace corvelle
