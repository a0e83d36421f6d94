// A device context that buffers one paint cycle in an off-screen bitmap and copies it to the
// target in one BitBlt when it goes, so what is painted never flickers. Printer DCs are drawn
// on directly.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace tavrin {

class COffscreenDC {
public:
    // The target (a paint DC) is not owned and must outlive this object.
    explicit COffscreenDC(HDC target);
    ~COffscreenDC();
    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Where to draw, in the target's logical coordinates.
    HDC get() const { return m_buffered ? m_memDc.get() : m_target; }
    bool buffered() const { return m_buffered; }
    const RECT& rect() const { return m_rect; }

private:
    win::MemoryDc m_memDc;
    win::GdiObject m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
    HDC m_target;
    RECT m_rect = {};  // the target's clip box, logical coordinates
    bool m_buffered = false;
};

}  // namespace tavrin
