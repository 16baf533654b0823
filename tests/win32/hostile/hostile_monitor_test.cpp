// A careless engine feeding the monitors: every command number from 0 to 40
// to every monitor, without a record and with records cut short. Each message
// is answered with 0 and the monitors go on working.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/memory_pressure.h"
#include "harness/modal_steps.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

constexpr ULONG_PTR kLastCommand = 40;

struct MonitorSlot {
  const char* name;
  HWND MonitorSet::*slot;
};
constexpr MonitorSlot kMonitors[] = {
    {"variable list", &MonitorSet::variableList}, {"object list", &MonitorSet::objectList},
    {"other-information panel", &MonitorSet::otherInfo}, {"execution log", &MonitorSet::executionLog},
    {"preview", &MonitorSet::preview}, {"database", &MonitorSet::database},
};

// Records a monitor reads whole whatever cbData says, since its command does
// not read the byte count: a 24-byte VariableMessage, a database node, the
// terminator of a text. Those bytes are there, as zeros; nothing after them.
size_t BytesReadRegardless(HWND MonitorSet::*slot, ULONG_PTR command) {
  if (slot == &MonitorSet::variableList && (command == VN_ADD_VARIABLE_NAME || command == VN_SET_VARIABLE_VALUE)) {
    return sizeof(VariableMessage);
  }
  if (slot == &MonitorSet::database && command == VN_LOAD_DATABASE) return sizeof(DatabaseNode);
  if (slot == &MonitorSet::otherInfo && command <= VN_SET_BGV) return sizeof(wchar_t);
  if (slot == &MonitorSet::executionLog && command == VN_LOG_FILE_NAME) return sizeof(wchar_t);
  return 0;
}

// Short of every record the monitors know: below and between the 16 and 24
// bytes of an object entry, below the 16 of a picture, below and between
// the 8-byte register map entries.
constexpr DWORD kShortSizes[] = {1, 2, 3, 4, 7, 8, 12, 15, 16, 17, 23};

// Message boxes a monitor shows while the engine waits in SendMessage (a
// database root that is no object): read and closed from a thread timer.
struct BoxCloser {
  HWND owner = nullptr;
  std::vector<std::wstring> texts;
};
BoxCloser* g_closer = nullptr;

void CALLBACK CloseOwnedBox(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_closer) return;
  HWND box = OwnedWindow(g_closer->owner, [](HWND window) { return IsWindowVisible(window) != FALSE; });
  if (!box) return;
  g_closer->texts.push_back(MessageBoxText(box));
  PressOk(box);
}

class HostileMonitorTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    SendMessageW(ObjectList(), LVM_DELETEALLITEMS, 0, 0);
  }
  HWND ObjectList() { return GetDlgItem(monitors.set().objectList, IDC_OBJECT_LIST); }

  ScopedMonitors monitors{engine.window(), 24};
};

TEST_F(HostileMonitorTest, EveryCommandWithoutARecordIsAnsweredWithZero) {
  for (const MonitorSlot& monitor : kMonitors) {
    HWND window = monitors.set().*monitor.slot;
    ASSERT_NE(window, nullptr) << monitor.name;
    for (ULONG_PTR command = 0; command <= kLastCommand; ++command) {
      for (DWORD byteCount : {DWORD{0}, DWORD{24}, DWORD{0xFFFFFFFF}}) {
        EXPECT_EQ(SendHostMessage(window, command, nullptr, byteCount, engine.window()), 0)
            << monitor.name << " command " << command << " cbData " << byteCount;
      }
    }
  }
  // A null COPYDATASTRUCT too.
  for (const MonitorSlot& monitor : kMonitors) {
    EXPECT_EQ(SendMessageW(monitors.set().*monitor.slot, WM_COPYDATA, 0, 0), 0) << monitor.name;
  }
  EXPECT_EQ(ListViewRowCount(ObjectList()), 0);
}

TEST_F(HostileMonitorTest, EveryCommandWithAShortRecordIsAnsweredWithZero) {
  BoxCloser closer{monitors.set().database, {}};
  g_closer = &closer;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, CloseOwnedBox);
  for (const MonitorSlot& monitor : kMonitors) {
    HWND window = monitors.set().*monitor.slot;
    for (ULONG_PTR command = 0; command <= kLastCommand; ++command) {
      for (DWORD byteCount : kShortSizes) {
        const GuardedBytes record(std::max<size_t>(byteCount, BytesReadRegardless(monitor.slot, command)));
        ASSERT_NE(record.data(), nullptr);
        EXPECT_EQ(SendHostMessage(window, command, record.data(), byteCount, engine.window()), 0)
            << monitor.name << " command " << command << " cbData " << byteCount;
      }
    }
  }
  KillTimer(nullptr, timer);
  g_closer = nullptr;
  // An object entry needs 16 bytes: 16, 17 and 23 each added a row (without
  // a name: the name pointer was 0), the shorter ones none.
  EXPECT_EQ(ListViewRowCount(ObjectList()), 3);
  // Each zeroed database root is a node of type 0, which is no object.
  EXPECT_EQ(closer.texts, std::vector<std::wstring>(std::size(kShortSizes), L"処理可能なDBではありません。"));

  // The monitors work on: a variable announced and committed shows.
  VariableMessage name{};
  name.text = L"#after";
  SendHostMessage(monitors.set().variableList, VN_ADD_VARIABLE_NAME, &name, sizeof(name));
  SendHostMessage(monitors.set().variableList, VN_COMMIT_VARIABLES, nullptr, 0);
  HWND variables = GetDlgItem(monitors.set().variableList, IDC_VARIABLE_LIST);
  ASSERT_EQ(ListViewRowCount(variables), 1);
  EXPECT_EQ(ListViewCell(variables, 0, 0), L"#after");
}

}  // namespace
}  // namespace vnscope::test
