// screenshot.exe CAPTION OUT.bmp [--popup|--dialog] [--timeout SECONDS]
// Waits until a visible top-level window with that caption shows (with --dialog: the update
// dialog, whose picture frame 205 is a black frame; with --popup: the progress window, whose
// 205 is a black rectangle), gives it a moment to paint, and saves what the screen shows of it
// as a 24-bit BMP. The demo uses it to record the update windows. Exit 0 saved, 1 not found.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "win/handles.h"

namespace {

struct Search {
    const wchar_t* caption;
    LONG frameStyle;  // SS_BLACKFRAME, SS_BLACKRECT, or -1 for any
    HWND found;
};

BOOL CALLBACK Match(HWND w, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    wchar_t text[128] = L"";
    ::GetWindowTextW(w, text, 128);
    if (!::IsWindowVisible(w) || std::wcscmp(text, s->caption) != 0) return TRUE;
    HWND frame = ::GetDlgItem(w, 205);
    if (s->frameStyle >= 0 &&
        (!frame || (::GetWindowLongW(frame, GWL_STYLE) & SS_TYPEMASK) != s->frameStyle))
        return TRUE;
    s->found = w;
    return FALSE;
}

bool SaveBmp(const wchar_t* path, HWND window) {
    RECT rc;
    ::GetWindowRect(window, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    win::WindowDc screen(nullptr);
    win::MemoryDc memory(::CreateCompatibleDC(screen.get()));
    win::GdiObject bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
    if (!memory || !bitmap) return false;
    {
        win::SelectedObject select(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, w, h, screen.get(), rc.left, rc.top, SRCCOPY);
    }
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * h);
    if (!::GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, h, pixels.data(),
                     reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
        return false;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    win::FileHandle out(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    return out && ::WriteFile(out.get(), &file, sizeof(file), &n, nullptr) &&
           ::WriteFile(out.get(), &info, sizeof(info), &n, nullptr) &&
           ::WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &n, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: screenshot CAPTION OUT.bmp [--dialog|--popup] "
                              L"[--timeout SECONDS]\n");
        return 2;
    }
    Search search = {argv[1], -1, nullptr};
    DWORD timeoutMs = 60000;
    for (int i = 3; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--dialog") == 0) search.frameStyle = SS_BLACKFRAME;
        if (std::wcscmp(argv[i], L"--popup") == 0) search.frameStyle = SS_BLACKRECT;
        if (std::wcscmp(argv[i], L"--timeout") == 0 && i + 1 < argc)
            timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
    }
    const DWORD start = ::GetTickCount();
    while (!search.found && ::GetTickCount() - start < timeoutMs) {
        ::EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
        if (!search.found) ::Sleep(50);
    }
    if (!search.found) return 1;
    ::Sleep(400);  // its controls paint themselves
    return SaveBmp(argv[2], search.found) ? 0 : 1;
}
