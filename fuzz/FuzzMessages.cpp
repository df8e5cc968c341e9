// libFuzzer target: the preview server's reader of the page's messages. Any input must either
// parse or be refused with BadMessage; nothing else may escape, crash or leak.
#include "serve/Messages.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        corvelle::serve::ParseMessage(text);
    } catch (const corvelle::serve::BadMessage&) {
    }
    return 0;
}
