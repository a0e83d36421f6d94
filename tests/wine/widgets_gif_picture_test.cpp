// The animated picture control on a real static control on the test display: resource 204
// played with its delays, disposal, the colours of unpainted parts, stills, frames that do not
// decode, reloading, clicks, and a thread that outlives its stop.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/wine/support.h"
#include "widgets/gif_parser.h"
#include "widgets/gif_picture_ctrl_win.h"

using tavrin::CGifPictureCtrl;
using tavrin::GifPictureFrame;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kGreen = RGB(0, 255, 0);

// ---- GIFs for the tests -------------------------------------------------------------------
// Four colours: red, blue, green, black. The image data is valid LZW without compression:
// every pixel a literal code of 3 bits, and a clear code before the table would widen them.
Bytes Lzw(size_t pixels, uint8_t index) {
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    auto emit = [&](uint32_t code) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            out.push_back(uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    for (size_t i = 0; i < pixels; ++i) {
        if (i % 2 == 0) emit(4);  // clear
        emit(index);
    }
    emit(5);  // end of information
    if (count) out.push_back(uint8_t(bits));
    return out;
}

struct GifMaker {
    Bytes data;
    GifMaker(int width, int height) {
        data = {'G', 'I', 'F', '8', '9', 'a', uint8_t(width), uint8_t(width >> 8),
                uint8_t(height), uint8_t(height >> 8), 0xF1, 0, 0,
                255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 0};
    }
    // A solid frame of colour index `index`; delay < 0: no control extension.
    GifMaker& Frame(int x, int y, int w, int h, uint8_t index, int delay, int disposal,
                    bool corrupt = false) {
        if (delay >= 0) {
            const Bytes control = {0x21, 0xF9, 4, uint8_t(disposal << 2), uint8_t(delay),
                                   uint8_t(delay >> 8), 0, 0};
            data.insert(data.end(), control.begin(), control.end());
        }
        const Bytes descriptor = {0x2C, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8),
                                  uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0};
        data.insert(data.end(), descriptor.begin(), descriptor.end());
        // Image data that ends before its first pixel does not decode.
        data.push_back(2);
        Bytes lzw = Lzw(corrupt ? 0 : size_t(w) * h, index);
        for (size_t i = 0; i < lzw.size(); i += 255) {
            const size_t n = std::min<size_t>(255, lzw.size() - i);
            data.push_back(uint8_t(n));
            data.insert(data.end(), lzw.begin() + i, lzw.begin() + i + n);
        }
        data.push_back(0);
        return *this;
    }
    Bytes Done() {
        Bytes b = data;
        b.push_back(0x3B);
        return b;
    }
};

// A 24-bit bottom-up BMP of one colour.
Bytes Bitmap(int width, int height, COLORREF color) {
    const int stride = (width * 3 + 3) & ~3;
    const uint32_t size = 54 + uint32_t(stride) * height;
    Bytes b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &b[54 + size_t(y) * stride + x * 3];
            px[0] = GetBValue(color);
            px[1] = GetGValue(color);
            px[2] = GetRValue(color);
        }
    return b;
}

// ---- A picture whose drawing the test controls --------------------------------------------
class FakePicture : public IPicture {
public:
    explicit FakePicture(int width, int height) : m_width(width), m_height(height) {
        m_release = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
        m_entered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    virtual ~FakePicture() {
        ::CloseHandle(m_release);
        ::CloseHandle(m_entered);
    }

    // Render waits for Release() of the test before it draws.
    void Block() { ::ResetEvent(m_release); }
    void Unblock() { ::SetEvent(m_release); }
    bool WaitEntered(DWORD ms) { return ::WaitForSingleObject(m_entered, ms) == WAIT_OBJECT_0; }

    std::atomic<LONG> refs{1};
    std::atomic<int> renders{0};
    std::atomic<bool> faults{false};  // drawn on after the control freed what it uses
    std::mutex lock;
    std::set<DWORD> threads;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPicture)) {
            *out = static_cast<IPicture*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }  // lives on the stack
    HRESULT STDMETHODCALLTYPE get_Handle(OLE_HANDLE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_hPal(OLE_HANDLE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Type(SHORT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Width(OLE_XSIZE_HIMETRIC* w) override {
        *w = m_width * 2540 / 96;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Height(OLE_YSIZE_HIMETRIC* h) override {
        *h = m_height * 2540 / 96;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Render(HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC,
                                     OLE_YPOS_HIMETRIC, OLE_XSIZE_HIMETRIC, OLE_YSIZE_HIMETRIC,
                                     LPCRECT) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            threads.insert(::GetCurrentThreadId());
        }
        ::SetEvent(m_entered);
        ::WaitForSingleObject(m_release, INFINITE);
        // The back buffer must still be a memory DC holding its bitmap, and this picture
        // must still be referenced by the one drawing it.
        HGDIOBJ bitmap = ::GetCurrentObject(dc, OBJ_BITMAP);
        BITMAP info = {};
        if (refs.load() <= 0 || ::GetObjectType(dc) != OBJ_MEMDC ||
            ::GetObjectW(bitmap, sizeof(info), &info) != sizeof(info) || info.bmWidth < 2)
            faults = true;
        RECT rc{x, y, x + cx, y + cy};
        ::FillRect(dc, &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ++renders;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE set_hPal(OLE_HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CurDC(HDC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectPicture(HDC, HDC*, OLE_HANDLE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_KeepOriginalFormat(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_KeepOriginalFormat(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PictureChanged() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveAsFile(IStream*, BOOL, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Attributes(DWORD*) override { return E_NOTIMPL; }

private:
    int m_width, m_height;
    HANDLE m_release, m_entered;
};

// ---- The control on the display -----------------------------------------------------------
COLORREF PixelAt(HWND hwnd, int x, int y) {
    win::WindowDc dc(hwnd);
    return ::GetPixel(dc.get(), x, y) & 0xFFFFFF;
}

class GifPictureTest : public ::testing::Test {
protected:
    // One host for the suite: without a window manager, Wine waits up to 2 s for a top-level
    // window to be unmapped when it is destroyed.
    static void SetUpTestSuite() {
        m_host = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 30, 30,
                                  300, 120, nullptr, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { ::DestroyWindow(m_host); }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_ole.result()));
        ASSERT_TRUE(m_host);
        HWND stat = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BLACKRECT,
                                      10, 10, 81, 28, m_host, HMENU(205), nullptr, nullptr);
        ASSERT_TRUE(stat);
        ASSERT_TRUE(m_ctrl.SubclassWindow(stat));
        m_module.attach(::LoadLibraryExW(wt::OcxPath().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module) << wt::Narrow(wt::OcxPath());
    }

    HWND Window() const { return m_ctrl.GetSafeHwnd(); }
    COLORREF Pixel(int x, int y) { return PixelAt(Window(), x, y); }
    // Pumps (so the control paints) until the pixel has this colour.
    bool WaitForPixel(int x, int y, COLORREF c, DWORD ms = 3000) {
        return wt::PumpUntil([&] { return Pixel(x, y) == c; }, ms);
    }
    // Loads and waits until the fresh back buffer shows, so no check reads an older picture.
    BOOL Load(const Bytes& data) {
        win::GlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE, data.size()));
        {
            win::LockedGlobal lock(block.get());
            std::memcpy(lock.get(), data.data(), data.size());
        }
        const BOOL loaded = m_ctrl.LoadFromMemory(block.get(), DWORD(data.size()));
        if (loaded) WaitForPixel(0, 0, ::GetSysColor(COLOR_MENU));
        return loaded;
    }
    SIZE WindowSize() {
        RECT rc;
        ::GetWindowRect(Window(), &rc);
        return SIZE{rc.right - rc.left, rc.bottom - rc.top};
    }
    Bytes Resource204() {
        HRSRC found = ::FindResourceA(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF");
        if (!found) return {};
        const auto* p = static_cast<const uint8_t*>(
            ::LockResource(::LoadResource(m_module.get(), found)));
        return Bytes(p, p + ::SizeofResource(m_module.get(), found));
    }

    static HWND m_host;
    wt::OleInit m_ole;
    win::Library m_module;
    CGifPictureCtrl m_ctrl;  // its window goes with it
};

HWND GifPictureTest::m_host = nullptr;

TEST_F(GifPictureTest, Resource204Loads21FramesAndResizesTheControl) {
    ASSERT_TRUE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF"));
    EXPECT_TRUE(m_ctrl.IsGif());
    EXPECT_EQ(21u, m_ctrl.FrameCount());
    EXPECT_TRUE(m_ctrl.IsAnimated());
    EXPECT_EQ(145, WindowSize().cx);
    EXPECT_EQ(43, WindowSize().cy);
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), m_ctrl.BackgroundColor());
    // A missing resource fails before anything is released.
    EXPECT_FALSE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(999), "GIF"));
    EXPECT_EQ(21u, m_ctrl.FrameCount());
    m_ctrl.FreePicture();
    EXPECT_EQ(0xFFFFFFu, m_ctrl.BackgroundColor()) << "nothing loaded";
    EXPECT_EQ(0u, m_ctrl.FrameCount());
    EXPECT_FALSE(m_ctrl.IsPrepared());
}

// Each frame of resource 204 after the first places one stone; the time between two stones
// appearing is the delay of the earlier frame (0 counts as 100 ms), and after the last frame
// the animation starts again although the file carries a loop count.
TEST_F(GifPictureTest, PlaysResource204WithItsDelaysAndLoops) {
    const Bytes gif = Resource204();
    ASSERT_FALSE(gif.empty());
    tavrin::GifParser parser(gif.data(), gif.size());
    std::vector<tavrin::GifFrame> frames;
    tavrin::GifFrame f;
    while (parser.ExtractFrame(f)) frames.push_back(f);
    ASSERT_EQ(21u, frames.size());

    ASSERT_TRUE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF"));
    auto stone = [&](size_t k) {
        const COLORREF c = Pixel(frames[k].x + frames[k].width / 2,
                                 frames[k].y + frames[k].height / 2);
        return c == RGB(0, 0, 0) || c == RGB(255, 255, 255);
    };
    const COLORREF menu = ::GetSysColor(COLOR_MENU);
    ASSERT_TRUE(WaitForPixel(1, 1, menu)) << "the back buffer before the first frame";
    EXPECT_FALSE(m_ctrl.Play()) << "an animation answers FALSE";
    EXPECT_TRUE(m_ctrl.IsPlaying());
    std::vector<DWORD> shown(frames.size() + 1, 0);
    ASSERT_TRUE(wt::PumpUntil([&] { return Pixel(1, 1) != menu; }, 3000)) << "first frame";
    shown[0] = ::GetTickCount();
    for (size_t k = 1; k < frames.size(); ++k) {
        ASSERT_TRUE(wt::PumpUntil([&] { return stone(k); }, 3000)) << "frame " << k;
        shown[k] = ::GetTickCount();
    }
    ASSERT_TRUE(wt::PumpUntil([&] { return !stone(1); }, 3000)) << "the loop starts again";
    shown[frames.size()] = ::GetTickCount();
    for (size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE(k);
        const long expected = frames[k].delay < 5 ? 100 : long(frames[k].delay) * 10;
        const long measured = long(shown[k + 1] - shown[k]);
        EXPECT_GE(measured, expected - 25);
        EXPECT_LE(measured, expected + 250);
    }
    m_ctrl.StopAnimation();
    EXPECT_FALSE(m_ctrl.IsPlaying());
}

// Frame 0 covers the screen in red, frame 1 a blue rectangle with the disposal under test,
// frame 2 (no control extension) a green corner on which the animation then rests.
TEST_F(GifPictureTest, DisposalLeavesRestoresToBackgroundOrRestoresThePrevious) {
    struct Row {
        int disposal;
        COLORREF after;  // what frame 1's rectangle shows under frame 2
    } rows[] = {{1, kBlue}, {2, ::GetSysColor(COLOR_BTNFACE)}, {3, kRed}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.disposal);
        const Bytes gif = GifMaker(20, 10)
                              .Frame(0, 0, 20, 10, 0, 5, 1)
                              .Frame(5, 2, 6, 4, 1, 30, row.disposal)
                              .Frame(0, 0, 2, 2, 2, -1, 0)
                              .Done();
        ASSERT_TRUE(Load(gif));
        ASSERT_EQ(3u, m_ctrl.FrameCount());
        m_ctrl.Play();
        ASSERT_TRUE(WaitForPixel(7, 4, kBlue)) << "frame 1";
        ASSERT_TRUE(WaitForPixel(0, 0, kGreen)) << "frame 2";  // drawn after the disposal
        EXPECT_EQ(row.after, Pixel(7, 4));
        EXPECT_EQ(row.after, Pixel(10, 5));
        EXPECT_EQ(kRed, Pixel(15, 8)) << "outside frame 1";
        EXPECT_EQ(kRed, Pixel(4, 4));
        m_ctrl.FreePicture();
    }
}

// What no frame paints shows the menu colour until the first wrap-around, and the button face
// after it. The menu colour is changed for the test, so the two differ.
TEST_F(GifPictureTest, UnpaintedPartsShowTheMenuColourUntilTheFirstWrapAround) {
    const int index = COLOR_MENU;
    const COLORREF saved = ::GetSysColor(COLOR_MENU);
    const COLORREF menu = RGB(1, 130, 3);
    ASSERT_TRUE(::SetSysColors(1, &index, &menu));
    const Bytes gif = GifMaker(20, 10)
                          .Frame(0, 0, 10, 10, 0, 5, 1)
                          .Frame(0, 0, 1, 1, 1, 100, 1)
                          .Done();
    const bool loaded = Load(gif);
    ::SetSysColors(1, &index, &saved);
    ASSERT_TRUE(loaded);
    m_ctrl.Play();
    ASSERT_TRUE(WaitForPixel(5, 5, kRed));
    EXPECT_EQ(menu, Pixel(15, 5));
    ASSERT_TRUE(WaitForPixel(0, 0, kBlue)) << "frame 1";
    EXPECT_EQ(menu, Pixel(15, 5));
    ASSERT_TRUE(WaitForPixel(0, 0, kRed)) << "frame 0 again";
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), Pixel(15, 5));
}

TEST_F(GifPictureTest, SingleImageGifIsAStillDrawnOnceByPlay) {
    struct Row {
        const char* what;
        Bytes data;
    } rows[] = {
        {"with control extension", GifMaker(6, 4).Frame(0, 0, 6, 4, 0, 10, 1).Done()},
        {"without", GifMaker(6, 4).Frame(0, 0, 6, 4, 0, -1, 0).Done()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(Load(row.data));
        EXPECT_TRUE(m_ctrl.IsGif());
        EXPECT_FALSE(m_ctrl.IsAnimated());
        EXPECT_EQ(6, WindowSize().cx) << "the logical screen's size";
        EXPECT_EQ(4, WindowSize().cy);
        EXPECT_TRUE(m_ctrl.Play());
        EXPECT_FALSE(m_ctrl.IsPlaying());
        EXPECT_TRUE(WaitForPixel(3, 2, kRed));
    }
}

TEST_F(GifPictureTest, OtherFormatsGoWholeThroughThePictureLoader) {
    ASSERT_TRUE(Load(Bitmap(12, 8, kGreen)));
    EXPECT_FALSE(m_ctrl.IsGif());
    EXPECT_FALSE(m_ctrl.IsAnimated());
    // Sized from the picture's HIMETRIC extent at the display's resolution.
    EXPECT_EQ(12, WindowSize().cx);
    EXPECT_EQ(8, WindowSize().cy);
    EXPECT_TRUE(m_ctrl.Play());
    EXPECT_TRUE(WaitForPixel(6, 4, kGreen));

    // Another GIF version is not split: it is the loader's to take or refuse, and never an
    // animation.
    Bytes other = GifMaker(6, 4).Frame(0, 0, 6, 4, 0, 5, 1).Frame(0, 0, 6, 4, 1, 5, 1).Done();
    other[4] = '8';
    Load(other);
    EXPECT_FALSE(m_ctrl.IsGif());
    EXPECT_FALSE(m_ctrl.IsAnimated());
    EXPECT_FALSE(m_ctrl.IsPlaying());

    EXPECT_FALSE(Load(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    EXPECT_FALSE(m_ctrl.IsPrepared());
    EXPECT_FALSE(m_ctrl.Play()) << "nothing to show after a failed load";
}

TEST_F(GifPictureTest, FramesThatDoNotDecodeAreDropped) {
    const Bytes oneLeft = GifMaker(10, 10)
                              .Frame(0, 0, 10, 10, 0, 5, 1)
                              .Frame(0, 0, 10, 10, 1, 5, 1, true)
                              .Done();
    EXPECT_TRUE(Load(oneLeft));
    EXPECT_EQ(1u, m_ctrl.FrameCount());
    EXPECT_FALSE(m_ctrl.IsAnimated()) << "one frame is no animation";
    EXPECT_FALSE(m_ctrl.Play()) << "and there is no still picture either";
    EXPECT_FALSE(m_ctrl.IsPlaying());

    const Bytes noneLeft = GifMaker(10, 10)
                               .Frame(0, 0, 10, 10, 0, 5, 1, true)
                               .Frame(0, 0, 10, 10, 1, 5, 1, true)
                               .Done();
    EXPECT_FALSE(Load(noneLeft));
    EXPECT_FALSE(m_ctrl.IsPrepared());
}

TEST_F(GifPictureTest, DamagedDataKeepsTheFramesFoundBeforeTheDamage) {
    Bytes gif = GifMaker(10, 10)
                    .Frame(0, 0, 10, 10, 0, 5, 1)
                    .Frame(0, 0, 5, 5, 1, 5, 1)
                    .Frame(0, 0, 5, 5, 2, 5, 1)
                    .Done();
    // The third frame's image data cut short: its sub-block runs past the end.
    gif.resize(gif.size() - 4);
    ASSERT_TRUE(Load(gif));
    EXPECT_EQ(2u, m_ctrl.FrameCount());
    // A size larger than the data is held to the memory block.
    win::GlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE, gif.size()));
    {
        win::LockedGlobal lock(block.get());
        std::memcpy(lock.get(), gif.data(), gif.size());
    }
    EXPECT_TRUE(m_ctrl.LoadFromMemory(block.get(), DWORD(gif.size() + 100000)));
    EXPECT_EQ(2u, m_ctrl.FrameCount());
}

TEST_F(GifPictureTest, StopKeepsTheFrameAndLoadingAgainStartsFromTheFirst) {
    ASSERT_TRUE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF"));
    m_ctrl.Play();
    ASSERT_TRUE(wt::PumpUntil([&] { return m_ctrl.CurrentFrame() >= 3; }, 5000));
    m_ctrl.StopAnimation();
    EXPECT_FALSE(m_ctrl.IsPlaying());
    const unsigned stopped = m_ctrl.CurrentFrame();
    m_ctrl.Play();
    EXPECT_TRUE(m_ctrl.IsPlaying());
    EXPECT_GE(m_ctrl.CurrentFrame(), stopped) << "continues from the frame reached";
    ASSERT_TRUE(wt::PumpUntil([&] { return m_ctrl.CurrentFrame() > stopped; }, 3000));

    ASSERT_TRUE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF"));
    EXPECT_FALSE(m_ctrl.IsPlaying()) << "the load stopped the thread";
    EXPECT_EQ(0u, m_ctrl.CurrentFrame());
}

TEST_F(GifPictureTest, DestroyingTheWindowStopsTheAnimation) {
    ASSERT_TRUE(m_ctrl.LoadFromResource(m_module.get(), MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF"));
    m_ctrl.Play();
    ASSERT_TRUE(m_ctrl.IsPlaying());
    ::DestroyWindow(Window());
    EXPECT_FALSE(m_ctrl.IsPlaying());
    EXPECT_EQ(nullptr, Window());
}

TEST_F(GifPictureTest, ClickIsPostedToTheNotifyWindow) {
    struct Row {
        const char* what;
        bool notify;
        std::vector<UINT> messages;
        bool posted;
    } rows[] = {
        {"click", true, {WM_LBUTTONDOWN, WM_LBUTTONUP}, true},
        {"no notify window", false, {WM_LBUTTONDOWN, WM_LBUTTONUP}, false},
        {"left the control in between", true, {WM_LBUTTONDOWN, WM_MOUSELEAVE, WM_LBUTTONUP},
         false},
        {"up without down", true, {WM_LBUTTONUP}, false},
        {"two ups after one down", true, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONUP}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m_ctrl.SetNotifyWindow(row.notify ? m_host : nullptr);
        for (UINT msg : row.messages) ::SendMessageW(Window(), msg, 0, MAKELPARAM(3, 3));
        MSG msg;
        int posted = 0;
        while (::PeekMessageW(&msg, m_host, tavrin::WM_GIFCTRL_CLICKED,
                              tavrin::WM_GIFCTRL_CLICKED, PM_REMOVE)) {
            ++posted;
            EXPECT_EQ(reinterpret_cast<WPARAM>(&m_ctrl), msg.wParam);
            EXPECT_EQ(205, msg.lParam);
        }
        EXPECT_EQ(row.posted ? 1 : 0, posted);
    }
}

std::vector<GifPictureFrame> FakeFrames(std::vector<FakePicture*> pictures, uint32_t delay) {
    std::vector<GifPictureFrame> frames;
    int x = 0;
    for (FakePicture* p : pictures) {
        GifPictureFrame f;
        f.picture = win::ComPtr<IPicture>(p);
        f.x = x;
        x += 4;
        f.width = f.height = 4;
        f.delay = delay;
        f.disposal = 3;  // the thread keeps a saved copy of its own too
        frames.push_back(std::move(f));
    }
    return frames;
}

TEST_F(GifPictureTest, PlayWhileTheThreadRunsIsIgnored) {
    FakePicture a(4, 4), b(4, 4);
    ASSERT_TRUE(m_ctrl.LoadFrames(FakeFrames({&a, &b}, 1), 8, 4));
    EXPECT_FALSE(m_ctrl.Play());
    EXPECT_FALSE(m_ctrl.Play());
    EXPECT_FALSE(m_ctrl.Play());
    ASSERT_TRUE(wt::PumpUntil([&] { return a.renders + b.renders >= 8; }, 5000));
    m_ctrl.StopAnimation();
    std::set<DWORD> threads = a.threads;
    threads.insert(b.threads.begin(), b.threads.end());
    EXPECT_EQ(1u, threads.size()) << "one animation thread";
    EXPECT_FALSE(a.faults || b.faults);
    m_ctrl.FreePicture();
    EXPECT_EQ(1, a.refs.load()) << "the frames were released";
    EXPECT_EQ(1, b.refs.load());
}

// A thread caught inside a frame for longer than the 5 s StopAnimation waits: the control
// must leave it the pictures and the back buffer, which go when the thread ends.
TEST_F(GifPictureTest, ThreadOutlivingItsStopKeepsWhatItDrawsWith) {
    FakePicture a(4, 4), b(4, 4);
    ASSERT_TRUE(m_ctrl.LoadFrames(FakeFrames({&a, &b}, 1), 8, 4));
    b.Block();
    m_ctrl.Play();
    ASSERT_TRUE(b.WaitEntered(5000));

    const DWORD start = ::GetTickCount();
    m_ctrl.StopAnimation();
    EXPECT_GE(::GetTickCount() - start, 4900u);
    EXPECT_TRUE(m_ctrl.IsPlaying()) << "the thread is still inside the frame";
    m_ctrl.Play();  // still the one thread of this picture: ignored
    m_ctrl.FreePicture();
    EXPECT_FALSE(m_ctrl.IsPrepared());
    EXPECT_GT(b.refs.load(), 1) << "the thread still holds its frames";

    // A new picture plays while the old thread is still stuck.
    FakePicture c(4, 4), d(4, 4);
    ASSERT_TRUE(m_ctrl.LoadFrames(FakeFrames({&c, &d}, 1), 8, 4));
    m_ctrl.Play();
    EXPECT_TRUE(wt::PumpUntil([&] { return c.renders + d.renders >= 2; }, 3000));

    b.Unblock();
    EXPECT_TRUE(wt::PumpUntil([&] { return a.refs == 1 && b.refs == 1; }, 5000))
        << "the old thread ended and released its frames";
    EXPECT_FALSE(b.faults) << "it drew on a live back buffer";
    EXPECT_EQ(1, b.renders.load());
    m_ctrl.FreePicture();
    EXPECT_FALSE(c.faults || d.faults);
    EXPECT_EQ(1, c.refs.load());
}

}  // namespace
