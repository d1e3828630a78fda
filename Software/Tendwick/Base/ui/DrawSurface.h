// An off-screen picture buffer of the client's size on DirectDraw. Counted:
// the last Release frees it, and the last surface of the process frees the
// display device that all of them share.
#pragma once

#include <windows.h>

#include <cstdint>

struct IDirectDraw7;
struct IDirectDrawSurface7;

class CDrawSurface {
public:
    // A surface of width x height at bitsPerPixel (8, 16, 24 or 32), in video
    // memory only when asked and the display's depth matches; nullptr when the
    // device or the surface cannot be made.
    static CDrawSurface* Create(int width, int height, int bitsPerPixel, bool videoMemory);

    // Fills the whole surface with a 5-6-5 colour.
    bool Fill(uint16_t colour565);
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    void AddRef() { ++m_nRefs; }
    // Drops one reference; the last one deletes the surface.
    void Release();

private:
    CDrawSurface() = default;
    ~CDrawSurface();

    struct Channel {
        uint32_t mask;
        int shift;
        double scale;   // 255 / the channel's maximum
    };

    IDirectDrawSurface7* m_pSurface = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0;
    Channel m_red = {}, m_green = {}, m_blue = {};
    long m_nRefs = 1;
};
