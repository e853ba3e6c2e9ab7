#pragma once

// The window-layer vocabulary the program's UI code is written in: integer types,
// handles, geometry, colours, message numbers and the small helpers that pack and
// unpack message parameters. The sizes are those the code was written for (LONG and
// DWORD are 32-bit even where the C long is 64-bit).

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using LANGID = WORD;
using WCHAR = char16_t;
using LPWSTR = char16_t *;
using LPCWSTR = const char16_t *;
using LPVOID = void *;
using HANDLE = void *;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque handles. A window handle is a key into the window layer's table, never a pointer
// to anything; the others point to objects of the drawing layer.
struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HDC__;
struct HGDIOBJ__;
struct HBRUSH__;
struct HFONT__;
struct HBITMAP__;
struct HRGN__;
using HWND = HWND__ *;
using HINSTANCE = HINSTANCE__ *;
using HMODULE = HINSTANCE__ *;
using HICON = HICON__ *;
using HDC = HDC__ *;
using HGDIOBJ = HGDIOBJ__ *;
using HBRUSH = HBRUSH__ *;
using HFONT = HFONT__ *;
using HBITMAP = HBITMAP__ *;
using HRGN = HRGN__ *;

// ---- Parameter packing --------------------------------------------------------------

constexpr WORD LOWORD(std::uintptr_t value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr BYTE LOBYTE(std::uintptr_t value)
{
    return static_cast<BYTE>(value & 0xFF);
}
constexpr BYTE HIBYTE(std::uintptr_t value)
{
    return static_cast<BYTE>((value >> 8) & 0xFF);
}
constexpr LONG MAKELONG(WORD low, WORD high)
{
    return static_cast<LONG>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
// Coordinates travel as signed 16-bit halves; a negative x survives the round trip.
constexpr LPARAM MAKELPARAM(int low, int high)
{
    return static_cast<LPARAM>(static_cast<LONG>(static_cast<DWORD>(static_cast<WORD>(low)) |
                                                 (static_cast<DWORD>(static_cast<WORD>(high)) << 16)));
}
constexpr int GET_X_LPARAM(LPARAM lp)
{
    return static_cast<SHORT>(LOWORD(static_cast<std::uintptr_t>(lp)));
}
constexpr int GET_Y_LPARAM(LPARAM lp)
{
    return static_cast<SHORT>(HIWORD(static_cast<std::uintptr_t>(lp)));
}
constexpr SHORT GET_WHEEL_DELTA_WPARAM(WPARAM wp)
{
    return static_cast<SHORT>(HIWORD(wp));
}
constexpr WORD GET_KEYSTATE_WPARAM(WPARAM wp)
{
    return LOWORD(wp);
}

// ---- Colours ------------------------------------------------------------------------

// 0x00BBGGRR, the colour of edit controls, dialog brushes and layered-window keys.
// A distinct type so that it cannot be handed to a setter that takes a 0xAARRGGBB value
// (and back) without an explicit conversion: write RGB(r, g, b) or COLORREF{0x00BBGGRR}.
enum class COLORREF : DWORD
{
};
// 0xAARRGGBB, the colour of everything drawn with the anti-aliased drawing layer.
using ARGB = DWORD;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b)
{
    return static_cast<COLORREF>(static_cast<DWORD>(r) | (static_cast<DWORD>(g) << 8) |
                                 (static_cast<DWORD>(b) << 16));
}
constexpr BYTE GetRValue(COLORREF c)
{
    return static_cast<BYTE>(static_cast<DWORD>(c) & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c)
{
    return static_cast<BYTE>((static_cast<DWORD>(c) >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c)
{
    return static_cast<BYTE>((static_cast<DWORD>(c) >> 16) & 0xFF);
}
// The same colour as an opaque 0xAARRGGBB value.
constexpr ARGB ColorRefToArgb(COLORREF c, BYTE alpha = 0xFF)
{
    return (static_cast<ARGB>(alpha) << 24) | (static_cast<ARGB>(GetRValue(c)) << 16) |
           (static_cast<ARGB>(GetGValue(c)) << 8) | GetBValue(c);
}
constexpr COLORREF ArgbToColorRef(ARGB argb)
{
    return RGB(static_cast<BYTE>((argb >> 16) & 0xFF), static_cast<BYTE>((argb >> 8) & 0xFF),
               static_cast<BYTE>(argb & 0xFF));
}

// ---- Geometry -----------------------------------------------------------------------

struct POINT
{
    LONG x;
    LONG y;
};
struct SIZE
{
    LONG cx;
    LONG cy;
};
struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPPOINT = POINT *;
using LPRECT = RECT *;
using LPCRECT = const RECT *;

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rect);
BOOL CopyRect(LPRECT dst, const RECT *src);
BOOL IsRectEmpty(const RECT *rect);
BOOL PtInRect(const RECT *rect, POINT pt);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
BOOL InflateRect(LPRECT rect, int dx, int dy);
BOOL IntersectRect(LPRECT dst, const RECT *a, const RECT *b);
BOOL EqualRect(const RECT *a, const RECT *b);

class CPoint : public POINT
{
  public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
    CPoint(POINT pt) : POINT(pt) {}
    explicit CPoint(LPARAM lp) : POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)} {}
    void Offset(int dx, int dy)
    {
        x += dx;
        y += dy;
    }
    bool operator==(const POINT &o) const { return x == o.x && y == o.y; }
    bool operator!=(const POINT &o) const { return !(*this == o); }
    CPoint operator+(const POINT &o) const { return CPoint(x + o.x, y + o.y); }
    CPoint operator-(const POINT &o) const { return CPoint(x - o.x, y - o.y); }
};

class CSize : public SIZE
{
  public:
    CSize() : SIZE{0, 0} {}
    CSize(int cx0, int cy0) : SIZE{cx0, cy0} {}
    bool operator==(const SIZE &o) const { return cx == o.cx && cy == o.cy; }
};

class CRect : public RECT
{
  public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT &r) : RECT(r) {}
    CRect(POINT topLeft, SIZE size) : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT pt) const { return ::PtInRect(this, pt); }
    void SetRect(int l, int t, int r, int b) { ::SetRect(this, l, t, r, b); }
    void SetRectEmpty() { ::SetRectEmpty(this); }
    void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
    void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
    void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
    void NormalizeRect();
    void MoveToXY(int x, int y) { ::OffsetRect(this, x - left, y - top); }
    bool operator==(const RECT &o) const { return ::EqualRect(this, &o) != 0; }
    bool operator!=(const RECT &o) const { return !(*this == o); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

// ---- Message numbers and their parameters ----------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_USER = 0x0400;

// WM_DEVICECHANGE event types (its wParam).
constexpr UINT DBT_DEVNODES_CHANGED = 0x0007;
constexpr UINT DBT_DEVICEARRIVAL = 0x8000;
constexpr UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;

// WM_COMMAND notification of edit controls.
constexpr WORD EN_CHANGE = 0x0300;

// Mouse key-state flags of the mouse messages' wParam.
constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;
constexpr UINT MK_MBUTTON = 0x0010;

// One notch of the wheel.
constexpr int WHEEL_DELTA = 120;

// Hit-test codes.
constexpr UINT HTCLIENT = 1;
constexpr UINT HTCAPTION = 2;

// WM_ACTIVATE states.
constexpr UINT WA_INACTIVE = 0;
constexpr UINT WA_ACTIVE = 1;
constexpr UINT WA_CLICKACTIVE = 2;

// WM_SIZE kinds.
constexpr UINT SIZE_RESTORED = 0;

// Colour request kinds.
constexpr UINT CTLCOLOR_MSGBOX = 0;
constexpr UINT CTLCOLOR_EDIT = 1;
constexpr UINT CTLCOLOR_LISTBOX = 2;
constexpr UINT CTLCOLOR_BTN = 3;
constexpr UINT CTLCOLOR_DLG = 4;
constexpr UINT CTLCOLOR_SCROLLBAR = 5;
constexpr UINT CTLCOLOR_STATIC = 6;

// Dialog and message-box results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message-box types.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_YESNOCANCEL = 0x0003;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_TYPEMASK = 0x000F;
constexpr UINT MB_ICONERROR = 0x0010;
constexpr UINT MB_ICONSTOP = 0x0010;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONWARNING = 0x0030;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONINFORMATION = 0x0040;
constexpr UINT MB_ICONMASK = 0x00F0;

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;

// Static and edit control styles.
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_CENTER = 0x0001;
constexpr DWORD SS_RIGHT = 0x0002;
constexpr DWORD SS_NOTIFY = 0x0100;
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD ES_NUMBER = 0x2000;

// Raster operation of BitBlt (the only one the drawing layer knows).
constexpr DWORD SRCCOPY = 0x00CC0020;

// Background modes of text output.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Device capabilities.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// Window long indexes.
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_STYLE = -16;
constexpr int GWL_ID = -12;

// Layered-window attributes.
constexpr DWORD LWA_COLORKEY = 0x00000001;
constexpr DWORD LWA_ALPHA = 0x00000002;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos flags.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// TrackMouseEvent.
constexpr DWORD TME_HOVER = 0x00000001;
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_CANCEL = 0x80000000;
constexpr DWORD HOVER_DEFAULT = 0xFFFFFFFF;
struct TRACKMOUSEEVENT
{
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
using LPTRACKMOUSEEVENT = TRACKMOUSEEVENT *;

// System metrics and parameters.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr UINT SPI_GETWHEELSCROLLLINES = 0x0068;
constexpr UINT WHEEL_PAGESCROLL = 0xFFFFFFFF;

// System menu: item flags of AppendMenu and the commands of WM_SYSCOMMAND (its low four bits
// are the system's own).
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_KEYMENU = 0xF100;
constexpr UINT SC_RESTORE = 0xF120;

// Icons made from resource bits.
constexpr DWORD LR_DEFAULTCOLOR = 0x0000;

// The creation record that WM_CREATE carries in its lParam.
struct CREATESTRUCTW
{
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    void *hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
using CREATESTRUCT = CREATESTRUCTW;
using LPCREATESTRUCT = CREATESTRUCTW *;

// The data record of WM_COPYDATA.
struct COPYDATASTRUCT
{
    ULONG_PTR dwData;
    DWORD cbData;
    LPVOID lpData;
};
using PCOPYDATASTRUCT = COPYDATASTRUCT *;
