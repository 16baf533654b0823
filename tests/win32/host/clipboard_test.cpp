// OutputClipboard: bytes as given, a terminator added, CF_TEXT in the
// system's ANSI code page.
#include <string>

#include "harness/clipboard_reader.h"
#include "harness/harness.h"
#include "harness/pe_image.h"

namespace vnscope::test {
namespace {

struct ClipboardCase {
  std::string bytes;
  int32_t length;
  std::string expected;  // what a CF_TEXT reader sees
};

TEST(OutputClipboard, PutsTheBytesAsText) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.OutputClipboard, nullptr);
  const ClipboardCase cases[] = {
      {"abc", 3, "abc"},
      {"abc", 0, ""},
      {"abcdef", 2, "ab"},                      // only `length` bytes are taken
      {std::string("a\0b", 3), 3, "a"},         // an inner zero ends the text for readers
  };
  for (const ClipboardCase& c : cases) {
    EXPECT_TRUE(dll.OutputClipboard(c.bytes.data(), c.length)) << c.expected;
    EXPECT_EQ(ClipboardAnsiText(), c.expected);
  }
}

TEST(OutputClipboard, ShiftJisBytesReadBackAsJapanese) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.OutputClipboard, nullptr);
  // 日本 in code page 932.
  const char bytes[] = {'\x93', '\xFA', '\x96', '\x7B'};
  ASSERT_TRUE(dll.OutputClipboard(bytes, 4));
  EXPECT_EQ(ClipboardUnicodeText(), L"日本");
}

TEST(OutputClipboard, RefusesNegativeLengthAndMissingText) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.OutputClipboard, nullptr);
  ASSERT_TRUE(dll.OutputClipboard("keep", 4));
  EXPECT_FALSE(dll.OutputClipboard("abc", -1));
  EXPECT_FALSE(dll.OutputClipboard("abc", INT32_MIN));
  EXPECT_FALSE(dll.OutputClipboard(nullptr, 3));
  EXPECT_EQ(ClipboardAnsiText(), "keep");
  EXPECT_TRUE(dll.OutputClipboard(nullptr, 0));
  EXPECT_EQ(ClipboardAnsiText(), "");
}

// GlobalLock failing in the DLL: the block is freed unfilled and the
// clipboard keeps what it held.
LPVOID WINAPI LockThatFails(HGLOBAL) { return nullptr; }

TEST(OutputClipboard, ABlockThatCannotBeLockedLeavesTheClipboardAsItWas) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.OutputClipboard, nullptr);
  ASSERT_TRUE(dll.OutputClipboard("keep", 4));
  {
    const ScopedImportPatch failingLock(dll.module, "kernel32.dll", "GlobalLock",
                                        reinterpret_cast<const void*>(&LockThatFails));
    ASSERT_TRUE(failingLock.patched());
    EXPECT_FALSE(dll.OutputClipboard("abc", 3));
  }
  EXPECT_EQ(ClipboardAnsiText(), "keep");
  EXPECT_TRUE(dll.OutputClipboard("abc", 3));
  EXPECT_EQ(ClipboardAnsiText(), "abc");
}

}  // namespace
}  // namespace vnscope::test
