// The loadable picture library's entry point: the image-file functions, compiled against the
// same headers as the programs that load it.
#include "pictures/ImageFiles.h"
#include "pictures/ImageFilesTable.h"

extern "C" __attribute__((visibility("default"))) const corvelle::ImageFilesTable* corvelle_image_files_v1() {
    static const corvelle::ImageFilesTable table{&corvelle::ReadImage, &corvelle::CheckImageOutputPath,
                                                 &corvelle::WriteImage};
    return &table;
}
