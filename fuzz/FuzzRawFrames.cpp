// Fuzzes the framing of raw frame streams: a stream of any bytes read as frames of a size the
// input chooses. Whole frames come back exactly; a remainder is refused; nothing else happens.
#include "core/HostError.h"
#include "core/World.h"
#include <corvelle/streams.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace corvelle;

[[noreturn]] void Fail(const char* why) {
    std::fprintf(stderr, "corvelle: fuzzing: %s\n", why);
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const PixelLayout layouts[] = {PixelLayout::Argb8, PixelLayout::Argb16, PixelLayout::Bgra8,
                                   PixelLayout::BgraFloat};
    const PixelLayout layout = layouts[data[0] % 4];
    const A_long width = 1 + data[1] % 16;
    const A_long height = 1 + data[2] % 16;
    const A_long padding = (data[0] / 4) % 3 * static_cast<A_long>(BytesPerPixel(layout) / 4);
    data += 3;
    size -= 3;

    // An anonymous file stands in for the stream: no file system is touched.
    const int fd = memfd_create("corvelle-fuzz-raw", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        Fail("cannot make the stream");
    const std::size_t frameBytes = RawFrameBytes(layout, width, height);
    const std::size_t whole = size / frameBytes;
    World world(layout, width, height, padding);
    long frames = 0;
    bool refused = false;
    try {
        RawFrameReader reader("/proc/self/fd/" + std::to_string(fd));
        if (reader.AtEnd() != (size == 0))
            Fail("AtEnd disagrees with the stream's length");
        while (reader.Next(world.View())) {
            const std::size_t rowBytes = frameBytes / static_cast<std::size_t>(height);
            for (A_long y = 0; y < height; ++y) {
                if (std::memcmp(world.Row(y), data + frames * frameBytes + y * rowBytes, rowBytes) != 0)
                    Fail("a frame came back changed");
            }
            ++frames;
        }
    } catch (const HostError&) {
        refused = true;
    }
    close(fd);
    if (static_cast<std::size_t>(frames) != whole)
        Fail("the count of whole frames is wrong");
    if (refused != (size % frameBytes != 0))
        Fail("a short last frame was not refused, or a whole stream was");
    if (!world.PaddingIntact())
        Fail("a read wrote into the row padding");
    return 0;
}
