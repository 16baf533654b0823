#include "report/report_composer.h"

#include <vector>

#include "report/package/package_entries.h"
#include "report/package/png_encode.h"
#include "report/protocol/byte_buffer.h"
#include "report/protocol/package_entry_names.h"
#include "report/protocol/report_id.h"
#include "report/protocol/report_types.h"

namespace vnscope {
namespace {

// A failed add breaks the writer, and Finish then hands out nothing; so the
// results of the adds need no checking here.
void AddEntry(ZipWriter* zip, const char* name, const std::vector<uint8_t>& data) {
  zip->Add(name, data.data(), static_cast<uint32_t>(data.size()));
}

}  // namespace

ComposeStatus ComposeReport(const SendChoice& choice, const ReportParts& parts, const TextCodec& codec,
                            ZipWriter* zip, PackageView* package) {
  if (!zip->Start()) return ComposeStatus::ZipNotStarted;
  AddEntry(zip, "author", AuthorEntry(choice.title, choice.reporter, choice.flags));
  if (choice.flags & ReportFlags::HasText) {
    AddEntry(zip, "scriptinfo.txt", ScriptInfoEntry(parts.header, parts.text, codec));
  }
  if (choice.flags & ReportFlags::HasSnapshot) {
    ByteBuffer png;
    if (parts.snapshot == nullptr || EncodePng(*parts.snapshot, &png) != 0) {
      zip->Finish();
      zip->Release();
      return ComposeStatus::PngFailed;
    }
    zip->Add("snapshot.png", png.Data(), png.RequestedSize());
    AddEntry(zip, "objectlist.csv", ObjectListEntry(parts.objects ? *parts.objects : ObjectRows{}, codec));
  }
  if (choice.gameState && parts.gameState) {
    AddEntry(zip, kVariablesEntry, parts.gameState->variables);
    AddEntry(zip, kGameStateEntry, parts.gameState->gameState);
    AddEntry(zip, kExecutionLogEntry, parts.gameState->executionLog);
  }
  // Always the last entry, whatever comes before it.
  if (!parts.reportId.empty()) {
    zip->Add(kReportIdEntry, reinterpret_cast<const uint8_t*>(parts.reportId.data()),
             static_cast<uint32_t>(parts.reportId.size()));
  }
  const std::optional<PackageView> finished = zip->Finish();
  if (!finished) {
    zip->Release();
    return ComposeStatus::PackageIncomplete;
  }
  *package = *finished;
  return ComposeStatus::Composed;
}

}  // namespace vnscope
