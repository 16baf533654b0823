/* Stands in for the image editor in the browser tests. It appends its process
 * id and the command line it was given to "opened.txt" next to itself, then
 * looks at its message queue once, which makes it idle for input, and ends.
 * When a file "busy" lies next to it, it never looks at its queue and stays
 * for 20 s instead: an editor that never becomes idle. */
#include <windows.h>

static void FolderOfSelf(wchar_t* folder, DWORD size) {
  DWORD length = GetModuleFileNameW(NULL, folder, size);
  while (length > 0 && folder[length - 1] != L'\\') --length;
  folder[length] = 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH + 16];
  wchar_t line[2 * MAX_PATH];
  char utf8[6 * MAX_PATH];
  HANDLE record;
  DWORD written;
  int length;
  MSG message;
  (void)instance;
  (void)previous;
  (void)show;

  FolderOfSelf(folder, MAX_PATH);
  wsprintfW(line, L"%lu\t%s\r\n", GetCurrentProcessId(), arguments);
  length = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, NULL, NULL);
  wsprintfW(path, L"%sopened.txt", folder);
  record = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (record != INVALID_HANDLE_VALUE) {
    if (length > 1) WriteFile(record, utf8, (DWORD)(length - 1), &written, NULL);
    CloseHandle(record);
  }

  wsprintfW(path, L"%sbusy", folder);
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
    Sleep(20000);
    return 0;
  }
  PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE);
  return 0;
}
