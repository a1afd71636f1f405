// The resources of a built versalo.exe, read back from the file: the dialog
// template control by control, the icon, and that nothing else is there.
// Arguments: the exes to check.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/ui/driver.h"

namespace {

std::vector<std::string> g_exes;

// A name or an ordinal in a resource or a template.
std::string NameOf(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<std::uintptr_t>(name));
  std::string narrow;
  for (; *name != 0; ++name) narrow += static_cast<char>(*name);
  return narrow;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
  reinterpret_cast<std::set<std::string>*>(param)->insert(NameOf(type) + "/" + NameOf(name) +
                                                          "/" + std::to_string(language));
  return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  EnumResourceLanguagesW(module, type, name, AddLanguage, param);
  return TRUE;
}
BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param) {
  EnumResourceNamesW(module, type, AddName, param);
  return TRUE;
}

// Reads a classic dialog template field by field.
class TemplateReader {
 public:
  TemplateReader(const void* data, std::size_t size)
      : bytes_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  std::uint32_t Dword() { return static_cast<std::uint32_t>(Word()) | (static_cast<std::uint32_t>(Word()) << 16); }
  std::uint16_t Word() {
    std::uint16_t value = 0;
    if (pos_ + 2 <= size_) std::memcpy(&value, bytes_ + pos_, 2);
    pos_ += 2;
    return value;
  }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
  std::wstring String() {
    std::wstring text;
    for (std::uint16_t c = Word(); c != 0 && pos_ <= size_; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  // A string, or "#n" for an ordinal.
  std::wstring StringOrOrdinal() {
    const std::size_t start = pos_;
    const std::uint16_t first = Word();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    pos_ = start;
    return String();
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~std::size_t{3}; }
  bool overran() const { return pos_ > size_; }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

struct Control {
  std::uint32_t style;
  std::uint32_t ex_style;
  std::int16_t x, y, cx, cy;
  std::uint16_t id;
  std::wstring window_class;
  std::wstring text;
  std::uint16_t extra;

  bool operator==(const Control&) const = default;
};

void PrintTo(const Control& c, std::ostream* os) {
  *os << "{style 0x" << std::hex << c.style << ", ex 0x" << c.ex_style << std::dec << ", " << c.x
      << "," << c.y << "," << c.cx << "," << c.cy << ", id " << c.id << ", class "
      << ::testing::PrintToString(c.window_class) << ", text " << ::testing::PrintToString(c.text)
      << ", extra " << c.extra << "}";
}

// Classes by their ordinals in a template.
const std::wstring kButton = L"#128", kEdit = L"#129", kStatic = L"#130", kListBox = L"#131";

const Control kControls[] = {
    {0x50020000, 0, 7, 10, 40, 8, 0xFFFF, kStatic, L"Окончание:", 0},
    {0x50810080, 0, 49, 7, 84, 12, 1000, kEdit, L"", 0},
    {0x50A10901, 0, 7, 25, 138, 194, 1002, kListBox, L"", 0},
    {0x50010001, 0, 150, 7, 64, 14, 1003, kButton, L"Провери", 0},
    {0x58020000, 0, 165, 200, 36, 8, 0xFFFF, kStatic, L"Created by", 0},
    {0x5802000C, 0, 161, 209, 43, 10, 0xFFFF, kStatic, L"Versalo team", 0},
};

class ResourceTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(versalo::testing::WindowsPath(GetParam().c_str()).c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot load " << GetParam() << ": error " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // The resource's bytes, or an empty block.
  std::pair<const void*, std::size_t> Load(LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = FindResourceExW(module_, type, name, language);
    if (found == nullptr) return {nullptr, 0};
    return {LockResource(LoadResource(module_, found)), SizeofResource(module_, found)};
  }

  HMODULE module_ = nullptr;
};

// The dialog, the icon group and its two icons, and nothing else.
TEST_P(ResourceTest, HoldsOnlyTheDialogAndTheIcon) {
  std::set<std::string> resources;
  EnumResourceTypesW(module_, AddType, reinterpret_cast<LONG_PTR>(&resources));
  EXPECT_EQ(resources, (std::set<std::string>{"3/1/1033", "3/2/1033", "5/101/1026",
                                              "14/IDR_MAINFRAME/1033"}));
}

// Template 101 in Bulgarian: its header, font, and every control.
TEST_P(ResourceTest, DialogTemplateIsExact) {
  const auto [data, size] = Load(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(101), 1026);
  ASSERT_NE(data, nullptr);
  TemplateReader reader(data, size);
  EXPECT_EQ(reader.Dword(), 0x80C808C0u) << "style";
  EXPECT_EQ(reader.Dword(), 0u) << "extended style";
  const std::uint16_t count = reader.Word();
  EXPECT_EQ(count, 6);
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 222);
  EXPECT_EQ(reader.Short(), 226);
  EXPECT_EQ(reader.StringOrOrdinal(), L"") << "menu";
  EXPECT_EQ(reader.StringOrOrdinal(), L"") << "class";
  EXPECT_EQ(reader.String(), L"Versalo-0.2");
  EXPECT_EQ(reader.Word(), 8) << "point size";
  EXPECT_EQ(reader.String(), L"MS Sans Serif");

  std::vector<Control> controls;
  for (int i = 0; i < count && !reader.overran(); ++i) {
    reader.AlignDword();
    Control c;
    c.style = reader.Dword();
    c.ex_style = reader.Dword();
    c.x = reader.Short();
    c.y = reader.Short();
    c.cx = reader.Short();
    c.cy = reader.Short();
    c.id = reader.Word();
    c.window_class = reader.StringOrOrdinal();
    c.text = reader.StringOrOrdinal();
    c.extra = reader.Word();
    controls.push_back(c);
  }
  EXPECT_FALSE(reader.overran());
  EXPECT_EQ(controls, std::vector<Control>(std::begin(kControls), std::end(kControls)));
}

// The icon group IDR_MAINFRAME: icons 1 and 2, 32x32 and 16x16, 16 colours.
TEST_P(ResourceTest, IconGroupHoldsTwoSixteenColourIcons) {
  const auto [data, size] = Load(MAKEINTRESOURCEW(14), L"IDR_MAINFRAME", 1033);
  ASSERT_NE(data, nullptr);
  TemplateReader group(data, size);
  EXPECT_EQ(group.Word(), 0) << "reserved";
  EXPECT_EQ(group.Word(), 1) << "type: icon";
  ASSERT_EQ(group.Word(), 2) << "count";
  for (const int expected : {32, 16}) {
    const std::uint16_t size_bytes = group.Word();
    EXPECT_EQ(size_bytes & 0xFF, expected) << "width";
    EXPECT_EQ(size_bytes >> 8, expected) << "height";
    EXPECT_EQ(group.Word() & 0xFF, 16) << "colours";
    EXPECT_EQ(group.Word(), 1) << "planes";
    EXPECT_EQ(group.Word(), 4) << "bits per pixel";
    group.Dword();
    const std::uint16_t id = group.Word();
    EXPECT_EQ(id, expected == 32 ? 1 : 2);

    const auto [icon, icon_size] = Load(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(id), 1033);
    ASSERT_NE(icon, nullptr);
    ASSERT_GE(icon_size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, icon, sizeof header);
    EXPECT_EQ(header.biWidth, expected);
    EXPECT_EQ(header.biHeight, 2 * expected) << "image and mask";
    EXPECT_EQ(header.biBitCount, 4);
  }
  EXPECT_FALSE(group.overran());
}

INSTANTIATE_TEST_SUITE_P(Exes, ResourceTest, ::testing::ValuesIn(g_exes));

}  // namespace

int main(int argc, char** argv) {
  // The exes are the parameters, so they must be known before GoogleTest
  // registers the tests.
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest", 7) != 0) g_exes.push_back(argv[i]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  if (g_exes.empty()) {
    std::fprintf(stderr, "usage: resource_test EXE...\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
