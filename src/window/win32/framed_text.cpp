#include "window/win32/framed_text.h"

#include <string>

namespace {

constexpr UINT_PTR kSubclassId = 1;

// The margin in dialog units, so that it grows with the font and the DPI.
RECT MarginPixels(HWND control) {
  RECT margin{0, 0, 2, 1};
  MapDialogRect(GetParent(control), &margin);
  return margin;
}

// Paints as the static control would (the dialog's colours and font, word
// wrap, clipped at the edge), inside the margin.
void Paint(HWND control) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(control, &paint);
  RECT client;
  GetClientRect(control, &client);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(control), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(control)));
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));

  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  const int length = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  UINT format = DT_WORDBREAK | DT_EXPANDTABS;
  if ((style & SS_TYPEMASK) == SS_CENTER) format |= DT_CENTER;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;

  auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  if (!IsWindowEnabled(control)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  const RECT margin = MarginPixels(control);
  RECT inside{client.left + margin.right, client.top + margin.bottom, client.right - margin.right,
              client.bottom - margin.bottom};
  IntersectClipRect(dc, inside.left, inside.top, inside.right, inside.bottom);
  if (length > 0) DrawTextA(dc, text.data(), length, &inside, format);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
  EndPaint(control, &paint);
}

LRESULT CALLBACK FramedTextProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
  switch (message) {
    case WM_PAINT:
      Paint(control);
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
      InvalidateRect(control, nullptr, TRUE);
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(control, &FramedTextProc, kSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

void KeepTextOffFrame(HWND staticControl) {
  SetWindowSubclass(staticControl, &FramedTextProc, kSubclassId, 0);
}
