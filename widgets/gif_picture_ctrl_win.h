// A static control that shows a picture and plays an animated GIF on a worker thread. The GIF
// is split into one small GIF per frame (widgets/gif_parser.h) and each is decoded once by the
// platform's picture loader; anything else is loaded whole by the same loader as a still.
//
// The animation thread draws into a back buffer that it shares with the control, together
// with the frames and its stop signal: if a stop times out, the thread keeps them alive and
// frees them when it ends, so the control never pulls a picture or a GDI object from under it.
// The thread of the control's window must have COM initialised (the picture loader needs it).
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "resources/window_messages.h"
#include "win/handles.h"
#include "win/window.h"

namespace tavrin {

struct GifPictureFrame {
    win::ComPtr<IPicture> picture;
    int x = 0, y = 0;  // origin in the logical screen
    int width = 0, height = 0;
    uint32_t delay = 0xFFFFFFFFu;  // hundredths of a second; none: rests until stopped
    uint32_t disposal = 0;
};

class CGifPictureCtrl : public win::CWindow {
public:
    CGifPictureCtrl();
    ~CGifPictureCtrl() override;

    // The window told about clicks; mouse handling is off while it is null.
    void SetNotifyWindow(HWND notify) { m_notifyWindow = notify; }
    // A resource of `module` (the module holding the picture) copied into global memory.
    BOOL LoadFromResource(HMODULE module, LPCSTR name, LPCSTR type);
    // The caller keeps ownership of data. TRUE when the back buffer has been prepared.
    BOOL LoadFromMemory(HGLOBAL data, DWORD size);
    // Frames decoded elsewhere, for a logical screen of width x height.
    BOOL LoadFrames(std::vector<GifPictureFrame> frames, int width, int height);
    // Starts the animation (answers FALSE) or draws the still picture once (TRUE when drawn).
    // While the animation thread runs a second call is ignored: one thread at most.
    BOOL Play();
    // Asks the thread to end and waits for it up to 5 seconds.
    void StopAnimation();
    void FreePicture();

    bool IsGif() const { return m_isGif; }
    bool IsPrepared() const { return m_prepared; }
    bool IsAnimated() const;
    bool IsPlaying() const;
    size_t FrameCount() const;
    unsigned CurrentFrame() const;
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF BackgroundColor() const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Scene;
    struct StopSignal;
    struct ThreadStart;

    BOOL LoadStill(HGLOBAL data, DWORD size, bool keepSize);
    BOOL AdoptFrames(std::vector<GifPictureFrame> frames);
    BOOL PrepareBackBuffer();
    void OnPaint();
    static unsigned ThreadProc(void* param);

    HWND m_notifyWindow = nullptr;
    BOOL m_pressed = FALSE;
    int m_width = 0, m_height = 0;
    BOOL m_isGif = FALSE;
    BOOL m_prepared = FALSE;
    win::Handle m_thread;
    std::shared_ptr<StopSignal> m_stop;  // m_stopThread and m_stopEvent
    win::ComPtr<IPicture> m_picture;     // the still picture
    std::shared_ptr<Scene> m_scene;      // frames, back buffer, current frame
};

}  // namespace tavrin
