// Drives the real versalo.exe from another process, as a user would: finds
// its dialog, types into it, presses its button and reads what it shows.
#ifndef VERSALO_TESTS_UI_DRIVER_H
#define VERSALO_TESTS_UI_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

namespace versalo::testing {

// A Windows path for a path given on the command line under Wine, where
// CMake hands over Unix paths.
std::wstring WindowsPath(const char* path);

// A new, empty folder under the temporary folder.
std::wstring MakeTempFolder(const std::wstring& prefix);
// Removes a folder made by MakeTempFolder, with the files and folders in it.
void RemoveTempFolder(const std::wstring& folder);

// For a test program's main, after InitGoogleTest: checks that the ANSI
// code page is the one the run asked for (VERSALO_EXPECT_ACP, else 1251),
// so that a locale Wine did not take cannot pass unseen, and that at least
// `required` arguments are left, and returns them as Windows paths; says
// what is wrong and returns nothing otherwise.
std::vector<std::wstring> PathArguments(int argc, char** argv, int required, const char* usage);

// Text in code page 1251, the word list's, from UTF-16.
std::string Cp1251(const std::wstring& text);

// A message box of the program: its window and what it shows.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
  int visible_buttons = 0;
  bool ok_button = false;
  bool icon = false;
};

class Program {
 public:
  // Starts `exe` in `folder` and waits for its dialog.
  Program(const std::wstring& exe, const std::wstring& folder);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return dialog_ != nullptr; }
  HWND dialog() const { return dialog_; }
  HWND edit() const { return GetDlgItem(dialog_, 1000); }
  HWND list() const { return GetDlgItem(dialog_, 1002); }
  HWND button() const { return GetDlgItem(dialog_, 1003); }
  DWORD thread_id() const { return info_.dwThreadId; }
  HANDLE process() const { return info_.hProcess; }

  std::wstring EditText() const;
  void SetEditText(const std::wstring& text) const;
  std::vector<std::wstring> Entries() const;
  int EntryCount() const;
  std::wstring Entry(int index) const;

  // Presses the button and waits until its command has returned; false when
  // it has not within the time (a message box keeps it from returning).
  // Other notification codes than a click come from the button too.
  bool Press(DWORD timeout_ms = 60000, WORD notification = BN_CLICKED) const;
  // Presses the button without waiting, for commands that show a box.
  void PressAsync() const;
  // Sets the ending and presses the button; false as for Press.
  bool Search(const std::wstring& ending) const;

  // The "Warning" box owned by the dialog, waited for up to `timeout_ms`.
  MessageBoxSeen WaitForMessageBox(DWORD timeout_ms = 10000) const;
  // Presses a box's OK button.
  static void Dismiss(const MessageBoxSeen& box);

  // Waits for the dialog's window to be destroyed (or the process to end);
  // false when it is still there after the time.
  bool WaitForDialogToGo(DWORD timeout_ms) const;
  // Waits for the process to end; its exit status, or STILL_ACTIVE.
  DWORD WaitForExit(DWORD timeout_ms = 10000) const;

  // Waits until the result list shows text and the dialog, as the screen
  // shows it, is the same in two looks 100 ms apart: drawing has settled,
  // however slowly the program runs. False when it has not within the time.
  bool WaitForListDrawn(DWORD timeout_ms = 30000) const;
  // Writes the dialog as it is on screen to a 24-bit BMP file.
  bool Screenshot(const std::wstring& bmp_path) const;
  // How many pixels of the result list's inside, as the screen shows it,
  // are dark as text is; -1 when they cannot be read.
  int DarkPixelsInList() const;

 private:
  PROCESS_INFORMATION info_{};
  HWND dialog_ = nullptr;
};

// Text of another process's window, through WM_GETTEXT.
std::wstring WindowText(HWND window);

}  // namespace versalo::testing

#endif  // VERSALO_TESTS_UI_DRIVER_H
