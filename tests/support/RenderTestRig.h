// A loaded module and one headless-host instance of the effect, with the parameter settings
// and pixel access the render tests share.
#pragma once

#include "BlendingModes.h"
#include "core/Host.h"
#include "KT_Corvelle.h"
#include "core/ModuleLibrary.h"
#include "core/World.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace corvelle::test {

inline PF_Fixed Fixed(double v) {
    return (PF_Fixed)std::lround(v * 65536.0);
}

/// The effect in one host, set up as a host does before its first render.
class RenderRig {
public:
    explicit RenderRig(HostApp app, HostSettings settings = {}) : m_module(CORVELLE_MODULE_PATH) {
        settings.app = app;
        m_host = std::make_unique<Host>(m_module.Entry(), settings);
        m_host->GlobalSetup();
        m_host->ParamsSetup();
    }

    Host& host() { return *m_host; }

    RenderRig& Popup(int index, A_long value) {
        m_host->ChangeParam(index, [&](PF_ParamDef& d) { d.u.pd.value = value; });
        return *this;
    }
    RenderRig& Slider(int index, double value) {
        m_host->ChangeParam(index, [&](PF_ParamDef& d) { d.u.fs_d.value = value; });
        return *this;
    }
    RenderRig& Checkbox(int index, bool on) {
        m_host->ChangeParam(index, [&](PF_ParamDef& d) { d.u.bd.value = on ? 1 : 0; });
        return *this;
    }
    RenderRig& Origin(double x, double y) {
        m_host->ChangeParam(PARAM_ORIGIN, [&](PF_ParamDef& d) {
            d.u.td.x_value = Fixed(x);
            d.u.td.y_value = Fixed(y);
        });
        return *this;
    }
    RenderRig& Angle(double degrees) {
        m_host->ChangeParam(PARAM_ANGLE, [&](PF_ParamDef& d) { d.u.ad.value = Fixed(degrees); });
        return *this;
    }
    RenderRig& Opacity(double percent) {
        m_host->ChangeParam(PARAM_OPACITY, [&](PF_ParamDef& d) { d.u.fd.value = Fixed(percent); });
        return *this;
    }
    RenderRig& Color(A_u_char red, A_u_char green, A_u_char blue) {
        m_host->ChangeParam(PARAM_COLOR, [&](PF_ParamDef& d) {
            d.u.cd.value = PF_Pixel{255, red, green, blue};
        });
        return *this;
    }
    /// Shape, size and feather in one go.
    RenderRig& Shape(A_long shape, double width, double height, double feather) {
        Popup(PARAM_SHAPE, shape);
        Slider(PARAM_WIDTH, width);
        Slider(PARAM_HEIGHT, height);
        return Slider(PARAM_FEATHER, feather);
    }

    PF_Err Render(World& input, World& output) { return m_host->Render(input, output); }

private:
    ModuleLibrary m_module;
    std::unique_ptr<Host> m_host;
};

/// A float BGRA pixel in the order the effect's pixel record uses.
inline PF_PixelFloat GetFloat(const World& world, A_long x, A_long y) {
    float bgra[4];
    std::memcpy(bgra, world.PixelAt(x, y), sizeof bgra);
    return PF_PixelFloat{bgra[3], bgra[2], bgra[1], bgra[0]};
}

inline void SetFloat(World& world, A_long x, A_long y, PF_PixelFloat p) {
    const float bgra[4] = {p.blue, p.green, p.red, p.alpha};
    std::memcpy(world.PixelAt(x, y), bgra, sizeof bgra);
}

inline void FillFloat(World& world, PF_PixelFloat p) {
    for (A_long y = 0; y < world.Height(); ++y) {
        for (A_long x = 0; x < world.Width(); ++x) {
            SetFloat(world, x, y, p);
        }
    }
}

/// Gives every channel byte a value that tells where it came from; 16-bit channels stay
/// within 0 to 32768 and float channels run beyond 0 to 1 in both directions.
inline void FillPattern(World& world) {
    for (A_long y = 0; y < world.Height(); ++y) {
        for (A_long x = 0; x < world.Width(); ++x) {
            uint8_t* p = world.PixelAt(x, y);
            for (int c = 0; c < 4; ++c) {
                const int seed = x * 7 + y * 13 + c * 61;
                switch (world.Layout()) {
                case PixelLayout::Argb8:
                case PixelLayout::Bgra8: p[c] = (uint8_t)(seed * 37 + 11); break;
                case PixelLayout::Argb16: {
                    const uint16_t v = (uint16_t)((seed * 977 + 5) % 32769);
                    std::memcpy(p + 2 * c, &v, sizeof v);
                    break;
                }
                case PixelLayout::BgraFloat: {
                    const float v = (float)(seed % 23) * 0.125f - 0.75f;
                    std::memcpy(p + 4 * c, &v, sizeof v);
                    break;
                }
                }
            }
        }
    }
}

}   // namespace corvelle::test
