/* vnscope: the engine's view of the debugging companion DLL.
 *
 * An engine loads vnscope.dll in development builds, calls CreateMonitors once
 * with its main window, feeds the monitor windows with WM_COPYDATA messages
 * (dwData = command number, lpData = record, wParam = the sending window),
 * handles the WM_COPYDATA messages the monitors send back to its main window,
 * and calls DestroyMonitors before its main window goes away. In what comes
 * back, wParam is the panel itself for the panel's commands, but for
 * VN_VARIABLE_EDITED the edit control inside the variable list: its
 * GetParent is the variable list monitor. The report browser's
 * "この状態を再現" sends the same two (VN_VARIABLE_EDITED from that edit
 * control, then VN_JUMP_TO_LABEL from the panel) to put the game into a
 * report's state: an engine that handles them needs nothing more for it.
 *
 * Reports that could not be sent wait on the tester's machine; a thread of the
 * DLL's own sends them from CreateMonitors on and stops at DestroyMonitors. It
 * keeps the DLL loaded until it has let go, a moment after DestroyMonitors.
 *
 * Every record below is 32-bit little-endian; pointers inside records point into
 * the engine's own memory and need stay valid only while the message is handled
 * (the database tree excepted: it stays alive until the next VN_LOAD_DATABASE).
 */
#ifndef VNSCOPE_H
#define VNSCOPE_H

#include <windows.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VNSCOPE_INTERFACE_VERSION 2

/* The monitor windows, filled by CreateMonitors. `size` selects which exist:
 * 16 or more the first four, 20 or more also `preview`, 24 or more all six. */
typedef struct MonitorSet {
  uint32_t size;
  HWND variableList; /* dialog 101 */
  HWND objectList;   /* dialog 102 */
  HWND otherInfo;    /* dialog 103 */
  HWND executionLog; /* dialog 104 */
  HWND preview;      /* dialog 105 */
  HWND database;     /* dialog 113 */
} MonitorSet;

/* The record for DebugReport. The library writes one 0 byte at offset 60. */
typedef struct ReportInfo {
  uint32_t reserved;
  char hash[32];          /* script data hash, exactly 32 characters, no terminator */
  char date[25];          /* script data date, at most 24 characters */
  char padding[3];
  int32_t scriptSize;     /* script data size in bytes */
  wchar_t displayedText[256]; /* name and text on screen, NUL-terminated */
  int32_t width;          /* screenshot width in pixels */
  int32_t height;         /* screenshot height in pixels */
  int32_t bitsPerPixel;   /* 32 */
  const void* pixels;     /* bottom-up rows of B, G, R, A bytes */
} ReportInfo;

/* Host commands (dwData) to each monitor, and from the monitors to the engine. */
enum {
  /* variable list */
  VN_ADD_VARIABLE_NAME = 1,  /* VariableMessage: name */
  VN_SET_VARIABLE_VALUE = 2, /* VariableMessage: position and decimal text */
  VN_COMMIT_VARIABLES = 3,   /* RegisterMapEntry[cbData / 8] */
  VN_VARIABLE_EDITED = 3,    /* to the engine from the list's edit control: 512 bytes, typed text then name */
  /* object list */
  VN_CLEAR_OBJECTS = 0,
  VN_ADD_OBJECT = 1,         /* ObjectEntry, 16 or 24 bytes */
  /* other-information panel */
  VN_ADD_JUMP_LABEL = 0,     /* UTF-16 text */
  VN_SET_JUMP_LABEL = 1,
  VN_SET_VOICE = 2,
  VN_SET_BGS = 3,
  VN_SET_BGV = 4,
  VN_JUMP_TO_LABEL = 1,      /* to the engine: 512 bytes of UTF-16 text */
  VN_OBJECT_LIST_TO_TEXT = 2,/* to the engine: one state byte (so are 4 and 6) */
  VN_SHOW_IMAGE_ERRORS = 4,
  VN_GALLERY_FULL_OPEN = 5,  /* to the engine: no record, cbData 0 (so are 7, 8, 9) */
  VN_SHOW_FPS_IN_TITLE = 6,
  VN_FORCE_EXIT_SCENE = 7,
  VN_CHECK_TEXT_LENGTH = 8,
  VN_CHECK_ASSETS = 9,
  /* execution log */
  VN_LOG_FILE_NAME = 0,      /* UTF-16 path */
  /* preview */
  VN_PREVIEW_IMAGE = 0,      /* PreviewImage, cbData exactly 16 */
  /* database */
  VN_LOAD_DATABASE = 0,      /* lpData is the root DatabaseNode */
  VN_REFRESH_DATABASE = 1
};

/* Commands of the variable list's context menu. The engine may send them to
 * `variableList` as WM_COMMAND (wParam = the command) as well, for a key of
 * its own; watching acts on the list's focused row. */
enum {
  VN_FIND_VARIABLE = 40101,  /* shows the find box (Ctrl+F on the list) */
  VN_ADD_WATCH = 40102,      /* watches the focused variable */
  VN_REMOVE_WATCH = 40103,   /* stops watching it */
  VN_CLEAR_CHANGES = 40104   /* ends every change highlight at once */
};

typedef struct VariableMessage {
  uint32_t reserved0;
  int32_t position;          /* table position, for VN_SET_VARIABLE_VALUE */
  uint32_t reserved1[3];
  const wchar_t* text;       /* name, or the new value as decimal text */
} VariableMessage;

typedef struct RegisterMapEntry {
  uint16_t registerNumber;
  uint16_t scope;            /* 0x0102: index counts among the "@" names */
  int32_t index;
} RegisterMapEntry;

typedef struct ObjectEntry {
  int32_t number;
  const wchar_t* name;
  int32_t type;
  uint8_t state;             /* 0 shown, 0xFE failed, otherwise hidden */
  uint8_t padding[3];
  int32_t x;                 /* only with cbData 24 */
  int32_t y;
} ObjectEntry;

typedef struct PreviewImage {
  int32_t width;
  int32_t height;
  uint8_t bitsPerPixel;
  uint8_t padding[3];
  const void* pixels;        /* bottom-up rows without padding */
} PreviewImage;

typedef struct DatabaseNode {
  uint32_t reserved;
  struct DatabaseNode* next; /* next sibling */
  int32_t type;              /* 1 string, 2 number, 3 boolean, 4 object, 5 array */
  const char* key;           /* UTF-8, or NULL */
  union {
    const char* text;        /* UTF-8 */
    double number;
    int32_t boolean;
    struct DatabaseNode* firstChild;
  } value;
} DatabaseNode;

/* The five exports: C linkage, undecorated names, the C calling convention,
 * one-byte boolean results. Engines that load the DLL at run time use the
 * pointer types with GetProcAddress. */
#ifdef VNSCOPE_BUILDING_DLL
#define VNSCOPE_API __declspec(dllexport)
#else
#define VNSCOPE_API __declspec(dllimport)
#endif

VNSCOPE_API bool __cdecl CreateMonitors(int32_t version, HWND owner, MonitorSet* set);
VNSCOPE_API void __cdecl DestroyMonitors(MonitorSet* set);
VNSCOPE_API bool __cdecl DebugReport(MonitorSet* set, ReportInfo* info);
VNSCOPE_API bool __cdecl OutputClipboard(const char* text, int32_t length);
VNSCOPE_API bool __cdecl OutputBMP32to24(int32_t width, int32_t height, const uint8_t* pixels, int32_t index);

typedef bool(__cdecl* CreateMonitorsFn)(int32_t, HWND, MonitorSet*);
typedef void(__cdecl* DestroyMonitorsFn)(MonitorSet*);
typedef bool(__cdecl* DebugReportFn)(MonitorSet*, ReportInfo*);
typedef bool(__cdecl* OutputClipboardFn)(const char*, int32_t);
typedef bool(__cdecl* OutputBMP32to24Fn)(int32_t, int32_t, const uint8_t*, int32_t);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
// Fetches an export with its exact type; GetProcAddress knows none.
template <typename Function>
inline Function VnscopeExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
#endif

#if defined(__cplusplus) && !defined(_WIN64)
static_assert(sizeof(MonitorSet) == 28, "MonitorSet layout");
static_assert(offsetof(ReportInfo, date) == 36 && offsetof(ReportInfo, scriptSize) == 64 &&
                  offsetof(ReportInfo, displayedText) == 68 && offsetof(ReportInfo, width) == 580 &&
                  offsetof(ReportInfo, pixels) == 592,
              "ReportInfo layout");
static_assert(sizeof(VariableMessage) == 24 && offsetof(VariableMessage, text) == 20, "VariableMessage layout");
static_assert(sizeof(RegisterMapEntry) == 8, "RegisterMapEntry layout");
static_assert(sizeof(ObjectEntry) == 24 && offsetof(ObjectEntry, x) == 16, "ObjectEntry layout");
static_assert(sizeof(PreviewImage) == 16, "PreviewImage layout");
static_assert(offsetof(DatabaseNode, value) == 16 && sizeof(DatabaseNode) == 24, "DatabaseNode layout");
#endif

#endif /* VNSCOPE_H */
