// MainDlgProc in this process, on the real template: what a user cannot see
// from outside. The selection command writes to control 1006, which the
// template lacks, so the tests give the dialog one; message boxes are
// caught with a CBT hook and answered at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/main_dialog.h"

namespace {

std::vector<std::wstring> g_boxes;  // texts of the message boxes shown
HHOOK g_hook = nullptr;

LRESULT CALLBACK CatchMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    if (std::wstring(class_name) == L"#32770" && std::wstring(caption) == L"Warning") {
      wchar_t text[256] = {};
      GetDlgItemTextW(window, 0xFFFF, text, 256);
      g_boxes.push_back(text);
      PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

// The real template, compiled into this test, with its font's name
// replaced by `face`: what the dialog meets where that name gives a font of
// another kind. Stored in DWORDs, as a template must be aligned.
std::vector<DWORD> TemplateWithFont(const wchar_t* face) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const DWORD size = SizeofResource(nullptr, found);
  if (bytes == nullptr || size < 18) return {};
  // A classic template: its header, then menu, class and caption, each a
  // zero-terminated UTF-16 string or 0xFFFF and a number; then, with
  // DS_SETFONT, the point size and the font's name; then the controls,
  // aligned to a DWORD.
  const auto* words = reinterpret_cast<const WORD*>(bytes);
  std::size_t at = 9;  // style, extended style, count, x, y, cx, cy
  for (int field = 0; field < 3; ++field) {
    if (words[at] == 0xFFFF) {
      at += 2;
    } else {
      while (words[at++] != 0) {}
    }
  }
  ++at;  // the point size
  const std::size_t face_at = at;
  while (words[at++] != 0) {}
  const std::size_t controls_at = (at * 2 + 3) / 4 * 4;

  std::string patched(bytes, face_at * 2);
  patched.append(reinterpret_cast<const char*>(face), (wcslen(face) + 1) * 2);
  patched.resize((patched.size() + 3) / 4 * 4, '\0');
  patched.append(bytes + controls_at, size - controls_at);
  std::vector<DWORD> aligned((patched.size() + 3) / 4);
  std::memcpy(aligned.data(), patched.data(), patched.size());
  return aligned;
}

HFONT FontOf(HWND window) {
  return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_hook = SetWindowsHookExW(WH_CBT, CatchMessageBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 MainDlgProc, 0);
    ASSERT_NE(dialog_, nullptr);
    info_ = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, dialog_,
                          reinterpret_cast<HMENU>(IDC_SELINFO), nullptr, nullptr);
    ASSERT_NE(info_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    UnhookWindowsHookEx(g_hook);
  }

  HWND List() const { return GetDlgItem(dialog_, IDC_RESULTS); }

  void Fill(const std::vector<const wchar_t*>& entries) const {
    for (const wchar_t* entry : entries) {
      SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
  }

  // The list tells its dialog that its selection changed; returns what the
  // command wrote to control 1006.
  std::wstring SelectionChanged() const {
    SetWindowTextW(info_, L"untouched");
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RESULTS, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(List()));
    wchar_t text[32] = {};
    GetWindowTextW(info_, text, 32);
    return text;
  }

  HWND dialog_ = nullptr;
  HWND info_ = nullptr;
};

// Exactly one selected entry shows its data value, 0; none or several "-".
TEST_F(MainDialogTest, SelectionCommandWritesToSelInfo) {
  Fill({L"a", L"b", L"c"});
  EXPECT_EQ(SelectionChanged(), L"-");
  SendMessageW(List(), LB_SETSEL, TRUE, 1);
  EXPECT_EQ(SelectionChanged(), L"0");
  SendMessageW(List(), LB_SETSEL, TRUE, 2);
  EXPECT_EQ(SelectionChanged(), L"-");
  SendMessageW(List(), LB_SETSEL, FALSE, -1);
  EXPECT_EQ(SelectionChanged(), L"-");
  EXPECT_TRUE(g_boxes.empty());
}

// A list that allows only one selected entry cannot count its selection:
// the command says so and writes nothing.
TEST_F(MainDialogTest, SingleSelectionListCannotCount) {
  const RECT place = {7, 25, 145, 219};
  DestroyWindow(List());
  ASSERT_NE(CreateWindowW(L"LISTBOX", L"", WS_CHILD | LBS_NOTIFY, place.left, place.top,
                          place.right - place.left, place.bottom - place.top, dialog_,
                          reinterpret_cast<HMENU>(IDC_RESULTS), nullptr, nullptr),
            nullptr);
  Fill({L"a", L"b"});
  SendMessageW(List(), LB_SETCURSEL, 1, 0);
  EXPECT_EQ(SelectionChanged(), L"untouched");
  EXPECT_EQ(g_boxes, (std::vector<std::wstring>{L"Error counting items :("}));
}

// The procedure answers TRUE for its messages and every command, FALSE for
// the rest; Esc's IDCANCEL does nothing.
TEST_F(MainDialogTest, ReturnValues) {
  EXPECT_EQ(MainDlgProc(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0), TRUE);
  EXPECT_EQ(MainDlgProc(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RESULTS, LBN_DBLCLK), 0), TRUE);
  EXPECT_EQ(MainDlgProc(dialog_, WM_COMMAND, MAKEWPARAM(4242, 0), 0), TRUE);
  EXPECT_EQ(MainDlgProc(dialog_, WM_SIZE, 0, 0), FALSE);
  EXPECT_EQ(MainDlgProc(dialog_, WM_TIMER, 1, 0), FALSE);
  EXPECT_TRUE(IsWindow(dialog_));
  EXPECT_TRUE(g_boxes.empty());
  wchar_t hint[16] = {};
  GetDlgItemTextW(dialog_, IDC_ENDING, hint, 16);
  EXPECT_EQ(std::wstring(hint), L">1 буква");
}

// Every control draws Bulgarian letters, in the template's font wherever
// that has them (under Wine at 932 it resolves to a Japanese font that has
// not, and the controls get another).
TEST_F(MainDialogTest, ControlsDrawCyrillic) {
  const bool template_font_draws = FontDrawsCyrillic(FontOf(dialog_));
  for (const int id : {IDC_ENDING, IDC_RESULTS, IDC_CHECK}) {
    const HFONT font = FontOf(GetDlgItem(dialog_, id));
    EXPECT_TRUE(FontDrawsCyrillic(font)) << "control " << id;
    EXPECT_EQ(font == FontOf(dialog_), template_font_draws) << "control " << id;
  }
}

// Where the template's font has no Cyrillic letters (as MS Sans Serif on a
// Western Windows), every control gets one that has, and it is deleted
// with the dialog. Droid Sans Fallback, a Chinese font whose Cyrillic is a
// few letters only, stands for such a font (setup installs it).
TEST_F(MainDialogTest, FontWithoutCyrillicIsReplaced) {
  const std::vector<DWORD> patched = TemplateWithFont(L"Droid Sans Fallback");
  ASSERT_FALSE(patched.empty());
  HWND dialog = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(patched.data()), nullptr,
      MainDlgProc, 0);
  ASSERT_NE(dialog, nullptr);
  ASSERT_FALSE(FontDrawsCyrillic(FontOf(dialog))) << "the test's font has Cyrillic letters";
  HWND label = GetWindow(dialog, GW_CHILD);
  const HFONT given = FontOf(label);
  EXPECT_NE(given, FontOf(dialog));
  EXPECT_TRUE(FontDrawsCyrillic(given));
  for (HWND child = label; child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    EXPECT_EQ(FontOf(child), given) << "control " << GetDlgCtrlID(child);
  }
  wchar_t hint[16] = {};
  GetDlgItemTextW(dialog, IDC_ENDING, hint, 16);
  EXPECT_EQ(std::wstring(hint), L">1 буква");
  DestroyWindow(dialog);
  EXPECT_EQ(GetObjectType(given), 0u) << "the font outlived its dialog";
}

}  // namespace
