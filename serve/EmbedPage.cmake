# Writes a C++ source holding the page's files as byte arrays, run at build time:
#   cmake -DOUTPUT=PageFiles.cpp -DPAGE_DIR=page -P EmbedPage.cmake
# index.html is served at "/", every other file at "/<name>".
file(GLOB FILES ${PAGE_DIR}/*)
list(SORT FILES)
set(entries "")
set(arrays "")
set(n 0)
foreach(file ${FILES})
    get_filename_component(name ${file} NAME)
    get_filename_component(ext ${file} LAST_EXT)
    if(ext STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(ext STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    elseif(ext STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(ext STREQUAL ".svg")
        set(type "image/svg+xml")
    else()
        message(FATAL_ERROR "EmbedPage: no content type for ${name}")
    endif()
    if(name STREQUAL "index.html")
        set(path "/")
    else()
        set(path "/${name}")
    endif()
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char kFile${n}[] = {${bytes} 0};\n")
    string(APPEND entries "    {\"${path}\", \"${type}\", std::string_view(reinterpret_cast<const char*>(kFile${n}), ${size})},\n")
    math(EXPR n "${n} + 1")
endforeach()
set(source "// Generated from the page's files by EmbedPage.cmake; do not edit.
#include \"PageFiles.h\"

namespace corvelle::serve {
namespace {
${arrays}
const PageFile kFiles[] = {
${entries}};
}   // namespace

const PageFile* FindPageFile(std::string_view path) {
    for (const PageFile& file : kFiles) {
        if (file.path == path) {
            return &file;
        }
    }
    return nullptr;
}

}   // namespace corvelle::serve
")
file(WRITE ${OUTPUT}.tmp "${source}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
