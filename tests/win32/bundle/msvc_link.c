/* A program as Microsoft's toolchain builds it: compiled by clang for the
 * Microsoft ABI and linked by lld-link, LLVM's Microsoft-compatible linker,
 * with nothing but the bundle's vnscope.lib (no C runtime, no system import
 * libraries; hence the prototypes written out here instead of vnscope.h,
 * which needs the Windows headers). The exit code has one bit per export
 * call that did not answer as documented; the calls need no window. */
typedef struct MonitorSet { unsigned size; void* slots[6]; } MonitorSet;
__declspec(dllimport) _Bool __cdecl CreateMonitors(int version, void* owner, MonitorSet* set);
__declspec(dllimport) void __cdecl DestroyMonitors(MonitorSet* set);
__declspec(dllimport) _Bool __cdecl DebugReport(MonitorSet* set, void* info);
__declspec(dllimport) _Bool __cdecl OutputClipboard(const char* text, int length);
__declspec(dllimport) _Bool __cdecl OutputBMP32to24(int width, int height, const unsigned char* pixels, int index);

static MonitorSet set;

/* The process entry point: the system passes the PEB and exits with the result. */
unsigned long __stdcall Start(void* peb) {
  static const unsigned char pixels[4] = {1, 2, 3, 255};
  unsigned long failures = 0;
  (void)peb;
  set.size = 28;
  if (CreateMonitors(1, 0, &set)) failures |= 1; /* version 1 is refused */
  DestroyMonitors(0);
  if (DebugReport(0, 0)) failures |= 2; /* no record: false, nothing shown */
  if (!OutputClipboard("abc", 3)) failures |= 4;
  if (!OutputBMP32to24(1, 1, pixels, 3)) failures |= 8; /* writes thumbnail\00003.bmp */
  return failures;
}
