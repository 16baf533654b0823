#include "demo/scene.h"

#include <algorithm>

namespace demo {
namespace {

void FillGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
  const int height = std::max<int>(1, area.bottom - area.top);
  for (int y = 0; y < height; ++y) {
    auto mix = [&](int a, int b) { return a + (b - a) * y / height; };
    HBRUSH brush = CreateSolidBrush(RGB(mix(GetRValue(top), GetRValue(bottom)),
                                        mix(GetGValue(top), GetGValue(bottom)),
                                        mix(GetBValue(top), GetBValue(bottom))));
    RECT row{area.left, area.top + y, area.right, area.top + y + 1};
    FillRect(dc, &row, brush);
    DeleteObject(brush);
  }
}

void DrawCity(HDC dc, const RECT& client, int frame) {
  const int ground = client.bottom * 2 / 3;
  HBRUSH building = CreateSolidBrush(RGB(28, 30, 52));
  HBRUSH window = CreateSolidBrush(RGB(250, 220, 130));
  for (int i = 0, x = 0; x < client.right; ++i) {
    const int width = 50 + (i * 37) % 60;
    const int height = 80 + (i * 53) % 140;
    RECT block{x, ground - height, x + width - 4, ground};
    FillRect(dc, &block, building);
    for (int wy = block.top + 10; wy < ground - 12; wy += 18) {
      for (int wx = block.left + 6; wx < block.right - 8; wx += 14) {
        if (((wx * 7 + wy * 3 + i + frame / 8) % 5) == 0) {
          RECT light{wx, wy, wx + 6, wy + 8};
          FillRect(dc, &light, window);
        }
      }
    }
    x += width;
  }
  DeleteObject(building);
  DeleteObject(window);
  RECT street{0, ground, client.right, client.bottom};
  FillGradient(dc, street, RGB(40, 40, 60), RGB(15, 15, 25));
}

void DrawCharacter(HDC dc, const RECT& client) {
  const int cx = client.right * 2 / 3, ground = client.bottom * 2 / 3 + 40;
  HBRUSH coat = CreateSolidBrush(RGB(180, 60, 80));
  HBRUSH skin = CreateSolidBrush(RGB(250, 225, 205));
  HBRUSH hair = CreateSolidBrush(RGB(60, 40, 35));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, coat);
  POINT body[] = {{cx - 70, ground + 60}, {cx - 40, ground - 140}, {cx + 40, ground - 140}, {cx + 70, ground + 60}};
  Polygon(dc, body, 4);
  SelectObject(dc, hair);
  Ellipse(dc, cx - 52, ground - 262, cx + 52, ground - 130);
  SelectObject(dc, skin);
  Ellipse(dc, cx - 40, ground - 240, cx + 40, ground - 150);
  SelectObject(dc, hair);
  Chord(dc, cx - 46, ground - 262, cx + 46, ground - 180, cx + 46, ground - 215, cx - 46, ground - 215);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(coat);
  DeleteObject(skin);
  DeleteObject(hair);
}

HFONT MakeFont(int height, int weight) {
  return CreateFontW(-height, 0, 0, 0, weight, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                     L"ＭＳ ゴシック");
}

void DrawTextBox(HDC dc, const RECT& client, const SceneState& state) {
  RECT box{16, client.bottom - 130, client.right - 16, client.bottom - 14};
  HBRUSH shade = CreateSolidBrush(RGB(10, 12, 30));
  FillRect(dc, &box, shade);
  DeleteObject(shade);
  HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 2, RGB(200, 200, 230)));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, box.left, box.top, box.right, box.bottom, 12, 12);
  DeleteObject(SelectObject(dc, oldPen));
  SelectObject(dc, oldBrush);

  SetBkMode(dc, TRANSPARENT);
  HFONT nameFont = MakeFont(18, FW_BOLD);
  HFONT lineFont = MakeFont(17, FW_NORMAL);
  HGDIOBJ oldFont = SelectObject(dc, nameFont);
  SetTextColor(dc, RGB(255, 200, 120));
  RECT name{box.left + 16, box.top + 10, box.right - 16, box.top + 34};
  DrawTextW(dc, state.speaker.c_str(), -1, &name, DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, lineFont);
  SetTextColor(dc, RGB(240, 240, 250));
  RECT line{box.left + 16, box.top + 38, box.right - 16, box.bottom - 8};
  DrawTextW(dc, state.line.c_str(), -1, &line, DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  DeleteObject(nameFont);
  DeleteObject(lineFont);
}

// The latest messages from the monitors, top left, as an engine's debug overlay.
void DrawReceived(HDC dc, const SceneState& state) {
  HFONT font = MakeFont(12, FW_NORMAL);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, RGB(160, 255, 160));
  const size_t shown = std::min<size_t>(state.received.size(), 6);
  int y = 8;
  for (size_t i = state.received.size() - shown; i < state.received.size(); ++i, y += 15) {
    TextOutW(dc, 8, y, state.received[i].c_str(), static_cast<int>(state.received[i].size()));
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

}  // namespace

void PaintScene(HDC dc, const RECT& client, const SceneState& state) {
  RECT sky{0, 0, client.right, client.bottom * 2 / 3};
  FillGradient(dc, sky, RGB(20, 24, 70), RGB(120, 80, 140));
  DrawCity(dc, client, state.frame);
  DrawCharacter(dc, client);
  DrawTextBox(dc, client, state);
  DrawReceived(dc, state);
}

}  // namespace demo
