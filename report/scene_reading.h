// What the report reads from the engine's monitors, through window messages
// only: the object list's rows and the texts of single controls.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "report/report_text.h"

namespace vnscope {

// The rows of a report-view list, each cut at its first empty cell; a cell is
// read at most kMaxCellLength characters long. A missing list has no rows.
ObjectRows ReadObjectRows(HWND list);

// A window's text, at most `maxChars` characters. A missing window: "".
std::u16string ReadWindowText(HWND window, size_t maxChars);

// A window's whole text.
std::u16string ReadWholeText(HWND window);

// Replaces the edit's selection with `text`, so that it lands at the caret.
void InsertAtCaret(HWND edit, std::u16string_view text);

}  // namespace vnscope
