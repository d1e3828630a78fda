// The maintenance window's layout on screens of known size, built from the
// widgets alone with a screen configuration of the test's own: each soft-key
// caption sits on its key face beside its bezel key, and the message lines
// keep clear of the key column.
#include "MaintWnd.h"
#include "ScreenConfig.h"
#include "SoftKeyBar.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

const int kKeys = 5;

// A screen as a unit's shell describes it: its rectangle and the centres of
// the bezel keys on its right-hand side.
struct KnownScreen {
    const char* name;
    RECT screen;
    int bezelCentres[kKeys];
};

const KnownScreen kScreens[] = {
    {"640x480", {0, 0, 640, 480}, {60, 150, 240, 330, 420}},
    {"800x600", {0, 0, 800, 600}, {100, 190, 280, 370, 460}},
    {"608x350 offset", {17, 0, 625, 350}, {40, 100, 160, 220, 280}},
};

void PrintTo(const KnownScreen& known, std::ostream* out)
{
    *out << known.name;
}

class KnownScreenConfig : public CScreenConfig {
public:
    explicit KnownScreenConfig(const KnownScreen& known) : m_known(known) {}
    int GetSoftKeyTop() override { return m_known.bezelCentres[0]; }
    int GetSoftKeyBottomMargin() override
    {
        return m_known.screen.bottom - m_known.screen.top - m_known.bezelCentres[kKeys - 1];
    }
    int GetSoftKeyCount() override { return kKeys; }
    void GetScreenRect(RECT& rect) override { rect = m_known.screen; }
    void GetSoftKeySize(SIZE& size) override { size = SIZE{0, 0}; }

private:
    const KnownScreen& m_known;
};

// Opens up what the layout checks need.
class ProbeWnd : public CMaintWnd {
public:
    using CMaintWnd::CMaintWnd;
    using CMaintWnd::SetSoftKeyCaption;
    CSoftKeyBar* Bar() const { return m_pSoftKeyBar; }
    std::vector<HWND> Lines() const { return {m_label1.m_hWnd, m_label2.m_hWnd, m_label3.m_hWnd, m_label4.m_hWnd}; }
};

// The window's soft keys drawn on black, as 32-bit pixels.
std::vector<uint32_t> Picture(ProbeWnd& window, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screenDc = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screenDc);
    ::ReleaseDC(nullptr, screenDc);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint32_t> pixels;
    if (dc && bitmap && bits) {
        HGDIOBJ old = ::SelectObject(dc, bitmap);
        RECT all = {0, 0, width, height};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        window.DrawContent(dc);
        ::GdiFlush();
        const uint32_t* p = static_cast<const uint32_t*>(bits);
        pixels.assign(p, p + static_cast<size_t>(width) * height);
        ::SelectObject(dc, old);
    }
    if (bitmap) ::DeleteObject(bitmap);
    if (dc) ::DeleteDC(dc);
    return pixels;
}

class MaintWndLayout : public ::testing::TestWithParam<KnownScreen> {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        ASSERT_TRUE(CWnd::RegisterClass("MaintWndLayoutTest", 0, ::LoadCursor(nullptr, IDC_ARROW), nullptr, nullptr));
    }
};

TEST_P(MaintWndLayout, CaptionsSitBesideTheirBezelKeysAndLinesClearTheColumn)
{
    const KnownScreen& known = GetParam();
    KnownScreenConfig config(known);
    ProbeWnd window(&config);
    ASSERT_TRUE(window.CreateEx(0, "MaintWndLayoutTest", "layout", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                nullptr, nullptr));

    // The client area is the configured screen.
    RECT client = {};
    window.GetClientRect(&client);
    const int width = client.right, height = client.bottom;
    EXPECT_EQ(known.screen.right - known.screen.left, width);
    EXPECT_EQ(known.screen.bottom - known.screen.top, height);

    CSoftKeyBar* bar = window.Bar();
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(kKeys, bar->GetKeyCount());
    const int faceW = bar->GetBitmapWidth(), faceH = bar->GetBitmapHeight();
    ASSERT_GT(faceW, 0) << "key faces not loaded";
    EXPECT_EQ(width, bar->GetLeftX() + faceW) << "the column lies flush with the right edge";

    // Caption ink: the picture with the captions less the one with blank
    // captions (the faces stay, the texts go).
    std::vector<uint32_t> withText = Picture(window, width, height);
    for (int number = 1; number <= kKeys; ++number) window.SetSoftKeyCaption(number, " ");
    std::vector<uint32_t> blank = Picture(window, width, height);
    ASSERT_EQ(withText.size(), blank.size());
    ASSERT_FALSE(withText.empty());

    const int captioned[] = {0, 3};   // "Proceed" and "Cancel"
    for (int index : captioned) {
        const int centre = known.bezelCentres[index];
        int top = height, bottom = -1, left = width, right = -1, outside = 0;
        for (int y = 0; y < height; ++y) {
            // Rows nearer this key than either neighbour belong to it.
            if ((index > 0 && 2 * y <= centre + known.bezelCentres[index - 1]) ||
                (index < kKeys - 1 && 2 * y >= centre + known.bezelCentres[index + 1]))
                continue;
            for (int x = 0; x < width; ++x) {
                if (withText[static_cast<size_t>(y) * width + x] == blank[static_cast<size_t>(y) * width + x])
                    continue;
                top = y < top ? y : top;
                bottom = y > bottom ? y : bottom;
                left = x < left ? x : left;
                right = x > right ? x : right;
                if (x < bar->GetLeftX() || y < centre - faceH / 2 || y >= centre - faceH / 2 + faceH) ++outside;
            }
        }
        SCOPED_TRACE(index);
        ASSERT_GE(bottom, top) << "no caption drawn";
        EXPECT_EQ(0, outside) << "caption ink off its key face";
        EXPECT_NEAR(centre, (top + bottom) / 2, 3) << "caption not beside its bezel key";
        EXPECT_NEAR(bar->GetLeftX() + faceW / 2, (left + right) / 2, 3);
    }

    // The message lines lie inside the client and left of the key faces.
    for (HWND line : window.Lines()) {
        ASSERT_NE(nullptr, line);
        RECT rect = {};
        ::GetWindowRect(line, &rect);
        ::MapWindowPoints(nullptr, window.m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_GE(rect.left, 0);
        EXPECT_LE(rect.right, bar->GetLeftX());
    }
    window.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(KnownScreens, MaintWndLayout, ::testing::ValuesIn(kScreens),
                         [](const ::testing::TestParamInfo<KnownScreen>& info) {
                             return std::to_string(info.index);
                         });

} // namespace
