// The picture-file functions as the picture library hands them to a program that loads it
// only when it meets a picture: the image library pulls in some two hundred shared libraries,
// whose loading would otherwise dominate every raw-stream run and every quick command.
#pragma once

#include "core/World.h"

#include <string>

namespace corvelle {

struct ImageFilesTable {
    World (*readImage)(const std::string& path, PixelLayout layout, long long maxPixels);
    void (*checkImageOutputPath)(const std::string& path);
    void (*writeImage)(const std::string& path, const World& world);
};

/// The loadable picture library's file name, shipped beside the effect module.
constexpr const char kImageFilesLibraryName[] = "corvelle-pictures.so";
/// Its one exported symbol: `const ImageFilesTable* corvelle_image_files_v1()`. The version
/// changes with the table, so a stale library from another build is refused, not misread.
constexpr const char kImageFilesEntryName[] = "corvelle_image_files_v1";
using ImageFilesEntry = const ImageFilesTable* (*)();

}   // namespace corvelle
