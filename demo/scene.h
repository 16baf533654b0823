// The demo engine's game screen: a drawn scene with a character and a text box.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace demo {

struct SceneState {
  int frame = 0;
  std::wstring speaker = L"千早";
  std::wstring line = L"……ねえ、聞こえてる？　この街の夜は、思ったより静かなんだね。";
  std::vector<std::wstring> received;  // what the monitors sent, newest last
};

// Paints the whole client area (back buffer included) into `dc`.
void PaintScene(HDC dc, const RECT& client, const SceneState& state);

}  // namespace demo
