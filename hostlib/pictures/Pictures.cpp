// The public picture calls, on top of the host's own image-file reader and writer.
#include <corvelle/pictures.h>

#include "core/HostError.h"
#include "core/World.h"
#include "pictures/ImageFiles.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace corvelle {
Picture ReadPicture(const std::string& path, PixelFormat format, long long maxPixels) {
    World world = ReadImage(path, format, maxPixels);
    Picture picture;
    picture.format = format;
    picture.width = world.Width();
    picture.height = world.Height();
    picture.bytes = std::move(world).TakePixels();
    return picture;
}

void CheckPictureOutputPath(const std::string& path) {
    CheckImageOutputPath(path);
}

void WritePicture(const std::string& path, const ConstImageView& picture) {
    const std::size_t minimum =
        static_cast<std::size_t>(std::max(picture.width, 0)) * BytesPerPixel(picture.format);
    if (picture.width < 0 || picture.height < 0 || picture.rowBytes < 0 ||
        static_cast<std::size_t>(picture.rowBytes) < minimum ||
        (!picture.data && picture.width && picture.height)) {
        throw HostError("writing " + path + ": the picture is missing or its rows are too short",
                        ErrorKind::BadValue);
    }
    // The writer only reads the pixels it is lent.
    const World world =
        World::Borrow(picture.format, picture.width, picture.height,
                      static_cast<std::size_t>(picture.rowBytes), const_cast<void*>(picture.data));
    WriteImage(path, world);
}

}   // namespace corvelle
