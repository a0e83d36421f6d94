#include "widgets/offscreen_dc_win.h"

namespace tavrin {

COffscreenDC::COffscreenDC(HDC target) : m_target(target) {
    if (!target || ::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) return;
    ::GetClipBox(target, &m_rect);
    const int width = m_rect.right - m_rect.left, height = m_rect.bottom - m_rect.top;
    if (width <= 0 || height <= 0) return;
    m_memDc.attach(::CreateCompatibleDC(target));
    m_bitmap.attach(::CreateCompatibleBitmap(target, width, height));
    // Without a buffer (out of memory) drawing goes straight to the target: it may flicker,
    // but it is drawn.
    if (!m_memDc || !m_bitmap) return;
    m_oldBitmap = ::SelectObject(m_memDc.get(), m_bitmap.get());
    // Drawing in the target's coordinates lands in the bitmap.
    ::SetWindowOrgEx(m_memDc.get(), m_rect.left, m_rect.top, nullptr);
    m_buffered = true;
}

COffscreenDC::~COffscreenDC() {
    if (!m_buffered) return;
    ::BitBlt(m_target, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
             m_rect.bottom - m_rect.top, m_memDc.get(), m_rect.left, m_rect.top, SRCCOPY);
    ::SelectObject(m_memDc.get(), m_oldBitmap);
    // The bitmap and the memory DC go with their owners.
}

}  // namespace tavrin
