// Draws the option sheet's letterhead: a 1113 x 194 picture in 16 colours,
// stored as an enhanced metafile with a frame of 293.55 mm x 51.08 mm.
// Usage: make_letterhead <out.emf>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const int kWidth = 1113;
const int kHeight = 194;

// The 16 colours of the classic VGA palette.
const RGBQUAD kPalette[16] = {
    {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
    {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
    {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0},
};

struct Dib {
    BITMAPINFOHEADER header;
    RGBQUAD colors[16];
};

void Fill(HDC dc, const RECT& r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Triangle(HDC dc, POINT a, POINT b, POINT c, COLORREF fill) {
    HBRUSH br = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
    HGDIOBJ ob = SelectObject(dc, br);
    HGDIOBJ op = SelectObject(dc, pen);
    const POINT pts[3] = {a, b, c};
    Polygon(dc, pts, 3);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(br);
    DeleteObject(pen);
}

void Text(HDC dc, int x, int y, int height, int weight, const wchar_t* face, COLORREF c,
          const wchar_t* text, int spacing) {
    HFONT f = CreateFontW(-height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                          NONANTIALIASED_QUALITY, 0, face);
    HGDIOBJ old = SelectObject(dc, f);
    SetTextColor(dc, c);
    SetBkMode(dc, TRANSPARENT);
    SetTextCharacterExtra(dc, spacing);
    TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
    SetTextCharacterExtra(dc, 0);
    SelectObject(dc, old);
    DeleteObject(f);
}

void DrawPicture(HDC dc) {
    const COLORREF navy = RGB(0, 0, 128), teal = RGB(0, 128, 128), grey = RGB(128, 128, 128);
    const COLORREF red = RGB(128, 0, 0), white = RGB(255, 255, 255);
    Fill(dc, RECT{0, 0, kWidth, kHeight}, white);

    // Mark: a strip of alternating triangles, as tiles laid edge to edge.
    const int top = 22, side = 150, step = 50;
    for (int i = 0; i < 5; ++i) {
        const int x = 24 + i * step;
        const COLORREF c = i % 2 ? teal : navy;
        if (i % 2 == 0)
            Triangle(dc, POINT{x, top + side}, POINT{x + step, top},
                     POINT{x + 2 * step, top + side}, c);
        else
            Triangle(dc, POINT{x, top}, POINT{x + 2 * step, top}, POINT{x + step, top + side}, c);
    }

    Text(dc, 330, 20, 88, FW_BOLD, L"DejaVu Serif", navy, L"MARROWIND", 6);
    Text(dc, 336, 118, 26, FW_NORMAL, L"DejaVu Sans", grey,
         L"OTP microcontrollers  \x00B7  voice chips  \x00B7  device programmers", 0);

    // Rules under the lettering and along the foot of the picture.
    Fill(dc, RECT{330, 108, kWidth - 24, 112}, red);
    Fill(dc, RECT{0, kHeight - 10, kWidth, kHeight - 4}, navy);
    Fill(dc, RECT{0, kHeight - 4, kWidth, kHeight}, teal);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_letterhead <out.emf>\n");
        return 2;
    }
    Dib dib{};
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = kWidth;
    dib.header.biHeight = kHeight;
    dib.header.biPlanes = 1;
    dib.header.biBitCount = 4;
    dib.header.biCompression = BI_RGB;
    dib.header.biClrUsed = 16;
    std::memcpy(dib.colors, kPalette, sizeof(kPalette));

    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&dib), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(screen);
    if (bmp == nullptr || mem == nullptr) return 1;
    HGDIOBJ old = SelectObject(mem, bmp);
    DrawPicture(mem);
    GdiFlush();

    // The frame in 0.01 mm fixes the picture's proportions on playback.
    const RECT frame{0, 0, 29355, 5108};
    HDC emf = CreateEnhMetaFileA(screen, argv[1], &frame, "Letterhead\0Option sheet\0");
    if (emf == nullptr) return 1;
    StretchDIBits(emf, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, bits,
                  reinterpret_cast<BITMAPINFO*>(&dib), DIB_RGB_COLORS, SRCCOPY);
    HENHMETAFILE done = CloseEnhMetaFile(emf);
    if (done == nullptr) return 1;
    std::printf("%s: %u bytes\n", argv[1], GetEnhMetaFileBits(done, 0, nullptr));
    DeleteEnhMetaFile(done);

    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return 0;
}
