// A modal box for text laid out in columns, built from an in-memory dialog template so that no
// resource script is needed.
#include "window/text_box_win32.h"

#include <algorithm>
#include <vector>

#include "base/utf8.h"

namespace tsl {
namespace {

constexpr int kEditId = 100;
constexpr int kMarginPx = 10;
constexpr int kButtonWidthPx = 88;
constexpr int kButtonHeightPx = 26;
constexpr int kFontPoints = 9;

// The template's words: a header, then each item DWORD-aligned (the format requires it).
class DialogTemplate {
 public:
  void Header(DWORD style, WORD items, const wchar_t* caption) {
    Dword(style);
    Dword(0);  // extended style
    words_.push_back(items);
    for (int i = 0; i < 4; ++i) words_.push_back(0);  // x, y, cx, cy: laid out on init
    words_.push_back(0);                              // no menu
    words_.push_back(0);                              // the default dialog class
    Text(caption);
  }
  void Item(DWORD style, WORD id, WORD class_atom, const wchar_t* text) {
    if (words_.size() % 2 != 0) words_.push_back(0);
    Dword(style);
    Dword(0);
    for (int i = 0; i < 4; ++i) words_.push_back(0);
    words_.push_back(id);
    words_.push_back(0xFFFF);  // a predefined class, by atom
    words_.push_back(class_atom);
    Text(text);
    words_.push_back(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Dword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void Text(const wchar_t* text) {
    for (; *text != L'\0'; ++text) words_.push_back(static_cast<WORD>(*text));
    words_.push_back(0);
  }
  std::vector<WORD> words_;
};

struct BoxState {
  std::wstring text;  // lines ending in "\r\n", as an edit control wants them
  HFONT font = nullptr;
};

bool IsFixedPitch(HDC dc) {
  TEXTMETRICW metrics{};
  // The flag's name is the wrong way round: set means variable pitch.
  return GetTextMetricsW(dc, &metrics) != 0 && (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0;
}

// The text's extent in pixels in the box's font: its widest line and all its lines.
SIZE TextExtent(HWND edit, HFONT font, const std::wstring& text) {
  SIZE extent{0, 0};
  HDC dc = GetDC(edit);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    SIZE line{0, 0};
    GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(end - start), &line);
    extent.cx = std::max(extent.cx, line.cx);
    ++lines;
    start = end + 2;
  }
  extent.cy = std::max(lines, 1) * metrics.tmHeight;
  SelectObject(dc, old);
  ReleaseDC(edit, dc);
  return extent;
}

void LayOut(HWND box, const BoxState& state) {
  HWND edit = GetDlgItem(box, kEditId);
  HWND ok = GetDlgItem(box, IDOK);
  const SIZE text = TextExtent(edit, state.font, state.text);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int scroll = GetSystemMetrics(SM_CXVSCROLL);
  const int border = 2 * GetSystemMetrics(SM_CXEDGE) + 8;  // the edit's frame and inner margins
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE));
  const DWORD ex_style = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE));
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int frame_w = frame.right - frame.left;
  const int frame_h = frame.bottom - frame.top;
  const int max_edit_w = (work.right - work.left) * 9 / 10 - frame_w - 2 * kMarginPx;
  const int max_edit_h =
      (work.bottom - work.top) * 9 / 10 - frame_h - 3 * kMarginPx - kButtonHeightPx;
  const int edit_w = std::min(static_cast<int>(text.cx) + border + scroll, max_edit_w);
  const int edit_h = std::min(static_cast<int>(text.cy) + border + scroll, max_edit_h);
  const int client_w = edit_w + 2 * kMarginPx;
  const int client_h = edit_h + 3 * kMarginPx + kButtonHeightPx;
  MoveWindow(edit, kMarginPx, kMarginPx, edit_w, edit_h, FALSE);
  MoveWindow(ok, client_w - kMarginPx - kButtonWidthPx, edit_h + 2 * kMarginPx, kButtonWidthPx,
             kButtonHeightPx, FALSE);
  const int w = client_w + frame_w;
  const int h = client_h + frame_h;
  SetWindowPos(box, nullptr, work.left + (work.right - work.left - w) / 2,
               work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<BoxState*>(lparam);
      SetWindowLongPtrW(box, DWLP_USER, lparam);
      HDC screen = GetDC(box);
      const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
      ReleaseDC(box, screen);
      state->font = CreateFixedPitchFont(dpi);
      HWND edit = GetDlgItem(box, kEditId);
      SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
      SetWindowTextW(edit, state->text.c_str());
      LayOut(box, *state);
      SetFocus(GetDlgItem(box, IDOK));
      return FALSE;  // the focus is set; the text is not selected
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HFONT CreateFixedPitchFont(UINT dpi) {
  const int height = -MulDiv(kFontPoints, static_cast<int>(dpi), 72);
  for (const wchar_t* face : {L"Consolas", L"Courier New", L""}) {
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH | FF_MODERN, face);
    if (font == nullptr) continue;
    // The font mapper may hand back a proportional face when no fixed one of that name exists.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const bool fixed = IsFixedPitch(dc);
    SelectObject(dc, old);
    DeleteDC(dc);
    if (fixed) return font;
    DeleteObject(font);
  }
  LOGFONTW stock{};
  GetObjectW(GetStockObject(ANSI_FIXED_FONT), sizeof stock, &stock);
  return CreateFontIndirectW(&stock);
}

void ShowFixedPitchText(const wchar_t* caption, const std::string& text) {
  BoxState state;
  std::wstring wide;
  if (!base::Utf8ToWide(text, wide)) wide.assign(text.begin(), text.end());
  for (wchar_t c : wide) {
    if (c == L'\n') state.text += L'\r';
    state.text += c;
  }
  DialogTemplate dialog;
  dialog.Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 2, caption);
  dialog.Item(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                  ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
              kEditId, 0x0081, L"");
  dialog.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 0x0080, L"OK");
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, BoxProc,
                          reinterpret_cast<LPARAM>(&state));
  if (state.font != nullptr) DeleteObject(state.font);
}

}  // namespace tsl
