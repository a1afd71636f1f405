// The real versalo.exe, started as its own process and driven as a user
// drives it. Arguments: the exe, then where to write a screenshot (BMP).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/ui/driver.h"

namespace {

using versalo::testing::Cp1251;
using versalo::testing::MessageBoxSeen;
using versalo::testing::Program;

std::wstring g_exe;
std::wstring g_screenshot;

const std::wstring kHint = L">1 буква";
const std::wstring kTooShort = L"Какво от \">1 буква\" не разбрахте?";

// Words in file order; the list is written in Windows-1251 with CR LF.
const std::vector<std::wstring> kWords = {
    L"котка", L"КОТКА", L"лодка", L"ка", L"к", L"тата", L"мечта", L"лодка",
    L"в >1 буква", L">1 буква", L"буква", L"сън и мечта", L"cat",
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = versalo::testing::MakeTempFolder(L"versalo-dialog");
    ASSERT_FALSE(folder_.empty());
    WriteList(kWords, "\r\n");
  }
  void TearDown() override {
    program_.reset();
    versalo::testing::RemoveTempFolder(folder_);
  }

  std::wstring ListPath() const { return folder_ + L"\\rym.txt"; }

  void WriteList(const std::vector<std::wstring>& words, const char* line_break) {
    std::string bytes;
    for (const std::wstring& word : words) bytes += Cp1251(word) + line_break;
    HANDLE file = CreateFileW(ListPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
  }

  const Program& Start() {
    program_ = std::make_unique<Program>(g_exe, folder_);
    EXPECT_TRUE(program_->started()) << "no dialog appeared";
    return *program_;
  }

  // A message box appears with `text`, caption "Warning", only OK and no
  // icon; it is then dismissed.
  void ExpectWarning(const Program& program, const std::wstring& text) {
    const MessageBoxSeen box = program.WaitForMessageBox();
    ASSERT_NE(box.window, nullptr) << "no message box";
    EXPECT_EQ(box.caption, L"Warning");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.visible_buttons, 1);
    EXPECT_TRUE(box.ok_button);
    EXPECT_FALSE(box.icon);
    EXPECT_FALSE(IsWindowEnabled(program.dialog())) << "the box must be modal to the dialog";
    Program::Dismiss(box);
  }

  void ExpectNoWarning(const Program& program) {
    EXPECT_EQ(program.WaitForMessageBox(300).window, nullptr);
  }

  std::wstring folder_;
  std::unique_ptr<Program> program_;
};

// The dialog opens with the hint selected in the focused edit box and the
// button as its default.
TEST_F(DialogTest, OpensWithTheHintFocused) {
  const Program& program = Start();
  ASSERT_TRUE(program.started());
  EXPECT_EQ(program.EditText(), kHint);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(program.thread_id(), &gui));
  EXPECT_EQ(gui.hwndFocus, program.edit());
  const LRESULT selection = SendMessageW(program.edit(), EM_GETSEL, 0, 0);
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), kHint.size());
  EXPECT_EQ(SendMessageW(program.dialog(), DM_GETDEFID, 0, 0), MAKELONG(1003, DC_HASDEFID));
  EXPECT_TRUE(program.Entries().empty());
}

// The program's own texts, as the dialog shows them at every code page.
TEST_F(DialogTest, ShowsItsTextsInBulgarian) {
  const Program& program = Start();
  ASSERT_TRUE(program.started());
  EXPECT_EQ(versalo::testing::WindowText(program.dialog()), L"Versalo-0.2");
  EXPECT_EQ(versalo::testing::WindowText(GetWindow(program.dialog(), GW_CHILD)), L"Окончание:");
  EXPECT_EQ(versalo::testing::WindowText(program.button()), L"Провери");
  EXPECT_EQ(program.EditText(), kHint);
}

// Characters that Windows-1251 lacks become the letters Windows gives them
// in that code page (its best fit), as they did when the system's own code
// page was 1251: the same typed text finds the same lines everywhere.
TEST_F(DialogTest, CharactersTheCodePageLacksAreBestFit) {
  WriteList({L"manana", L"cafe", L"naive", L"x??", L"BANa"}, "\n");
  const Program& program = Start();
  const std::vector<std::pair<std::wstring, std::vector<std::wstring>>> searches = {
      {L"ña", {L"manana"}},          // ñ: n
      {L"fé", {L"cafe"}},            // é: e
      {L"ïve", {L"naive"}},          // ï: i
      {L"\U0001F600", {L"x??"}},     // an emoji, two UTF-16 units: "??"
      {L"Ñá", {L"BANa"}},            // Ñ: N, á: a
  };
  for (const auto& [typed, found] : searches) {
    ASSERT_TRUE(program.Search(typed));
    EXPECT_EQ(program.Entries(), found) << "typed " << Cp1251(typed);
  }
  ExpectNoWarning(program);
}

// Pressing the button at once searches for the hint itself.
TEST_F(DialogTest, ButtonAtOnceSearchesTheHint) {
  const Program& program = Start();
  ASSERT_TRUE(program.Press());
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"в >1 буква", L">1 буква"}));
}

// A Cyrillic ending lists its words in file order, duplicates kept, upper
// and lower case apart; the screenshot shows the result.
TEST_F(DialogTest, CyrillicEndingListsInFileOrder) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries(),
            (std::vector<std::wstring>{L"котка", L"лодка", L"ка", L"лодка"}));
  ASSERT_TRUE(program.Search(L"та"));
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"тата", L"мечта", L"сън и мечта"}));
  ExpectNoWarning(program);
  if (!g_screenshot.empty()) {
    RedrawWindow(program.dialog(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(program.WaitForListDrawn()) << "the list was not drawn";
    EXPECT_TRUE(program.Screenshot(g_screenshot));
  }
}

// Too short an ending shows the message and leaves the list as it was.
TEST_F(DialogTest, TooShortEndingKeepsTheList) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"КА"));
  const std::vector<std::wstring> listed{L"КОТКА"};
  EXPECT_EQ(program.Entries(), listed);
  for (const std::wstring ending : {L"к", L""}) {
    program.SetEditText(ending);
    program.PressAsync();
    ExpectWarning(program, kTooShort);
    EXPECT_EQ(program.Entries(), listed);
  }
  // The box is gone and the dialog works on.
  ASSERT_TRUE(program.Search(L"cat"));
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"cat"}));
}

// A second search replaces the first one's entries, also when it finds
// nothing.
TEST_F(DialogTest, EverySearchReplacesTheList) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries().size(), 4u);
  ASSERT_TRUE(program.Search(L"буква"));
  EXPECT_EQ(program.Entries(),
            (std::vector<std::wstring>{L"в >1 буква", L">1 буква", L"буква"}));
  ASSERT_TRUE(program.Search(L"яя"));
  EXPECT_TRUE(program.Entries().empty());
  ExpectNoWarning(program);
}

// Each search reads the list as it is then; LF alone ends lines too.
TEST_F(DialogTest, SearchReadsTheCurrentList) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries().size(), 4u);
  WriteList({L"река", L"рекар", L"пека"}, "\n");
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"река", L"пека"}));
}

// Enter searches; Esc leaves the dialog open.
TEST_F(DialogTest, EnterSearchesAndEscapeKeepsTheDialog) {
  const Program& program = Start();
  program.SetEditText(L"ка");
  PostMessageW(program.edit(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(program.edit(), WM_KEYUP, VK_ESCAPE, 0xC0010001);
  PostMessageW(program.edit(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageW(program.edit(), WM_KEYUP, VK_RETURN, 0xC01C0001);
  const DWORD start = GetTickCount();
  while (program.Entries().empty() && GetTickCount() - start < 10000) Sleep(20);
  EXPECT_EQ(program.Entries().size(), 4u);
  EXPECT_TRUE(IsWindowVisible(program.dialog()));
  EXPECT_EQ(program.WaitForExit(0), STILL_ACTIVE);
  ExpectNoWarning(program);
}

// Selecting one entry, several, and none never shows a message.
TEST_F(DialogTest, SelectingEntriesShowsNoMessage) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  const HWND list = program.list();
  const auto selection_changed = [&] {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(program.dialog(), WM_COMMAND, MAKEWPARAM(1002, LBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(list), SMTO_NORMAL, 5000, &result) != 0;
  };
  SendMessageW(list, LB_SETSEL, TRUE, 1);
  EXPECT_TRUE(selection_changed());
  EXPECT_EQ(SendMessageW(list, LB_GETSELCOUNT, 0, 0), 1);
  SendMessageW(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3));
  EXPECT_TRUE(selection_changed());
  EXPECT_EQ(SendMessageW(list, LB_GETSELCOUNT, 0, 0), 4);
  SendMessageW(list, LB_SETSEL, FALSE, -1);
  EXPECT_TRUE(selection_changed());
  EXPECT_EQ(SendMessageW(list, LB_GETSELCOUNT, 0, 0), 0);
  // And with the mouse: a click, then a Shift+click that extends it.
  RECT item;
  SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  const LPARAM first = MAKELPARAM(item.left + 5, item.top + 2);
  SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
  const LPARAM third = MAKELPARAM(item.left + 5, item.top + 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, first);
  SendMessageW(list, WM_LBUTTONUP, 0, first);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, third);
  SendMessageW(list, WM_LBUTTONUP, MK_SHIFT, third);
  EXPECT_EQ(SendMessageW(list, LB_GETSELCOUNT, 0, 0), 3);
  ExpectNoWarning(program);
}

// Closing the dialog ends the program with status 0: by WM_CLOSE and by the
// system menu's Close.
TEST_F(DialogTest, ClosingExitsWithZero) {
  for (const UINT how : {WM_CLOSE, WM_SYSCOMMAND}) {
    const Program& program = Start();
    ASSERT_TRUE(program.Search(L"ка"));
    if (how == WM_CLOSE) {
      PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
    } else {
      PostMessageW(program.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    EXPECT_EQ(program.WaitForExit(), 0u);
  }
}

// A word list removed while the program runs: "rym.txt?", then status 1,
// with the dialog still up behind the message.
TEST_F(DialogTest, RemovedListEndsWithStatusOne) {
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  const std::vector<std::wstring> listed = program.Entries();
  ASSERT_EQ(listed.size(), 4u);
  ASSERT_TRUE(DeleteFileW(ListPath().c_str()));
  program.PressAsync();
  // Under the box, the list still shows the last search's entries.
  const MessageBoxSeen box = program.WaitForMessageBox();
  ASSERT_NE(box.window, nullptr) << "no message box";
  EXPECT_EQ(box.text, L"rym.txt?");
  EXPECT_EQ(program.Entries(), listed);
  Program::Dismiss(box);
  EXPECT_EQ(program.WaitForExit(), 1u);
}

// A folder where the word list should be counts as a missing list.
TEST_F(DialogTest, FolderInPlaceOfTheListEndsWithStatusOne) {
  ASSERT_TRUE(DeleteFileW(ListPath().c_str()));
  ASSERT_TRUE(CreateDirectoryW(ListPath().c_str(), nullptr));
  const Program& program = Start();
  program.PressAsync();
  ExpectWarning(program, L"rym.txt?");
  EXPECT_EQ(program.WaitForExit(), 1u);
}

// A list that another program holds open for writing, sharing it for
// reading, is searched, and each search sees it as it has grown.
TEST_F(DialogTest, ListHeldOpenForWritingIsSearched) {
  HANDLE writer = CreateFileW(ListPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const Program& program = Start();
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries().size(), 4u);
  SetFilePointer(writer, 0, nullptr, FILE_END);
  const std::string more = Cp1251(L"пека\r\nкапка\r\n");
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writer, more.data(), static_cast<DWORD>(more.size()), &written, nullptr));
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"котка", L"лодка", L"ка", L"лодка",
                                                          L"пека", L"капка"}));
  ExpectNoWarning(program);
  CloseHandle(writer);
}

// Endings no one types are searched exactly as the edit box holds them:
// spaces, CR, SUB, the byte 0xFF (я), and the longest ending the box takes.
TEST_F(DialogTest, HostileEndingsAreSearchedExactly) {
  const Program& program = Start();
  const LRESULT limit = SendMessageW(program.edit(), EM_GETLIMITTEXT, 0, 0);
  ASSERT_GT(limit, 2);
  const std::wstring longest(static_cast<std::size_t>(limit), L'я');
  const std::vector<std::wstring> words = {
      L"моя", L"я", L"  я", L"а я", L"б\rя", L"x" + longest, longest.substr(1)};
  WriteList(words, "\n");
  for (const std::wstring& ending :
       {std::wstring(L" я"), std::wstring(L"  я"), std::wstring(L"\rя"), std::wstring(L"я\r"),
        std::wstring(L"я\x1A"), std::wstring(L"оя"), longest}) {
    program.SetEditText(ending);
    const std::wstring held = program.EditText();
    if (held.size() < 2) {  // the box keeps the press from returning
      program.PressAsync();
      ExpectWarning(program, kTooShort);
      continue;
    }
    ASSERT_TRUE(program.Press());
    std::vector<std::wstring> expected;
    for (const std::wstring& word : words) {
      if (word.size() >= held.size() && word.compare(word.size() - held.size(), held.size(), held) == 0) {
        expected.push_back(word);
      }
    }
    EXPECT_EQ(program.Entries(), expected) << "ending of " << held.size() << " characters";
    if (ending == longest) {
      EXPECT_EQ(held, longest);
      EXPECT_EQ(expected.size(), 1u);
    }
  }
  ExpectNoWarning(program);
}

// The button's command searches whatever its notification code: a double
// click, or a code no button sends.
TEST_F(DialogTest, ButtonSearchesWhateverItsNotification) {
  const Program& program = Start();
  const std::vector<std::pair<std::wstring, std::vector<std::wstring>>> searches = {
      {L"ка", {L"котка", L"лодка", L"ка", L"лодка"}},
      {L"та", {L"тата", L"мечта", L"сън и мечта"}},
      {L"КА", {L"КОТКА"}},
  };
  const WORD codes[] = {BN_DOUBLECLICKED, BN_SETFOCUS, 0xBEEF};
  for (std::size_t i = 0; i < searches.size(); ++i) {
    program.SetEditText(searches[i].first);
    ASSERT_TRUE(program.Press(60000, codes[i]));
    EXPECT_EQ(program.Entries(), searches[i].second) << "notification " << codes[i];
  }
  ExpectNoWarning(program);
}

// What a user sees: after a search the list shows its entries on screen,
// and after one that finds nothing it shows none.
TEST_F(DialogTest, ListRepaintsAfterEverySearch) {
  const Program& program = Start();
  // The count once painting has settled: the same twice in a row, and with
  // or without text as expected (or, after 5 s, whatever it is then).
  const auto settled_dark_pixels = [&](bool want_text) {
    int dark = program.DarkPixelsInList();
    for (int tries = 0; tries < 50; ++tries) {
      Sleep(100);
      const int again = program.DarkPixelsInList();
      if (again == dark && (dark > 0) == want_text) break;
      dark = again;
    }
    return dark;
  };
  EXPECT_EQ(settled_dark_pixels(false), 0) << "an empty list shows no text";
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_GT(settled_dark_pixels(true), 50) << "the entries were not drawn";
  ASSERT_TRUE(program.Search(L"яя"));
  EXPECT_EQ(settled_dark_pixels(false), 0) << "the old entries are still on screen";
  ASSERT_TRUE(program.Search(L"та"));
  EXPECT_GT(settled_dark_pixels(true), 50) << "the entries were not drawn";
}

// A line larger than a 32-bit process can hold ends the search like a read
// error: the matches before it stay listed, "rym.txt?" says the list could
// not be read to its end, and the dialog stays open for the next search.
TEST_F(DialogTest, LineTooLargeToHoldKeepsTheDialog) {
  if (sizeof(void*) == 8) GTEST_SKIP() << "a 64-bit program holds a 1.5 GiB line";
  {
    const std::string before = Cp1251(L"котка\r\nлодка\r\n");
    const std::string after = Cp1251(L"\r\nпека\r\n");
    HANDLE file = CreateFileW(ListPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, before.data(), static_cast<DWORD>(before.size()), &written, nullptr);
    // 1.5 GiB of letters: a sparse hole would be NULs, which no line holds.
    const std::string letters(64 << 20, 'a');
    for (int i = 0; i < 24; ++i) {
      ASSERT_TRUE(WriteFile(file, letters.data(), static_cast<DWORD>(letters.size()), &written,
                            nullptr));
    }
    WriteFile(file, after.data(), static_cast<DWORD>(after.size()), &written, nullptr);
    CloseHandle(file);
  }
  const Program& program = Start();
  program.SetEditText(L"ка");
  program.PressAsync();
  const MessageBoxSeen box = program.WaitForMessageBox(120000);
  ASSERT_NE(box.window, nullptr) << "no message box";
  EXPECT_EQ(box.text, L"rym.txt?");
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"котка", L"лодка"}));
  Program::Dismiss(box);
  EXPECT_EQ(program.WaitForExit(2000), static_cast<DWORD>(STILL_ACTIVE));
  ExpectNoWarning(program);

  WriteList({L"река", L"пека"}, "\r\n");
  ASSERT_TRUE(program.Search(L"ка"));
  EXPECT_EQ(program.Entries(), (std::vector<std::wstring>{L"река", L"пека"}));
  ExpectNoWarning(program);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const auto paths = versalo::testing::PathArguments(argc, argv, 1,
                                                     "dialog_test VERSALO_EXE [SCREENSHOT_BMP]");
  if (paths.empty()) return 2;
  g_exe = paths[0];
  if (paths.size() > 1) g_screenshot = paths[1];
  return RUN_ALL_TESTS();
}
