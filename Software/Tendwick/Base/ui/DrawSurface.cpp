#include "DrawSurface.h"

#include <ddraw.h>

#include <cmath>

namespace {

// The one display device of the process, shared by every surface and
// released with the last of them. The user interface has one thread, so
// plain counts do.
struct SharedDevice {
    IDirectDraw7* pDevice = nullptr;
    int nSurfaces = 0;
    DWORD dwDisplayBits = 0;
};
SharedDevice g_device;

template <class T>
void ReleaseCom(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

IDirectDraw7* CreateDevice(GUID* guid)
{
    void* device = nullptr;
    if (FAILED(DirectDrawCreateEx(guid, &device, IID_IDirectDraw7, nullptr))) return nullptr;
    return static_cast<IDirectDraw7*>(device);
}

// Keeps the first device other than the primary (which comes with a null
// GUID) whose hardware can blit.
BOOL CALLBACK FindBlitDevice(GUID* guid, LPSTR, LPSTR, LPVOID context, HMONITOR)
{
    if (!guid) return TRUE;
    IDirectDraw7* device = CreateDevice(guid);
    if (!device) return TRUE;
    DDCAPS caps = {};
    caps.dwSize = sizeof(caps);
    if (SUCCEEDED(device->GetCaps(&caps, nullptr)) && (caps.dwCaps & DDCAPS_BLT)) {
        *static_cast<IDirectDraw7**>(context) = device;
        return FALSE;
    }
    device->Release();
    return TRUE;
}

// The shared device, made on first use.
IDirectDraw7* AcquireDevice()
{
    if (g_device.pDevice) return g_device.pDevice;

    IDirectDraw7* device = nullptr;
    DirectDrawEnumerateExA(FindBlitDevice, &device, DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES);
    if (!device) device = CreateDevice(nullptr);
    if (!device) return nullptr;

    DDSURFACEDESC2 mode = {};
    mode.dwSize = sizeof(mode);
    g_device.dwDisplayBits = SUCCEEDED(device->GetDisplayMode(&mode)) ? mode.ddpfPixelFormat.dwRGBBitCount : 0;

    // A window of the desktop among others: no exclusive mode.
    if (FAILED(device->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
        device->Release();
        return nullptr;
    }
    g_device.pDevice = device;
    return device;
}

// Called when a surface goes, or could not be made: the device goes with the
// last surface.
void DropDeviceIfUnused()
{
    if (g_device.nSurfaces == 0) ReleaseCom(g_device.pDevice);
}

bool SetMasks(DDPIXELFORMAT& format, int bitsPerPixel)
{
    format.dwSize = sizeof(format);
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = static_cast<DWORD>(bitsPerPixel);
    switch (bitsPerPixel) {
    case 8:
        format.dwFlags |= DDPF_PALETTEINDEXED8;
        return true;
    case 16:
        format.dwRBitMask = 0xF800;
        format.dwGBitMask = 0x07E0;
        format.dwBBitMask = 0x001F;
        return true;
    case 24:
    case 32:
        format.dwRBitMask = 0xFF0000;
        format.dwGBitMask = 0x00FF00;
        format.dwBBitMask = 0x0000FF;
        return true;
    default:
        return false;
    }
}

int LowestSetBit(uint32_t mask)
{
    int shift = 0;
    while (shift < 32 && !(mask & (1u << shift))) ++shift;
    return shift;
}

// A 0..255 intensity placed in a channel.
uint32_t PlaceIntensity(double intensity, uint32_t mask, int shift, double scale)
{
    if (!mask) return 0;
    uint32_t value = static_cast<uint32_t>(std::lround(intensity / scale));
    return (value << shift) & mask;
}

} // namespace

CDrawSurface* CDrawSurface::Create(int width, int height, int bitsPerPixel, bool videoMemory)
{
    if (width <= 0 || height <= 0) return nullptr;
    DDPIXELFORMAT format = {};
    if (!SetMasks(format, bitsPerPixel)) return nullptr;

    IDirectDraw7* device = AcquireDevice();
    if (!device) return nullptr;

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddpfPixelFormat = format;
    // Video memory only where the display has the same depth: a blit across
    // depths would have to convert anyway.
    bool inVideo = videoMemory && g_device.dwDisplayBits == static_cast<DWORD>(bitsPerPixel);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (inVideo ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);

    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = device->CreateSurface(&desc, &surface, nullptr);
    if (FAILED(hr) && inVideo) {
        // Video memory is a wish: system memory serves as well.
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        hr = device->CreateSurface(&desc, &surface, nullptr);
    }
    if (FAILED(hr) || !surface) {
        DropDeviceIfUnused();
        return nullptr;
    }

    CDrawSurface* result = new CDrawSurface;
    ++g_device.nSurfaces;
    result->m_pSurface = surface;
    result->m_nWidth = width;
    result->m_nHeight = height;
    result->m_nBitsPerPixel = bitsPerPixel;
    Channel* channels[3] = {&result->m_red, &result->m_green, &result->m_blue};
    const uint32_t masks[3] = {format.dwRBitMask, format.dwGBitMask, format.dwBBitMask};
    for (int i = 0; i < 3; ++i) {
        channels[i]->mask = masks[i];
        channels[i]->shift = LowestSetBit(masks[i]);
        uint32_t maximum = masks[i] ? masks[i] >> channels[i]->shift : 0;
        channels[i]->scale = maximum ? 255.0 / maximum : 1.0;
    }
    return result;
}

CDrawSurface::~CDrawSurface()
{
    if (m_pSurface) {
        m_pSurface->Release();
        m_pSurface = nullptr;
        --g_device.nSurfaces;
        DropDeviceIfUnused();
    }
}

bool CDrawSurface::Fill(uint16_t colour565)
{
    if (!m_pSurface) return false;

    uint32_t fill;
    if (m_nBitsPerPixel == 8) {
        // Palette-indexed: the colour is taken as an index.
        fill = colour565 & 0xFF;
    } else {
        double red = ((colour565 >> 11) & 0x1F) * 255.0 / 31.0;
        double green = ((colour565 >> 5) & 0x3F) * 255.0 / 63.0;
        double blue = (colour565 & 0x1F) * 255.0 / 31.0;
        fill = PlaceIntensity(red, m_red.mask, m_red.shift, m_red.scale) |
               PlaceIntensity(green, m_green.mask, m_green.shift, m_green.scale) |
               PlaceIntensity(blue, m_blue.mask, m_blue.shift, m_blue.scale);
    }

    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = fill;
    return SUCCEEDED(m_pSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

void CDrawSurface::Release()
{
    if (--m_nRefs == 0) delete this;
}
