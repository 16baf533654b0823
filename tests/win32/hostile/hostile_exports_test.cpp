// A careless engine calling the exports with every argument out of range:
// each call returns what the interface promises, and the process lives on.
#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "harness/clipboard_reader.h"
#include "harness/harness.h"

namespace vnscope::test {
namespace {

// A record whose every field the library must leave alone.
MonitorSet Sentinel(uint32_t size) {
  MonitorSet set{};
  set.size = size;
  for (HWND* slot : {&set.variableList, &set.objectList, &set.otherInfo, &set.executionLog, &set.preview,
                     &set.database}) {
    *slot = reinterpret_cast<HWND>(0x5EC7);
  }
  return set;
}

bool SameRecord(const MonitorSet& a, const MonitorSet& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST(HostileExports, CreateMonitorsRefusesOtherVersionsAndANullRecord) {
  const VnscopeDll& dll = VnscopeDll::Get();
  FakeEngine engine;
  for (int32_t version : {INT32_MIN, -2, -1, 0, 1, 3, 4, INT32_MAX}) {
    MonitorSet set = Sentinel(24);
    EXPECT_FALSE(dll.CreateMonitors(version, engine.window(), &set)) << version;
    EXPECT_TRUE(SameRecord(set, Sentinel(24))) << version;
  }
  EXPECT_FALSE(dll.CreateMonitors(2, engine.window(), nullptr));
}

TEST(HostileExports, CreateMonitorsTakesAnySizeAndDestroyMonitorsAnyRecord) {
  const VnscopeDll& dll = VnscopeDll::Get();
  FakeEngine engine;
  for (uint32_t size : {0u, 1u, 15u}) {
    MonitorSet set = Sentinel(size);
    EXPECT_TRUE(dll.CreateMonitors(2, engine.window(), &set)) << size;
    EXPECT_TRUE(SameRecord(set, MonitorSet{size})) << "every slot cleared, size kept: " << size;
  }
  // The largest size creates all six, even without an owner window.
  for (HWND owner : {engine.window(), HWND{nullptr}}) {
    MonitorSet set = Sentinel(UINT32_MAX);
    EXPECT_TRUE(dll.CreateMonitors(2, owner, &set));
    for (HWND window : {set.variableList, set.objectList, set.otherInfo, set.executionLog, set.preview, set.database}) {
      EXPECT_TRUE(IsWindow(window));
    }
    dll.DestroyMonitors(&set);
    EXPECT_FALSE(IsWindow(set.database));
  }
  dll.DestroyMonitors(nullptr);
  // Slots that hold no window of ours: nothing to destroy, nothing breaks.
  MonitorSet strangers = Sentinel(UINT32_MAX);
  dll.DestroyMonitors(&strangers);
  EXPECT_TRUE(SameRecord(strangers, Sentinel(UINT32_MAX)));
  EXPECT_TRUE(IsWindow(engine.window()));
}

TEST(HostileExports, OutputClipboardRefusesWhatItCannotCopy) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_TRUE(dll.OutputClipboard("keep", 4));
  const struct {
    const char* why;
    const char* text;
    int32_t length;
  } cases[] = {
      {"no text", nullptr, 5},
      {"negative length", "abc", -1},
      {"the most negative length", "abc", INT32_MIN},
      {"a 2 GiB block, more than a 32-bit process has in one piece", "abc", INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_FALSE(dll.OutputClipboard(c.text, c.length)) << c.why;
  EXPECT_EQ(ClipboardAnsiText(), "keep");
}

// The file OutputBMP32to24 writes for `index`: "thumbnail\%05d.bmp".
std::wstring ThumbnailName(int32_t index) {
  wchar_t name[32];
  std::swprintf(name, std::size(name), L"thumbnail\\%05d.bmp", static_cast<int>(index));
  return name;
}

// The size of a file, -1 when there is none.
int64_t FileSize(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (int64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

TEST(HostileExports, OutputBMP32to24AlwaysReturnsTrueAndWritesOnlyWhatFits) {
  const VnscopeDll& dll = VnscopeDll::Get();
  const uint8_t pixel[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const struct {
    const char* why;
    int32_t width, height;
    const uint8_t* pixels;
    int32_t index;
    int64_t fileBytes;  // 54 header bytes + stride x height, or -1 for no file
  } cases[] = {
      {"negative width", -1, 1, pixel, 720001, -1},
      {"negative height", 1, -1, pixel, 720002, -1},
      {"both sizes at their most negative", INT32_MIN, INT32_MIN, pixel, 720003, -1},
      {"both sizes at their largest", INT32_MAX, INT32_MAX, pixel, 720004, -1},
      {"a 3 GiB file: its size fits the format, not a 32-bit process", 1, 0x30000000, pixel, 720005, -1},
      {"a stride of exactly 2^32 bytes", 0x55555555, 1, pixel, 720006, -1},
      {"a stride past 2^32 bytes, 4 when computed in 32 bits", 0x55555556, 1, pixel, 720007, -1},
      {"pixels missing", 2, 2, nullptr, 720008, -1},
      {"an empty picture needs no pixels", 0, 0, nullptr, 720009, 54},
      {"no rows", 3, 0, nullptr, 720010, 54},
      {"the lowest index", 1, 1, pixel, INT32_MIN, 58},
      {"the highest index", 1, 1, pixel, INT32_MAX, 58},
      {"a negative index", 2, 2, pixel, -1, 54 + 2 * 8},
  };
  for (const auto& c : cases) {
    const std::wstring name = ThumbnailName(c.index);
    DeleteFileW(name.c_str());
    EXPECT_TRUE(dll.OutputBMP32to24(c.width, c.height, c.pixels, c.index)) << c.why;
    EXPECT_EQ(FileSize(name), c.fileBytes) << c.why;
    DeleteFileW(name.c_str());
  }
}

}  // namespace
}  // namespace vnscope::test
