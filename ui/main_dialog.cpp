#include "ui/main_dialog.h"

#include <climits>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "res/resource.h"
#include "search/ending_search.h"

namespace {

// The word list's code page. The list's bytes are shown, and the typed text
// searched, in it, whatever the system's ANSI code page is: the window side
// speaks UTF-16 and converts explicitly, so that a Western, Japanese or
// UTF-8 Windows shows and finds what a Bulgarian one does. Windows' own
// conversion (no flags) keeps its best-fit letters for characters the code
// page lacks (é becomes e), as the ANSI functions did under code page 1251.
constexpr UINT kListCodePage = 1251;

// The program's texts.
constexpr wchar_t kHint[] = L">1 буква";
constexpr wchar_t kTooShort[] = L"Какво от \">1 буква\" не разбрахте?";
constexpr wchar_t kListMissing[] = L"rym.txt?";
constexpr wchar_t kCountFailed[] = L"Error counting items :(";
constexpr wchar_t kGetFailed[] = L"Error getting selected item :(";
constexpr wchar_t kCaption[] = L"Warning";
constexpr wchar_t kNoSingleSelection[] = L"-";

// Where the dialog keeps a font it made for its controls, to delete it when
// it is destroyed.
constexpr wchar_t kFontProperty[] = L"Versalo.Font";

void Warn(HWND dialog, const wchar_t* text) { MessageBoxW(dialog, text, kCaption, MB_OK); }

// The result list box as the search's sink. Its redrawing is off from the
// clear to the last entry: a list that repaints for every entry takes
// minutes to fill with a common ending, and nothing is shown before the
// search returns anyway.
class ListBoxSink : public versalo::ResultSink {
 public:
  explicit ListBoxSink(HWND list) : list_(list) {}
  ~ListBoxSink() override {
    if (redraw_suspended_) {
      SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(list_, nullptr, TRUE);
    }
  }
  ListBoxSink(const ListBoxSink&) = delete;
  ListBoxSink& operator=(const ListBoxSink&) = delete;

  void Clear() override {
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    redraw_suspended_ = true;
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  }
  void Add(std::string_view line) override {
    // The list box wants zero-terminated UTF-16: each byte of the code page
    // is one UTF-16 unit. An entry it refuses, or one we cannot convert, is
    // dropped and the search goes on.
    if (line.size() >= static_cast<std::size_t>(INT_MAX)) return;
    try {
      text_.resize(line.size() + 1);
    } catch (const std::bad_alloc&) {
      return;
    }
    const int units =
        line.empty() ? 0
                     : MultiByteToWideChar(kListCodePage, 0, line.data(),
                                           static_cast<int>(line.size()), text_.data(),
                                           static_cast<int>(line.size()));
    text_[static_cast<std::size_t>(units)] = L'\0';
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text_.data()));
  }

 private:
  HWND list_;
  bool redraw_suspended_ = false;
  std::wstring text_;
};

void OnCheck(HWND dialog) {
  // The code page is single-byte: each UTF-16 unit becomes one byte, so the
  // typed text's length is the ending's length in bytes.
  const int length = GetWindowTextLengthW(GetDlgItem(dialog, IDC_ENDING));
  if (length < static_cast<int>(versalo::kMinEndingLength)) {
    Warn(dialog, kTooShort);
    return;
  }
  // One block for the ending: the typed text, then its bytes in the list's
  // code page. Without it there is nothing to search for.
  const SIZE_T units = static_cast<SIZE_T>(length) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, units * sizeof(wchar_t) + units);
  if (block == nullptr) return;
  wchar_t* typed = static_cast<wchar_t*>(block);
  char* ending = reinterpret_cast<char*>(typed + units);
  const int copied = GetDlgItemTextW(dialog, IDC_ENDING, typed, length + 1);
  const int bytes = copied > 0 ? WideCharToMultiByte(kListCodePage, 0, typed, copied, ending,
                                                     length, nullptr, nullptr)
                               : 0;

  versalo::SearchOutcome outcome;
  {
    ListBoxSink sink(GetDlgItem(dialog, IDC_RESULTS));
    outcome = versalo::FindEndingMatches(std::string_view(ending, bytes), sink);
  }
  GlobalFree(block);

  switch (outcome) {
    case versalo::SearchOutcome::Listed:
      break;
    case versalo::SearchOutcome::EndingTooShort:
      // The text shrank between measuring and fetching it.
      Warn(dialog, kTooShort);
      break;
    case versalo::SearchOutcome::ListMissing:
      Warn(dialog, kListMissing);
      ExitProcess(1);
    case versalo::SearchOutcome::ListCutShort:
      // The list holds the matches read before the failure; say that the
      // word list could not be read to its end.
      Warn(dialog, kListMissing);
      break;
  }
}

void OnSelectionChange(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_RESULTS);
  const LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  if (count == LB_ERR) {
    Warn(dialog, kCountFailed);
    return;
  }
  if (count != 1) {
    SetDlgItemTextW(dialog, IDC_SELINFO, kNoSingleSelection);
    return;
  }
  int selected = 0;
  if (SendMessageW(list, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&selected)) == LB_ERR) {
    Warn(dialog, kGetFailed);
    return;
  }
  const LRESULT data = SendMessageW(list, LB_GETITEMDATA, selected, 0);
  SetDlgItemInt(dialog, IDC_SELINFO, static_cast<UINT>(data), FALSE);
}

// The template names "MS Sans Serif", which on a Western Windows is a bitmap
// font without Cyrillic letters. Where the dialog's font cannot draw them,
// the controls get the system's message font, which can.
void GiveControlsACyrillicFont(HWND dialog) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (FontDrawsCyrillic(font)) return;
  // The structure as Windows XP knows it: later versions added a field.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return;
  HFONT message = CreateFontIndirectW(&metrics.lfMessageFont);
  if (message == nullptr) return;
  if (!FontDrawsCyrillic(message) || !SetPropW(dialog, kFontProperty, message)) {
    DeleteObject(message);
    return;
  }
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(message), FALSE);
  }
}

}  // namespace

bool FontDrawsCyrillic(HFONT font) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return true;  // nothing to learn; keep what there is
  HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
  bool draws = false;
  // The letters А to я, which hold every Bulgarian one.
  constexpr WCHAR kFirst = 0x0410, kLast = 0x044F;
  const DWORD size = GetFontUnicodeRanges(dc, nullptr);
  if (size >= sizeof(GLYPHSET)) {
    GLYPHSET* glyphs = static_cast<GLYPHSET*>(::operator new(size, std::nothrow));
    if (glyphs != nullptr && GetFontUnicodeRanges(dc, glyphs) != 0) {
      for (DWORD i = 0; i < glyphs->cRanges; ++i) {
        const WCRANGE& range = glyphs->ranges[i];
        if (range.wcLow <= kFirst && kLast < range.wcLow + range.cGlyphs) draws = true;
      }
    }
    ::operator delete(glyphs);
  } else {
    // A font that tells no ranges: its character set says.
    draws = GetTextCharset(dc) == RUSSIAN_CHARSET;
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return draws;
}

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      GiveControlsACyrillicFont(dialog);
      SetDlgItemTextW(dialog, IDC_ENDING, kHint);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_CHECK:
          OnCheck(dialog);
          break;
        case IDC_RESULTS:
          if (HIWORD(wParam) == LBN_SELCHANGE) OnSelectionChange(dialog);
          break;
      }
      return TRUE;
    case WM_DESTROY:
      // The font made for the controls goes with them.
      if (HANDLE font = RemovePropW(dialog, kFontProperty)) DeleteObject(font);
      return FALSE;
  }
  return FALSE;
}
