// The report package as the send flow puts it together: which entries, in
// which order, from what the tester wrote, drew and chose.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "canvas/pixel_buffer.h"
#include "report/package/zip_writer.h"
#include "report/protocol/text_codec.h"
#include "report/report_text.h"
#include "report/state/game_state_entries.h"

namespace vnscope {

// What the tester chose in the send confirmation.
struct SendChoice {
  std::u16string title;     // at most 255 characters
  std::u16string reporter;  // the Windows user name
  uint32_t flags = 0;       // ReportFlags
  bool gameState = false;   // "ゲーム状態": variables, panel and log go along
};

// What the report is made of. The snapshot has already been flattened.
struct ReportParts {
  std::u16string_view header;
  std::u16string_view text;
  const PixelBuffer* snapshot = nullptr;
  const ObjectRows* objects = nullptr;
  std::string_view reportId;  // the dialog's (report_id.h); empty: none
  const GameStateEntries* gameState = nullptr;  // read when the tester sent
};

enum class ComposeStatus {
  Composed,
  ZipNotStarted,      // the writer was already open
  PngFailed,          // no snapshot, an empty one, or the encoder failed
  PackageIncomplete,  // an entry could not be stored: no package is handed out
};

// Starts `zip` and adds "author"; with HasText "scriptinfo.txt"; with
// HasSnapshot "snapshot.png" and "objectlist.csv"; with the game state
// "variables.csv", "gamestate.txt" and "executionlog.txt"; last, with a
// report id, "reportid"; then finishes it. On Composed, `package` views the archive,
// which `zip` owns until released.
ComposeStatus ComposeReport(const SendChoice& choice, const ReportParts& parts, const TextCodec& codec,
                            ZipWriter* zip, PackageView* package);

}  // namespace vnscope
