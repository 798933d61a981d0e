#include "app/hex_rows.h"
#include "app/writer_dialog.h"
#include "common/wide_text.h"
#include "framework/dpi_win.h"

LRESULT PathEdit::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    // Typing (and Backspace, Ctrl+X, Ctrl+V as characters) must not change the
    // path; key-down editing and the context menu still reach the control.
    if (msg == WM_CHAR) return 0;
    return Default(msg, wp, lp);
}

HexView::HexView(const WriterDialog& owner) : m_owner(owner), m_logFont() {
    m_logFont.lfHeight = -12;
    m_logFont.lfWeight = FW_NORMAL;
    m_logFont.lfCharSet = ANSI_CHARSET;
    m_logFont.lfOutPrecision = OUT_CHARACTER_PRECIS;
    m_logFont.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    m_logFont.lfQuality = DEFAULT_QUALITY;
    m_logFont.lfPitchAndFamily = FF_MODERN | DEFAULT_PITCH;
    lstrcpynW(m_logFont.lfFaceName, L"Courier New", LF_FACESIZE);
}

HexView::~HexView() {
    if (m_hFont) DeleteObject(m_hFont);
}

void HexView::SetMode(int mode) {
    m_nMode = mode;
    if (m_hWnd) InvalidateRect(m_hWnd, nullptr, TRUE);
}

void HexView::SetFirstRow(int row) {
    m_nFirstRow = row;
    if (m_hWnd) InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT HexView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    // Moved to a monitor of another scale: the next paint makes the font anew.
    if (msg == WM_DPICHANGED_AFTERPARENT) InvalidateRect(m_hWnd, nullptr, TRUE);
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        Paint(dc, rc);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    return Default(msg, wp, lp);
}

void HexView::Paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, client.left, client.top, client.right, client.bottom);
    SelectObject(dc, oldBrush);

    // The font and the margins are given for 96 DPI and follow the window's.
    const int dpi = fw::WindowDpi(m_hWnd);
    if (!m_hFont || m_nFontDpi != dpi) {
        if (m_hFont) DeleteObject(m_hFont);
        LOGFONTW scaled = m_logFont;
        scaled.lfHeight = fw::ScaleForDpi(m_logFont.lfHeight, dpi);
        m_hFont = CreateFontIndirectW(&scaled);
        m_nFontDpi = dpi;
    }
    const int margin = HexViewMargin(dpi);
    HGDIOBJ oldFont = SelectObject(dc, m_hFont);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    const int lineHeight = tm.tmHeight + tm.tmExternalLeading;
    const int rowsFit = HexRowsThatFit(client.bottom, lineHeight, margin);

    const Session& session = m_owner.GetSession();
    const PcBuffer& buf = session.Buffer();
    if (buf.m_pBin && !m_owner.ImageLoading()) {
        uint32_t count = buf.m_nBinWords;
        if (m_nMode == 0) count = session.SelectedBody() ? session.SelectedBody()->nRomWords : 0;
        const std::vector<std::string> rows = HexViewRows(*buf.m_pBin, count, m_nFirstRow, rowsFit);
        SetBkMode(dc, TRANSPARENT);
        int y = margin;
        for (const std::string& row : rows) {
            const std::wstring text = Widen(row);
            TextOutW(dc, margin, y, text.c_str(), static_cast<int>(text.size()));
            y += lineHeight;
        }
    }
    SelectObject(dc, oldFont);
}
