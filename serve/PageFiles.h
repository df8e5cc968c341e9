// The page's files, built into the program so the installed command needs no data folder.
#pragma once

#include <string_view>

namespace corvelle::serve {

struct PageFile {
    std::string_view path;          // "/app.js"; the page itself is "/"
    std::string_view contentType;   // with its charset
    std::string_view body;
};

/// The file served at `path`, or null.
const PageFile* FindPageFile(std::string_view path);

}   // namespace corvelle::serve
