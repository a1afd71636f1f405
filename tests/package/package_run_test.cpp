// The package, unpacked and started from its own folder, finds the words
// ending in "та" and "ище" through the dialog: the same words, in the same
// order, as the search core finds in the package's rym.txt.
// Argument: the unpacked folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "search/ending_search.h"
#include "tests/ui/driver.h"

namespace {

std::wstring g_folder;

// The matches as the dialog shows them: UTF-16 from code page 1251.
class WideSink : public versalo::ResultSink {
 public:
  void Clear() override { lines.clear(); }
  void Add(std::string_view line) override {
    std::wstring wide(line.size(), L'\0');
    wide.resize(MultiByteToWideChar(1251, 0, line.data(), static_cast<int>(line.size()),
                                    wide.data(), static_cast<int>(wide.size())));
    lines.push_back(wide);
  }
  std::vector<std::wstring> lines;
};

// What the core finds in the package's rym.txt, as the dialog shows it.
std::vector<std::wstring> CoreMatches(const std::wstring& ending) {
  WideSink sink;
  std::string list(g_folder.begin(), g_folder.end());
  list += "\\rym.txt";
  versalo::WordListOptions options;
  options.path = list.c_str();
  EXPECT_EQ(versalo::FindEndingMatches(versalo::testing::Cp1251(ending), sink, options),
            versalo::SearchOutcome::Listed);
  return sink.lines;
}

TEST(PackageTest, FindsTheWordsEndingInTaAndIshte) {
  versalo::testing::Program program(g_folder + L"\\versalo.exe", g_folder);
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.Search(L"та"));
  EXPECT_EQ(program.EntryCount(), 84176);
  const std::vector<std::wstring> ta = CoreMatches(L"та");
  ASSERT_EQ(ta.size(), 84176u);
  // Reading all 84,176 entries across processes takes over a minute under
  // Wine: the first and last hundred and a spread between them.
  for (int i = 0; i < 84176; i += (i < 100 || i >= 84076) ? 1 : 397) {
    ASSERT_EQ(program.Entry(i), ta[static_cast<std::size_t>(i)]) << "entry " << i;
  }
  // A rarer ending, every entry.
  ASSERT_TRUE(program.Search(L"ище"));
  const std::vector<std::wstring> ishte = CoreMatches(L"ище");
  EXPECT_EQ(ishte.size(), 111u);
  EXPECT_EQ(program.Entries(), ishte);
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const auto paths = versalo::testing::PathArguments(argc, argv, 1, "package_run_test FOLDER");
  if (paths.empty()) return 2;
  g_folder = paths[0];
  return RUN_ALL_TESTS();
}
