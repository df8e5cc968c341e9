// The host's render suites: pixel iteration at both depths, world copies, pixel formats.
#include "suites/RenderSuites.h"

#include "core/Host.h"
#include "core/HostCallback.h"
#include "core/WorkerPool.h"
#include "suites/PixelIteration.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvelle {

namespace {

/// Bytes per pixel of a world: known exactly for worlds lent to the running render, otherwise
/// read from the deep flag as a production host does.
std::size_t PixelSize(const Host* host, const PF_EffectWorld& world) {
    if (const PixelLayout* layout = host ? host->LayoutOf(&world) : nullptr) {
        return BytesPerPixel(*layout);
    }
    return (world.world_flags & PF_WorldFlag_DEEP) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel);
}

/// A world whose rows can be walked: the module may hand back anything.
bool Walkable(const PF_EffectWorld& world, std::size_t pixelSize) {
    if (world.width < 0 || world.height < 0) {
        return false;
    }
    if (world.width == 0 || world.height == 0) {
        return true;
    }
    return world.data && world.rowbytes >= 0 &&
           static_cast<std::size_t>(world.rowbytes) >= static_cast<std::size_t>(world.width) * pixelSize;
}

/// Spreads the area's rows over the host's threads in contiguous bands; the lowest band's
/// error is the first error in row order, so the result does not depend on timing.
template <class Pixel, class PixelFunc>
PF_Err IterateRows(const Host* host, PF_EffectWorld* src, const PF_Rect* area, void* refcon, PixelFunc pix_fn,
                   PF_EffectWorld* dst) {
    if (!dst || !pix_fn || PixelSize(host, *dst) != sizeof(Pixel) || !Walkable(*dst, sizeof(Pixel))) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (src && (PixelSize(host, *src) != sizeof(Pixel) || !Walkable(*src, sizeof(Pixel)))) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_LRect r = area ? *area : PF_LRect{0, 0, dst->width, dst->height};
    r.left = std::clamp(r.left, 0, dst->width);
    r.right = std::clamp(r.right, r.left, dst->width);
    r.top = std::clamp(r.top, 0, dst->height);
    r.bottom = std::clamp(r.bottom, r.top, dst->height);
    const A_long rows = r.bottom - r.top;
    if (rows == 0 || r.right == r.left) {
        return PF_Err_NONE;
    }
    const A_long bands = std::min<A_long>(rows, static_cast<A_long>(host ? host->IterationThreads() : 1));
    std::vector<PF_Err> errors(static_cast<std::size_t>(bands), PF_Err_NONE);
    struct Bands {
        PF_EffectWorld* src;
        const PF_LRect& r;
        A_long rows;
        A_long bands;
        void* refcon;
        PixelFunc pix_fn;
        const PF_EffectWorld& dst;
        std::vector<PF_Err>& errors;
    } job{src, r, rows, bands, refcon, pix_fn, *dst, errors};
    WorkerPool::Shared().Run(
        static_cast<unsigned>(bands),
        [](void* context, unsigned part) {
            const Bands& b = *static_cast<const Bands*>(context);
            const A_long band = static_cast<A_long>(part);
            const A_long y0 = b.r.top + static_cast<A_long>(static_cast<int64_t>(b.rows) * band / b.bands);
            const A_long y1 =
                b.r.top + static_cast<A_long>(static_cast<int64_t>(b.rows) * (band + 1) / b.bands);
            b.errors[part] = IterateBand<Pixel>(b.src, b.r, y0, y1, b.refcon, b.pix_fn, b.dst);
        },
        &job);
    for (const PF_Err err : errors) {
        if (err) {
            return err;
        }
    }
    return PF_Err_NONE;
}

nlohmann::json DescribeIteration(A_long progress_base, A_long progress_final, const PF_Rect* area) {
    nlohmann::json args{{"progress_base", progress_base}, {"progress_final", progress_final}};
    args["area"] = area ? nlohmann::json{area->left, area->top, area->right, area->bottom} : nlohmann::json();
    return args;
}

template <class Pixel, class PixelFunc>
PF_Err Iterate(const char* suite, PF_InData* in_data, A_long progress_base, A_long progress_final,
               PF_EffectWorld* src, const PF_Rect* area, void* refcon, PixelFunc pix_fn,
               PF_EffectWorld* dst) {
    return ServeHostCall(
        suite, 1, "iterate", DescribeIteration(progress_base, progress_final, area),
        [&](const Host&) { return in_data ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM; },
        [&](Host& host, nlohmann::json&) {
            return IterateRows<Pixel>(&host, src, area, refcon, pix_fn, dst);
        });
}

PF_Err Iterate8(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst) {
    return Iterate<PF_Pixel>(kPFIterate8Suite, in_data, progress_base, progress_final, src, area, refcon,
                             pix_fn, dst);
}

PF_Err Iterate16(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                 const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst) {
    return Iterate<PF_Pixel16>(kPFIterate16Suite, in_data, progress_base, progress_final, src, area, refcon,
                               pix_fn, dst);
}

PF_Err TransformCopy(const char* function, PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                     PF_Rect* src_r, PF_Rect* dst_r) {
    return ServeHostCall(
        kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1, function,
        {{"src_r", src_r != nullptr}, {"dst_r", dst_r != nullptr}},
        [&](const Host& host) {
            return effect_ref == host.EffectRef() ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
        },
        [&](Host& host, nlohmann::json&) { return CopyWorld(&host, src, dst, src_r, dst_r); });
}

PF_Err Copy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r) {
    return TransformCopy("copy", effect_ref, src, dst, src_r, dst_r);
}

PF_Err CopyHQ(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
              PF_Rect* dst_r) {
    return TransformCopy("copy_hq", effect_ref, src, dst, src_r, dst_r);
}

template <class Body>
PF_Err PixelFormatCall(const char* function, nlohmann::json args, Body&& body) {
    return ServeHostCall(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, function, std::move(args),
                         std::forward<Body>(body));
}

PF_Err AddSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat pixel_format) {
    return PixelFormatCall(
        "AddSupportedPixelFormat", {{"format", pixel_format}},
        [&](Host& host, nlohmann::json&) { return host.AddSupportedPixelFormat(effect_ref, pixel_format); });
}

PF_Err ClearSupportedPixelFormats(PF_ProgPtr effect_ref) {
    return PixelFormatCall(
        "ClearSupportedPixelFormats", nlohmann::json::object(),
        [&](Host& host, nlohmann::json&) { return host.ClearSupportedPixelFormats(effect_ref); });
}

PF_Err GetPixelFormat(PF_EffectWorld* worldP, PrPixelFormat* pixel_formatP) {
    return PixelFormatCall("GetPixelFormat", nlohmann::json::object(), [&](Host& host, nlohmann::json& args) {
        const PF_Err err = host.PixelFormatOf(worldP, pixel_formatP);
        if (!err) {
            args["format"] = *pixel_formatP;
        }
        return err;
    });
}

constexpr PF_Iterate8Suite1 kIterate8Suite{Iterate8};
constexpr PF_iterate16Suite1 kIterate16Suite{Iterate16};
constexpr PF_WorldTransformSuite1 kWorldTransformSuite{Copy, CopyHQ};
constexpr PF_PixelFormatSuite1 kPixelFormatSuite{AddSupportedPixelFormat, ClearSupportedPixelFormats,
                                                 GetPixelFormat};

}   // namespace

void RegisterRenderSuites(SuiteRegistry& suites) {
    suites.Add(kPFIterate8Suite, kPFIterate8SuiteVersion1, &kIterate8Suite);
    suites.Add(kPFIterate16Suite, kPFIterate16SuiteVersion1, &kIterate16Suite);
    suites.Add(kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1, &kWorldTransformSuite);
    suites.Add(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, &kPixelFormatSuite);
}

PF_Err CopyWorld(const Host* host, const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* src_r,
                 const PF_Rect* dst_r) {
    if (!src || !dst || src_r || dst_r) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::size_t pixelSize = PixelSize(host, *dst);
    if (PixelSize(host, *src) != pixelSize || !Walkable(*src, pixelSize) || !Walkable(*dst, pixelSize)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(dst->width) * pixelSize;
    const std::size_t commonBytes = static_cast<std::size_t>(std::min(src->width, dst->width)) * pixelSize;
    for (A_long y = 0; y < dst->height; ++y) {
        char* out = reinterpret_cast<char*>(PixelAddress<PF_Pixel>(*dst, 0, y));
        std::size_t copied = 0;
        // A world without pixel bytes may have no storage, and memmove and memset must not
        // see null even for zero bytes.
        if (y < src->height && commonBytes > 0) {
            std::memmove(out, PixelAddress<PF_Pixel>(*src, 0, y), commonBytes);
            copied = commonBytes;
        }
        if (rowBytes > copied) {
            std::memset(out + copied, 0, rowBytes - copied);
        }
    }
    return PF_Err_NONE;
}

}   // namespace corvelle
