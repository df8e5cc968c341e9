// The string table: every name and message the effect shows, one row each.
#include "KT_Corvelle_Strings.h"

static_assert(StrID_NUMTYPES == 24, "rows keep their numbers");

const TableString g_strs[StrID_NUMTYPES] = {
    {StrID_NONE, ""},
    {StrID_Name, "Corvelle"},
    {StrID_Description,
     "Corvelle plugin for After Effects. Lays a feathered ellipse or rectangle over the "
     "layer and blends a fill colour in outside it."},
    {StrID_Origin_Param_Name, "Point of origin"},
    {StrID_Width_Param_Name, "Width"},
    {StrID_Height_Param_Name, "Height"},
    {StrID_Angle_Param_Name, "Angle"},
    {StrID_Feather_Param_Name, "Feather"},
    {StrID_Color_Param_Name, "Color"},
    {StrID_Opacity_Param_Name, "Opacity"},
    {StrID_Opacity_Disabled_Param_Name, "Opacity (100%)"},
    {StrID_Invert_Param_Name, "Invert"},
    {StrID_DependString1, "All Dependencies requested."},
    {StrID_DependString2, "Missing Dependencies requested."},
    {StrID_Err_LoadSuite, "Error loading suite."},
    {StrID_Err_FreeSuite, "Error releasing suite."},
    {StrID_Shape_Param_Name, "Corvelle Type"},
    {StrID_Shape_Choices, "Ellipse|Rectangle|"},
    {StrID_BlendMode_Param_Name, "Blending mode"},
    {StrID_BlendMode_Disabled_Param_Name, "Blending mode (disabled)"},
    {StrID_BlendMode_Choices,
     "Normal|Add|Multiply|Screen|Overlay|Soft light|Hard light|Darken|Lighten|Difference|"
     "Hue|Saturation|Color|Luminosity|Color dodge|Linear dodge|Color burn|Linear burn|"
     "Linear light|Vivid light|Pin light|Lighter color|Darker color|Subtract|Divide"},
    {StrID_MaskOnly_Param_Name, "Mask Only"},
    {StrID_FillWith_Param_Name, "Fill with"},
    {StrID_FillWith_Choices, "Color|Transparent"},
};

const char* GetStringPtr(int strNum) {
    return g_strs[strNum].str;
}
