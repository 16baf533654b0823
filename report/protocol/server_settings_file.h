// The DLL's side of the server settings: vnscope.ini in the folder the DLL
// was loaded from, read once when the report code first asks for the server.
#pragma once
#include <string>

#include "report/protocol/server_settings.h"

namespace vnscope {

// The settings in force for this process: the file's endpoint, or the built-in
// one with the reason the file was not used. A missing file is no problem.
const ServerSettings& ModuleServerSettings();

// The message about a settings file that was not used, the first time it is
// asked for; empty afterwards and when there was nothing wrong. The report
// dialog adds it to its failure message, so the tester learns why the report
// went to the default server, once.
std::u16string TakeServerSettingsNotice();

}  // namespace vnscope
