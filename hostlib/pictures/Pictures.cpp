// The public picture calls, on top of the host's own image-file reader and writer.
#include <corvelle/pictures.h>

#include "core/HostError.h"
#include "core/World.h"
#include "pictures/ImageFiles.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace corvelle {
Picture MakePicture(PixelFormat format, int width, int height) {
    if (width < 0 || height < 0) {
        throw HostError("cannot make a picture of negative size", ErrorKind::BadValue);
    }
    Picture picture;
    picture.format = format;
    picture.width = width;
    picture.height = height;
    try {
        picture.bytes.assign(static_cast<std::size_t>(picture.RowBytes()) * static_cast<std::size_t>(height),
                             0);
    } catch (const std::bad_alloc&) {
        throw PictureOutOfMemory("", width, height, BytesPerPixel(format));
    }
    return picture;
}

Picture ReadPicture(const std::string& path, PixelFormat format) {
    try {
        const World world = ReadImage(path, format);
        Picture picture = MakePicture(format, world.Width(), world.Height());
        const std::size_t rowBytes = static_cast<std::size_t>(picture.RowBytes());
        for (A_long y = 0; y < world.Height(); ++y) {
            std::memcpy(picture.bytes.data() + static_cast<std::size_t>(y) * rowBytes, world.Row(y),
                        rowBytes);
        }
        return picture;
    } catch (const std::bad_alloc&) {
        throw HostError("reading " + path + ": not enough memory", ErrorKind::OutOfMemory);
    }
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
