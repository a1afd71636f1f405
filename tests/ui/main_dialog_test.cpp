// MainDlgProc in this process, on the real template: what a user cannot see
// from outside. The selection command writes to control 1006, which the
// template lacks, so the tests give the dialog one; message boxes are
// caught with a CBT hook and answered at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/main_dialog.h"

namespace {

std::vector<std::string> g_boxes;  // texts of the message boxes shown
HHOOK g_hook = nullptr;

LRESULT CALLBACK CatchMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    char caption[32] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(class_name) == "#32770" && std::string(caption) == "Warning") {
      char text[256] = {};
      GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
      g_boxes.push_back(text);
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_hook = SetWindowsHookExA(WH_CBT, CatchMessageBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                 MainDlgProc, 0);
    ASSERT_NE(dialog_, nullptr);
    info_ = CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 10, 10, dialog_,
                          reinterpret_cast<HMENU>(IDC_SELINFO), nullptr, nullptr);
    ASSERT_NE(info_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    UnhookWindowsHookEx(g_hook);
  }

  HWND List() const { return GetDlgItem(dialog_, IDC_RESULTS); }

  void Fill(const std::vector<const char*>& entries) const {
    for (const char* entry : entries) {
      SendMessageA(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
  }

  // The list tells its dialog that its selection changed; returns what the
  // command wrote to control 1006.
  std::string SelectionChanged() const {
    SetWindowTextA(info_, "untouched");
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RESULTS, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(List()));
    char text[32] = {};
    GetWindowTextA(info_, text, sizeof text);
    return text;
  }

  HWND dialog_ = nullptr;
  HWND info_ = nullptr;
};

// Exactly one selected entry shows its data value, 0; none or several "-".
TEST_F(MainDialogTest, SelectionCommandWritesToSelInfo) {
  Fill({"a", "b", "c"});
  EXPECT_EQ(SelectionChanged(), "-");
  SendMessageA(List(), LB_SETSEL, TRUE, 1);
  EXPECT_EQ(SelectionChanged(), "0");
  SendMessageA(List(), LB_SETSEL, TRUE, 2);
  EXPECT_EQ(SelectionChanged(), "-");
  SendMessageA(List(), LB_SETSEL, FALSE, -1);
  EXPECT_EQ(SelectionChanged(), "-");
  EXPECT_TRUE(g_boxes.empty());
}

// A list that allows only one selected entry cannot count its selection:
// the command says so and writes nothing.
TEST_F(MainDialogTest, SingleSelectionListCannotCount) {
  const RECT place = {7, 25, 145, 219};
  DestroyWindow(List());
  ASSERT_NE(CreateWindowA("LISTBOX", "", WS_CHILD | LBS_NOTIFY, place.left, place.top,
                          place.right - place.left, place.bottom - place.top, dialog_,
                          reinterpret_cast<HMENU>(IDC_RESULTS), nullptr, nullptr),
            nullptr);
  Fill({"a", "b"});
  SendMessageA(List(), LB_SETCURSEL, 1, 0);
  EXPECT_EQ(SelectionChanged(), "untouched");
  EXPECT_EQ(g_boxes, (std::vector<std::string>{"Error counting items :("}));
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
  char hint[16] = {};
  GetDlgItemTextA(dialog_, IDC_ENDING, hint, sizeof hint);
  EXPECT_EQ(std::string(hint), ">1 \xE1\xF3\xEA\xE2\xE0");  // ">1 буква" in Windows-1251
}

}  // namespace
