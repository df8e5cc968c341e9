// The shape mask of a whole frame, worked out row by row before the host's iteration starts,
// so that each pixel function reads its mask instead of computing it.
#pragma once

#include "KT_Corvelle.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvelle_mask {

/// What a pixel function reads of a plane, held by value in the render's record so that a
/// lookup costs no indirection through the plane itself. An empty view covers no pixel.
struct MaskPlaneView {
    const float* values = nullptr;
    const std::size_t* rowStart = nullptr;
    const std::uint32_t* column = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool Covers(A_long x, A_long y) const { return (std::uint32_t)x < width && (std::uint32_t)y < height; }
    float At(A_long x, A_long y) const { return values[rowStart[(std::size_t)y] + column[(std::size_t)x]]; }
};

/// The exact mask of every pixel of one render's output, bit for bit what MaskAt gives. It
/// lives for one render and is only read while the host iterates.
class MaskPlane {
public:
    /// More masks than this and the render keeps to the per-pixel path (64 MB of floats).
    static constexpr std::size_t kMaxValues = std::size_t{1} << 24;

    /// Works out the masks of a width × height output. False, with the plane left empty, where
    /// the per-pixel path is the better one: a rectangle, an ellipse without feather, a frame
    /// past kMaxValues, or no memory to be had.
    bool Build(const CorvelleInfo& info, A_long width, A_long height);

    bool Empty() const { return m_values.empty(); }
    bool Covers(A_long x, A_long y) const {
        return (std::uint32_t)x < (std::uint32_t)m_width && (std::uint32_t)y < (std::uint32_t)m_height;
    }
    /// The mask of pixel (x, y); Covers(x, y) must hold.
    float At(A_long x, A_long y) const {
        return m_values[m_rowStart[(std::size_t)y] + m_column[(std::size_t)x]];
    }
    /// The plane for the pixel functions; valid while the plane lives and is not rebuilt.
    MaskPlaneView View() const {
        if (m_values.empty()) {
            return MaskPlaneView{};
        }
        return MaskPlaneView{m_values.data(), m_rowStart.data(), m_column.data(), (std::uint32_t)m_width,
                             (std::uint32_t)m_height};
    }
    /// How many masks were worked out (pixels whose shape coordinates repeat share one).
    std::size_t ValueCount() const { return m_values.size(); }

private:
    bool BuildSeparable(const CorvelleInfo& info);
    void BuildFull(const CorvelleInfo& info);

    A_long m_width = 0;
    A_long m_height = 0;
    std::vector<float> m_values;
    std::vector<std::size_t> m_rowStart;   // per output row, where its masks begin
    std::vector<std::uint32_t> m_column;   // per output column, its place within a row
};

/// The ellipse's masks at n points (u[i], v[i]) of shape space, one at a time with
/// EllipseMask: the reference for the packed version.
void EllipseMaskSpanScalar(const CorvelleInfo* info, const float* u, const float* v, std::size_t n,
                           float* out);

/// True when this processor and its operating system run AVX2 code.
bool HasAvx2();

/// The same masks eight points at a time; only where HasAvx2() holds.
void EllipseMaskSpanAvx2(const CorvelleInfo* info, const float* u, const float* v, std::size_t n, float* out);

}   // namespace corvelle_mask
