// Helpers for the hostile-input tests:
//   peak COMMAND [ARGS...]   runs COMMAND as a child and prints "STATUS PEAK_KIB", its exit status
//                            and its peak resident memory as the kernel accounted it (getrusage)
//   pictures FOLDER          writes pictures whose headers claim more than the files hold
//   interrupt SIGNAL COMMAND [ARGS...]
//                            runs COMMAND with SIGINT, SIGTERM and SIGHUP at their defaults (a
//                            shell's background job ignores SIGINT), sends it SIGNAL once a
//                            temporary output (.corvelle-*) shows in the current folder, and
//                            prints its exit status
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <csignal>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& out, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (big ? 24 - 8 * i : 8 * i)));
}

void Put16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

uint32_t Crc32(const unsigned char* p, std::size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PngChunk(Bytes& out, const char* kind, const Bytes& data) {
    Put32(out, static_cast<uint32_t>(data.size()), true);
    Bytes typed(kind, kind + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    Put32(out, Crc32(typed.data(), typed.size()), true);
}

/// An uncompressed 8-bit grey TIFF of one strip, with `present` bytes of its data.
Bytes Tiff(uint32_t width, uint32_t height, std::size_t present) {
    Bytes out = {'I', 'I', 42, 0};
    Put32(out, 8, false);
    const uint32_t entries[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                   {259, 3, 1},     {262, 3, 1},      {273, 4, 8 + 2 + 9 * 12 + 4},
                                   {277, 3, 1},     {278, 4, height}, {279, 4, width * height}};
    Put16(out, 9);
    for (const auto& e : entries) {
        Put16(out, static_cast<uint16_t>(e[0]));
        Put16(out, static_cast<uint16_t>(e[1]));
        Put32(out, 1, false);
        if (e[1] == 3) {
            Put16(out, static_cast<uint16_t>(e[2]));
            Put16(out, 0);
        } else {
            Put32(out, e[2], false);
        }
    }
    Put32(out, 0, false);
    for (std::size_t i = 0; i < present; ++i)
        out.push_back(static_cast<unsigned char>(i * 7));
    return out;
}

bool Save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return f && std::fclose(f) == 0 && ok;
}

int Pictures(const std::string& folder) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    Put32(header, 32767, true);
    Put32(header, 32767, true);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IEND", {});
    const bool ok = Save(folder + "/bomb.png", png) && Save(folder + "/bomb.tif", Tiff(30000, 30000, 0)) &&
                    Save(folder + "/cut.tif", Tiff(8192, 8192, std::size_t{1} << 20));
    return ok ? 0 : 1;
}

int Peak(char** command) {
    const pid_t child = fork();
    if (child == 0) {
        execv(command[0], command);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 2;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("%d %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                usage.ru_maxrss);
    return 0;
}

bool TemporaryShows() {
    DIR* folder = opendir(".");
    bool found = false;
    while (dirent* entry = folder ? readdir(folder) : nullptr)
        found = found || std::strncmp(entry->d_name, ".corvelle-", 10) == 0;
    if (folder)
        closedir(folder);
    return found;
}

int Interrupt(int signal, char** command) {
    const pid_t child = fork();
    if (child == 0) {
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            std::signal(s, SIG_DFL);
        execv(command[0], command);
        _exit(127);
    }
    for (int tries = 0; tries < 400 && !TemporaryShows(); ++tries)
        usleep(25000);
    kill(child, signal);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 2;
    std::printf("%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}

}   // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "peak") == 0)
        return Peak(argv + 2);
    if (argc >= 4 && std::strcmp(argv[1], "interrupt") == 0)
        return Interrupt(std::atoi(argv[2]), argv + 3);
    if (argc == 3 && std::strcmp(argv[1], "pictures") == 0)
        return Pictures(argv[2]);
    std::fprintf(stderr, "usage: %s peak COMMAND... | pictures FOLDER | interrupt SIGNAL COMMAND...\n",
                 argv[0]);
    return 2;
}
