#include "browser/state_restore.h"

#include <string>

#include "report/state/reported_state.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr wchar_t kCaption[] = L"Debug Report";

}  // namespace

void RestoreReportedState(HWND browser, RunningGame* game, bool fetched,
                          const std::vector<std::vector<uint8_t>>& entries) {
  const bool complete = fetched && entries.size() == 2;
  const auto variables = complete ? ParseVariablesEntry(entries[0]) : std::nullopt;
  const auto label = complete ? GameStateValue(entries[1], "label") : std::nullopt;
  if (!game) return;
  if (!variables || !label) {
    MessageBoxW(browser, L"ゲーム状態の受信に失敗しましたorz", kCaption, MB_OK);
    return;
  }
  const std::wstring question = AsWide(RestoreQuestion(PlanRestore(game->Variables(), *variables), *label));
  if (MessageBoxW(browser, question.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // The engine kept running while the tester read the question: the writes
  // go to the table as it is now, and only where the values still differ.
  for (const VariableWrite& write : PlanRestore(game->Variables(), *variables).writes) {
    game->TypeVariableValue(write.position, DecimalText(write.value));
  }
  // A label the game does not know goes out all the same: the engine decides.
  if (!label->empty()) game->JumpToLabel(*label);
}

}  // namespace vnscope
