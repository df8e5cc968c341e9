// Descriptor 2 swapped for an anonymous file; one capture at a time in the process.
#include "pictures/StderrCapture.h"

#include <cstdio>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace corvelle {
namespace {

std::mutex g_captureMutex;
// What a decoder may print is a few lines; more is cut off.
constexpr std::size_t kMaxCaptured = 4096;

}   // namespace

StderrCapture::StderrCapture() {
    g_captureMutex.lock();
    std::fflush(stderr);
    m_scratch = memfd_create("corvelle-stderr", MFD_CLOEXEC);
    if (m_scratch >= 0)
        m_saved = dup(STDERR_FILENO);
    if (m_saved < 0 || dup2(m_scratch, STDERR_FILENO) < 0) {
        if (m_saved >= 0)
            close(m_saved);
        if (m_scratch >= 0)
            close(m_scratch);
        m_saved = m_scratch = -1;
    }
}

StderrCapture::~StderrCapture() {
    Finish();
    g_captureMutex.unlock();
}

std::string StderrCapture::Finish() {
    if (m_saved < 0)
        return {};
    std::fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
    m_saved = -1;
    std::string text(kMaxCaptured, '\0');
    const ssize_t n = pread(m_scratch, text.data(), text.size(), 0);
    close(m_scratch);
    m_scratch = -1;
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

}   // namespace corvelle
