// The basic suite: the host's directory of every other suite, by name and version.
#pragma once

#include "AE_Effect.h"

typedef A_long SPErr;
enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x53214e46 };   // 'S!NF'

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32 version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32 version);
};
