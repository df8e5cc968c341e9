// Holds back what image libraries print on standard error (libpng's and libtiff's own warning
// and error lines) while a picture is decoded, so it can be folded into one message.
#pragma once

#include <string>

namespace corvelle {

class StderrCapture {
public:
    /// Points descriptor 2 at a scratch file until Finish or destruction; does nothing when the
    /// scratch file cannot be made.
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    /// Restores standard error and returns what was written to it meanwhile.
    std::string Finish();

private:
    int m_saved = -1;
    int m_scratch = -1;
};

}   // namespace corvelle
