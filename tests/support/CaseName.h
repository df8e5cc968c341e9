// The name generator of the table-driven tests: each instance is named after its case.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace corvelle::testing_support {

/// Names an instance after its case's `name`, so a failure reads `Options/ParseFixedTest/half_step`.
struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

}   // namespace corvelle::testing_support
