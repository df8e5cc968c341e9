// Finding a table key among the parameters a module registered: id and type must both agree.
#include "params/ParamKeys.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvelle {
namespace {

PF_ParamDef Registered(A_long id, PF_ParamType type) {
    PF_ParamDef def{};
    def.uu.id = id;
    def.param_type = type;
    return def;
}

struct IndexCase {
    const char* name;
    std::vector<PF_ParamDef> registered;
    const char* key;
    int index;
};

class IndexOfKeyTest : public testing::TestWithParam<IndexCase> {};

TEST_P(IndexOfKeyTest, FindsTheKeyOnlyWhereIdAndTypeAgree) {
    EXPECT_EQ(IndexOfKey(GetParam().registered, GetParam().key), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, IndexOfKeyTest,
    testing::Values(IndexCase{"second_registered",
                              {Registered(14, PF_Param_POPUP), Registered(9, PF_Param_CHECKBOX)},
                              "mask_only",
                              2},
                    IndexCase{"same_id_other_type", {Registered(9, PF_Param_POPUP)}, "mask_only", 0},
                    IndexCase{"not_registered", {Registered(14, PF_Param_POPUP)}, "falloff", 0},
                    IndexCase{"key_not_in_the_table", {Registered(9, PF_Param_CHECKBOX)}, "sparkle", 0},
                    IndexCase{"nothing_registered", {}, "shape", 0}),
    testing_support::CaseName());

}   // namespace
}   // namespace corvelle
