// The effect's user-visible texts, addressed by row number.
#pragma once

#include <cstdint>

/// Row numbers of g_strs; saved projects don't depend on them, but every row keeps its place.
enum {
    StrID_NONE = 0,
    StrID_Name,
    StrID_Description,
    StrID_Origin_Param_Name,
    StrID_Width_Param_Name,
    StrID_Height_Param_Name,
    StrID_Angle_Param_Name,
    StrID_Feather_Param_Name,
    StrID_Color_Param_Name,
    StrID_Opacity_Param_Name,
    StrID_Opacity_Disabled_Param_Name,
    StrID_Invert_Param_Name,
    StrID_DependString1,
    StrID_DependString2,
    StrID_Err_LoadSuite,
    StrID_Err_FreeSuite,
    StrID_Shape_Param_Name,
    StrID_Shape_Choices,
    StrID_BlendMode_Param_Name,
    StrID_BlendMode_Disabled_Param_Name,
    StrID_BlendMode_Choices,
    StrID_MaskOnly_Param_Name,
    StrID_FillWith_Param_Name,
    StrID_FillWith_Choices,
    StrID_NUMTYPES
};

/// One row of the string table: its own number and its NUL-terminated text.
struct TableString {
    uint64_t index;
    char str[256];
};

extern const TableString g_strs[StrID_NUMTYPES];

/// The text of row `strNum` (0 to 23, unchecked); the row's index field is not consulted.
const char* GetStringPtr(int strNum);
