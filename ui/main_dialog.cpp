#include "ui/main_dialog.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "res/resource.h"
#include "search/ending_search.h"

namespace {

// The program's texts, in Windows-1251 for the ANSI functions.
// ">1 буква"
constexpr char kHint[] = ">1 \xE1\xF3\xEA\xE2\xE0";
// "Какво от ">1 буква" не разбрахте?"
constexpr char kTooShort[] =
    "\xCA\xE0\xEA\xE2\xEE \xEE\xF2 \">1 \xE1\xF3\xEA\xE2\xE0\" "
    "\xED\xE5 \xF0\xE0\xE7\xE1\xF0\xE0\xF5\xF2\xE5?";
constexpr char kListMissing[] = "rym.txt?";
constexpr char kCountFailed[] = "Error counting items :(";
constexpr char kGetFailed[] = "Error getting selected item :(";
constexpr char kCaption[] = "Warning";
constexpr char kNoSingleSelection[] = "-";

void Warn(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, kCaption, MB_OK);
}

// The result list box as the search's sink. Its redrawing is off from the
// clear to the last entry: a list that repaints for every entry takes
// minutes to fill with a common ending, and nothing is shown before the
// search returns anyway.
class ListBoxSink : public versalo::ResultSink {
 public:
  explicit ListBoxSink(HWND list) : list_(list) {}
  ~ListBoxSink() override {
    if (redraw_suspended_) {
      SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(list_, nullptr, TRUE);
    }
  }
  ListBoxSink(const ListBoxSink&) = delete;
  ListBoxSink& operator=(const ListBoxSink&) = delete;

  void Clear() override {
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    redraw_suspended_ = true;
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
  }
  void Add(std::string_view line) override {
    // The list box wants a zero-terminated string. An entry it refuses, or
    // one we cannot copy, is dropped and the search goes on.
    try {
      text_.assign(line);
    } catch (const std::bad_alloc&) {
      return;
    }
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text_.c_str()));
  }

 private:
  HWND list_;
  bool redraw_suspended_ = false;
  std::string text_;
};

void OnCheck(HWND dialog) {
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, IDC_ENDING));
  if (length < static_cast<int>(versalo::kMinEndingLength)) {
    Warn(dialog, kTooShort);
    return;
  }
  // Without a block for the ending there is nothing to search for.
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(length) + 1);
  if (block == nullptr) return;
  char* ending = static_cast<char*>(block);
  const int copied = GetDlgItemTextA(dialog, IDC_ENDING, ending, length + 1);

  versalo::SearchOutcome outcome;
  {
    ListBoxSink sink(GetDlgItem(dialog, IDC_RESULTS));
    outcome = versalo::FindEndingMatches(std::string_view(ending, copied), sink);
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
  const LRESULT count = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
  if (count == LB_ERR) {
    Warn(dialog, kCountFailed);
    return;
  }
  if (count != 1) {
    SetDlgItemTextA(dialog, IDC_SELINFO, kNoSingleSelection);
    return;
  }
  int selected = 0;
  if (SendMessageA(list, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&selected)) == LB_ERR) {
    Warn(dialog, kGetFailed);
    return;
  }
  const LRESULT data = SendMessageA(list, LB_GETITEMDATA, selected, 0);
  SetDlgItemInt(dialog, IDC_SELINFO, static_cast<UINT>(data), FALSE);
}

}  // namespace

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_ENDING, kHint);
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
  }
  return FALSE;
}
