// The host's drawing interface: opaque references, colours, points and four suites.
#pragma once

#include "SPBasic.h"

typedef struct _DRAWBOT_DrawRef* DRAWBOT_DrawRef;
typedef struct _DRAWBOT_SupplierRef* DRAWBOT_SupplierRef;
typedef struct _DRAWBOT_SurfaceRef* DRAWBOT_SurfaceRef;
typedef struct _DRAWBOT_PenRef* DRAWBOT_PenRef;
typedef struct _DRAWBOT_PathRef* DRAWBOT_PathRef;
typedef struct _DRAWBOT_ObjectRef* DRAWBOT_ObjectRef;

typedef struct {
    float red, green, blue, alpha;
} DRAWBOT_ColorRGBA;
typedef struct {
    float x, y;
} DRAWBOT_PointF32;
typedef struct {
    float left, top, width, height;
} DRAWBOT_RectF32;

#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version1 1
#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_PathSuite_Version1 1

typedef struct DRAWBOT_DrawbotSuite1 {
    SPErr (*GetSupplier)(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SupplierRef* out_supplierP);
    SPErr (*GetSurface)(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SurfaceRef* out_surfaceP);
} DRAWBOT_DrawbotSuite1;

typedef struct DRAWBOT_SupplierSuite1 {
    SPErr (*NewPen)(DRAWBOT_SupplierRef in_supplier_ref, const DRAWBOT_ColorRGBA* in_colorP, float in_size,
                    DRAWBOT_PenRef* out_penP);
    SPErr (*NewPath)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_PathRef* out_pathP);
    SPErr (*RetainObject)(DRAWBOT_ObjectRef in_obj_ref);
    SPErr (*ReleaseObject)(DRAWBOT_ObjectRef in_obj_ref);
} DRAWBOT_SupplierSuite1;

typedef struct DRAWBOT_SurfaceSuite1 {
    SPErr (*StrokePath)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_PenRef in_pen_ref,
                        DRAWBOT_PathRef in_path_ref);
} DRAWBOT_SurfaceSuite1;

// AddArc takes its start and sweep angles in degrees.
typedef struct DRAWBOT_PathSuite1 {
    SPErr (*MoveTo)(DRAWBOT_PathRef in_path_ref, float in_x, float in_y);
    SPErr (*LineTo)(DRAWBOT_PathRef in_path_ref, float in_x, float in_y);
    SPErr (*AddArc)(DRAWBOT_PathRef in_path_ref, const DRAWBOT_PointF32* in_centerP, float in_radius,
                    float in_start_angle, float in_sweep);
    SPErr (*Close)(DRAWBOT_PathRef in_path_ref);
} DRAWBOT_PathSuite1;
