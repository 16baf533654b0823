// The browser's report list (list view 1016) as a virtual list over the rows
// of the current tab. Filling it gives the control a row count instead of
// thousands of items (each inserted item and cell costs microseconds under
// Wine), and the list asks for the cells it draws or is read. Everything the
// list showed as items still reads back through the list's own messages:
// cell texts, each row's data value (the report's state), searches.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "browser/report_table.h"

namespace vnscope {

// Starts answering for `list` (there is one browser, hence one list, at a
// time); DetachReportList puts the list's own procedure back and forgets the
// rows.
void AttachReportList(HWND list);
void DetachReportList();

// Shows the records of `table` that the tab `filter` lists: deletes every
// item, then gives the list the new rows in name order.
void FillReportList(const ReportTable& table, int filter);

// The report name of a row, whole; empty outside the rows.
std::u16string ReportListName(int row);

// Drops the rows before the table they point into changes; until the next
// fill the list shows empty cells.
void ForgetReportRows();

// The answer to a notification from the list that the rows give (cell texts,
// searches, row colours); none for the others.
std::optional<LRESULT> AnswerReportListNotify(NMHDR* header);

}  // namespace vnscope
