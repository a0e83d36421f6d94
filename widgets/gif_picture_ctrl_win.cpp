#include "widgets/gif_picture_ctrl_win.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "widgets/gif_parser.h"
#include "win/boundary.h"
#include "win/module_lifetime.h"

namespace tavrin {

namespace {

constexpr DWORD kStopWaitMs = 5000;

// The whole picture, upright (source y at the bottom, negative source height).
HRESULT RenderPicture(IPicture* picture, HDC dc, int x, int y, int width, int height) {
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    if (FAILED(picture->get_Width(&hmWidth)) || FAILED(picture->get_Height(&hmHeight)))
        return E_FAIL;
    return picture->Render(dc, x, y, width, height, 0, hmHeight, hmWidth, -hmHeight, nullptr);
}

// OleLoadPicture on a stream over `block`; the stream frees the block when it owns it.
win::ComPtr<IPicture> DecodePicture(HGLOBAL block, DWORD size, bool streamOwnsBlock) {
    win::ComPtr<IPicture> picture;
    win::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block, streamOwnsBlock ? TRUE : FALSE,
                                       stream.receive()))) {
        if (streamOwnsBlock) ::GlobalFree(block);
        return picture;
    }
    if (FAILED(::OleLoadPicture(stream.get(), LONG(size), FALSE, IID_IPicture,
                                picture.receiveVoid())))
        picture.reset();
    return picture;
}

}  // namespace

// Set by the UI thread, read by the animation thread at its checks; the event ends a frame
// delay at once.
struct CGifPictureCtrl::StopSignal {
    std::atomic<bool> bStopThread{false};
    win::Handle hStopEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// Everything the animation thread uses. The control and a running thread share it.
struct CGifPictureCtrl::Scene {
    ~Scene() {
        if (hSaveOldBitmap) ::SelectObject(hSaveDC.get(), hSaveOldBitmap);
        if (hMemOldBitmap) ::SelectObject(hMemDC.get(), hMemOldBitmap);
    }

    void FillBackground(const GifRect& r) {
        if (r.Empty()) return;
        const RECT rc{r.left, r.top, r.right, r.bottom};
        win::GdiObject brush(::CreateSolidBrush(clrBackground));
        if (brush) ::FillRect(hMemDC.get(), &rc, static_cast<HBRUSH>(brush.get()));
    }
    GifRect FrameRect(const GifPictureFrame& f) const {
        return FrameRectOnScreen(f.x, f.y, f.width, f.height, width, height);
    }
    void SaveArea(const GifPictureFrame& f);
    void RestoreSaved();
    void Dispose(const GifPictureFrame& f);
    void Run(StopSignal& stop);

    std::vector<GifPictureFrame> frames;
    int width = 0, height = 0;
    HWND target = nullptr;
    COLORREF clrBackground = 0xFFFFFF;
    std::atomic<unsigned> nCurrentFrame{0};
    // GDI objects are not for two threads at once: the animation thread draws into the back
    // buffer and the window copies from it only while holding this.
    std::mutex bufferLock;
    win::MemoryDc hMemDC;  // the back buffer
    win::GdiObject hMemBitmap;
    HGDIOBJ hMemOldBitmap = nullptr;
    win::MemoryDc hSaveDC;  // what lay under a frame whose disposal is 3
    win::GdiObject hSaveBitmap;
    HGDIOBJ hSaveOldBitmap = nullptr;
    GifRect saveRect;
};

struct CGifPictureCtrl::ThreadStart {
    std::shared_ptr<Scene> scene;
    std::shared_ptr<StopSignal> stop;
};

void CGifPictureCtrl::Scene::SaveArea(const GifPictureFrame& f) {
    RestoreSaved();  // a copy still held goes back first, so none is lost
    // The frame's rectangle held to the logical screen: no buffer is sized from a descriptor.
    const GifRect r = FrameRect(f);
    if (r.Empty()) return;
    win::MemoryDc dc(::CreateCompatibleDC(hMemDC.get()));
    win::GdiObject bitmap(::CreateCompatibleBitmap(hMemDC.get(), r.Width(), r.Height()));
    if (!dc || !bitmap) return;
    hSaveOldBitmap = ::SelectObject(dc.get(), bitmap.get());
    ::BitBlt(dc.get(), 0, 0, r.Width(), r.Height(), hMemDC.get(), r.left, r.top, SRCCOPY);
    hSaveDC = std::move(dc);
    hSaveBitmap = std::move(bitmap);
    saveRect = r;
}

void CGifPictureCtrl::Scene::RestoreSaved() {
    if (!hSaveDC) return;
    ::BitBlt(hMemDC.get(), saveRect.left, saveRect.top, saveRect.Width(), saveRect.Height(),
             hSaveDC.get(), 0, 0, SRCCOPY);
    ::SelectObject(hSaveDC.get(), hSaveOldBitmap);
    hSaveOldBitmap = nullptr;
    hSaveBitmap.close();
    hSaveDC.close();
}

void CGifPictureCtrl::Scene::Dispose(const GifPictureFrame& f) {
    switch (f.disposal) {
    case 2:
        FillBackground(FrameRect(f));
        break;
    case 3:
        RestoreSaved();
        break;
    default:
        break;
    }
}

void CGifPictureCtrl::Scene::Run(StopSignal& stop) {
    const size_t count = frames.size();
    unsigned current = nCurrentFrame.load();
    if (current >= count) current = 0;
    {
        std::lock_guard<std::mutex> hold(bufferLock);
        Dispose(frames[current]);
    }
    while (!stop.bStopThread.load()) {
        const GifPictureFrame& frame = frames[current];
        bool drawn = false;
        {
            std::lock_guard<std::mutex> hold(bufferLock);
            if (frame.disposal == 3) SaveArea(frame);
            drawn = SUCCEEDED(RenderPicture(frame.picture.get(), hMemDC.get(), frame.x, frame.y,
                                            frame.width, frame.height));
        }
        if (drawn) ::InvalidateRect(target, nullptr, FALSE);
        if (stop.bStopThread.load()) break;
        // The 32-bit product, as the delay field gives it: a frame without control extension
        // (0xFFFFFFFF) waits 0xFFFFFFF6 ms, so the animation rests on it until stopped.
        const DWORD wait = frame.delay < 5 ? 100 : DWORD(frame.delay * 10u);
        ::WaitForSingleObject(stop.hStopEvent.get(), wait);
        if (stop.bStopThread.load()) break;
        std::lock_guard<std::mutex> hold(bufferLock);
        Dispose(frame);
        if (++current >= count) {
            current = 0;
            FillBackground(GifRect{0, 0, width, height});
        }
        nCurrentFrame.store(current);
    }
}

unsigned CGifPictureCtrl::ThreadProc(void* param) {
    // The frames are pictures: COM objects, which this thread may call only with COM set up
    // (and may free, should it hold the last reference, before COM goes).
    win::CoInit com;
    // The thread owns what it was given; it goes when the thread ends, whoever stopped it.
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    start->scene->Run(*start->stop);
    return 0u;
}

CGifPictureCtrl::CGifPictureCtrl() : m_stop(std::make_shared<StopSignal>()) {}

CGifPictureCtrl::~CGifPictureCtrl() {
    DestroyWindow();  // while this class's WM_DESTROY still runs
    FreePicture();
}

bool CGifPictureCtrl::IsAnimated() const { return m_scene && m_scene->frames.size() >= 2; }

bool CGifPictureCtrl::IsPlaying() const {
    return m_thread && ::WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT;
}

size_t CGifPictureCtrl::FrameCount() const { return m_scene ? m_scene->frames.size() : 0; }

unsigned CGifPictureCtrl::CurrentFrame() const {
    return m_scene ? m_scene->nCurrentFrame.load() : 0;
}

COLORREF CGifPictureCtrl::BackgroundColor() const {
    return m_scene ? m_scene->clrBackground : 0xFFFFFF;
}

BOOL CGifPictureCtrl::LoadFromResource(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC found = ::FindResourceA(module, name, type);
    if (!found) return FALSE;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return FALSE;
    win::GlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size));
    if (!block) return FALSE;
    {
        win::LockedGlobal lock(block.get());
        if (!lock.get()) return FALSE;
        std::memcpy(lock.get(), bytes, size);
    }
    return LoadFromMemory(block.get(), size);
}

BOOL CGifPictureCtrl::LoadFromMemory(HGLOBAL data, DWORD size) {
    FreePicture();
    win::LockedGlobal lock(data);
    if (!lock.get()) return FALSE;
    // A size beyond the block would let the walk read past it.
    size = DWORD(std::min<SIZE_T>(size, ::GlobalSize(data)));
    const auto* bytes = static_cast<const uint8_t*>(lock.get());
    GifParser parser(bytes, size);
    if (!parser.IsGif()) {
        lock.unlock();
        return LoadStill(data, size, false);
    }
    m_isGif = TRUE;
    m_width = parser.Width();
    m_height = parser.Height();
    const size_t blocks = parser.CountGraphicBlocks();
    if (blocks == 0) return FALSE;
    if (blocks == 1) {
        lock.unlock();
        return LoadStill(data, size, true);
    }
    std::vector<GifPictureFrame> frames;
    GifFrame extracted;
    while (parser.ExtractFrame(extracted)) {
        HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, extracted.gif.size());
        if (!block) continue;
        std::memcpy(block, extracted.gif.data(), extracted.gif.size());
        GifPictureFrame frame;
        frame.picture = DecodePicture(block, DWORD(extracted.gif.size()), true);
        if (!frame.picture) continue;  // a frame that does not decode is dropped
        frame.x = extracted.x;
        frame.y = extracted.y;
        frame.width = extracted.width;
        frame.height = extracted.height;
        frame.delay = extracted.delay;
        frame.disposal = extracted.disposal;
        frames.push_back(std::move(frame));
    }
    lock.unlock();
    return AdoptFrames(std::move(frames));
}

BOOL CGifPictureCtrl::LoadStill(HGLOBAL data, DWORD size, bool keepSize) {
    m_picture = DecodePicture(data, size, false);
    if (!m_picture) return FALSE;
    if (!keepSize) {
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        m_picture->get_Width(&hmWidth);
        m_picture->get_Height(&hmHeight);
        win::WindowDc dc(m_hWnd);
        m_width = ::MulDiv(hmWidth, ::GetDeviceCaps(dc.get(), LOGPIXELSX), 2540);
        m_height = ::MulDiv(hmHeight, ::GetDeviceCaps(dc.get(), LOGPIXELSY), 2540);
    }
    m_scene = std::make_shared<Scene>();
    return PrepareBackBuffer();
}

BOOL CGifPictureCtrl::LoadFrames(std::vector<GifPictureFrame> frames, int width, int height) {
    FreePicture();
    m_width = width;
    m_height = height;
    return AdoptFrames(std::move(frames));
}

BOOL CGifPictureCtrl::AdoptFrames(std::vector<GifPictureFrame> frames) {
    m_scene = std::make_shared<Scene>();
    m_scene->frames = std::move(frames);
    if (m_scene->frames.empty()) return FALSE;
    return PrepareBackBuffer();
}

BOOL CGifPictureCtrl::PrepareBackBuffer() {
    if (m_hWnd)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, m_width, m_height, SWP_NOMOVE | SWP_NOZORDER);
    win::WindowDc windowDc(m_hWnd);
    if (!windowDc.get()) return FALSE;
    Scene& scene = *m_scene;
    scene.width = m_width;
    scene.height = m_height;
    scene.target = m_hWnd;
    win::MemoryDc dc(::CreateCompatibleDC(windowDc.get()));
    if (!dc) return FALSE;
    win::GdiObject bitmap(::CreateCompatibleBitmap(windowDc.get(), m_width, m_height));
    if (!bitmap) return FALSE;
    scene.hMemOldBitmap = ::SelectObject(dc.get(), bitmap.get());
    scene.hMemDC = std::move(dc);
    scene.hMemBitmap = std::move(bitmap);
    scene.clrBackground = ::GetSysColor(COLOR_BTNFACE);
    // The menu colour, not the button face: until the first wrap-around, what no frame covers
    // shows it (brush "5" is COLOR_MENU + 1).
    const RECT all{0, 0, m_width, m_height};
    ::FillRect(scene.hMemDC.get(), &all, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    m_prepared = TRUE;
    // What the control showed before belongs to the previous picture.
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return TRUE;
}

BOOL CGifPictureCtrl::Play() {
    if (!m_prepared) return FALSE;
    if (IsAnimated()) {
        if (m_thread) {
            if (IsPlaying()) return FALSE;  // one thread at most
            m_thread.close();
        }
        m_stop->bStopThread.store(false);
        ::ResetEvent(m_stop->hStopEvent.get());
        auto* start = new (std::nothrow) ThreadStart{m_scene, m_stop};
        if (!start) return FALSE;
        // A thread of the module: one that outlives its 5 s stop wait keeps the module loaded
        // until it has ended.
        win::Handle thread = win::BeginModuleThread(&ThreadProc, start);
        if (!thread) {
            delete start;
            return FALSE;
        }
        m_thread = std::move(thread);
        return FALSE;
    }
    if (!m_picture) return FALSE;
    if (FAILED(RenderPicture(m_picture.get(), m_scene->hMemDC.get(), 0, 0, m_width,
                             m_height)))
        return FALSE;
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return TRUE;
}

void CGifPictureCtrl::StopAnimation() {
    m_stop->bStopThread.store(true);
    ::SetEvent(m_stop->hStopEvent.get());
    if (m_thread) {
        if (::WaitForSingleObject(m_thread.get(), kStopWaitMs) != WAIT_OBJECT_0) {
            // Still inside a frame: it holds the scene and this signal, ends at its next
            // check, and stays the one thread of this picture until then (Play ignores calls).
            return;
        }
        m_thread.close();
    }
    ::ResetEvent(m_stop->hStopEvent.get());
    m_stop->bStopThread.store(false);
}

void CGifPictureCtrl::FreePicture() {
    StopAnimation();
    if (m_thread) {
        // A thread that outlived the wait keeps its scene and its (set) signal and frees them
        // when it ends; the control goes on with new ones.
        m_thread.close();
        m_stop = std::make_shared<StopSignal>();
    }
    m_picture.reset();
    m_scene.reset();
    m_isGif = FALSE;
    m_prepared = FALSE;
    m_width = m_height = 0;
}

void CGifPictureCtrl::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc && m_prepared) {
        std::lock_guard<std::mutex> hold(m_scene->bufferLock);
        ::BitBlt(dc, 0, 0, m_width, m_height, m_scene->hMemDC.get(), 0, 0, SRCCOPY);
    }
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CGifPictureCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DESTROY:
        StopAnimation();
        return Default(msg, wParam, lParam);
    case WM_LBUTTONDOWN:
        if (m_notifyWindow) {
            m_pressed = TRUE;
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
            ::_TrackMouseEvent(&track);
        }
        return Default(msg, wParam, lParam);
    case WM_MOUSELEAVE:
        m_pressed = FALSE;
        return 0;
    case WM_LBUTTONUP:
        if (m_notifyWindow && m_pressed) {
            m_pressed = FALSE;
            ::PostMessageW(m_notifyWindow, WM_GIFCTRL_CLICKED, reinterpret_cast<WPARAM>(this),
                           LPARAM(::GetDlgCtrlID(m_hWnd)));
        }
        return Default(msg, wParam, lParam);
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace tavrin
