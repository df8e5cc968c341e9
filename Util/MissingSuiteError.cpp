// The suite cache's one failure: an integer the entry point's guard turns into the result.
#include "AEGP_SuiteHandler.h"

void AEGP_SuiteHandler::MissingSuiteError() const {
    throw static_cast<int>(PF_Err_BAD_CALLBACK_PARAM);
}
