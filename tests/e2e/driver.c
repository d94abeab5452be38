/* Runs the launcher once, as a debuggee, and records what it does.
 *
 * usage: driver JOB_FILE RESULT_FILE
 *
 * The job file holds lines "key value", values in hexadecimal bytes:
 *   timeout  <milliseconds, decimal>
 *   cwd      <ANSI bytes>           current directory for the launcher
 *   cmdline  <ANSI bytes>           its full command line
 *   cmdline8 <UTF-8 bytes>          the same, for a command line that the ANSI code page
 *                                    cannot express (started through the wide call)
 *   device   <UTF-8 instance id> <UTF-8 hardware IDs, NUL-separated, or ->
 *   hold     <ANSI path>             leave each message box up until this file exists
 *   station  <ANSI name>             start the launcher on the desktop "Default" of a new
 *                                    window station of that name, where nobody sees it
 *   appdefaults <UTF-8 program file name> <UTF-8 Windows version name, or ->
 *                                    the Windows version that Wine reports to programs of
 *                                    that file name ("win7"...), or none of its own: set
 *                                    before the start and removed after the run
 * Devices are written to the registry as present USB device interfaces, in
 * the order given, replacing any from an earlier job.
 *
 * The result file gets one line per event, in order:
 *   acp <code page, decimal>        the ANSI code page of this run
 *   debug <bytes>                   an OutputDebugStringA text
 *   box <caption bytes> <text bytes>  a message box, dismissed with OK
 *   exit <code, decimal>
 *   timeout                         the time limit passed; the launcher is killed
 *   error <text>                    the driver itself failed
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define USB_INTERFACE_CLASS L"{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
#define DEVICE_CLASSES L"System\\CurrentControlSet\\Control\\DeviceClasses\\" USB_INTERFACE_CLASS
#define ENUM_ROOT L"System\\CurrentControlSet\\Enum"
#define MAX_BOXES 64

static FILE* g_result;
static DWORD g_pid;
static char g_hold[1024];
static DWORD g_deadline;
static HWND g_seen[MAX_BOXES];
static int g_seen_count;

static void PutHex(const unsigned char* bytes, size_t length) {
  if (length == 0) fputc('-', g_result);
  for (size_t i = 0; i < length; ++i) fprintf(g_result, "%02x", bytes[i]);
}

static size_t FromHex(const char* hex, unsigned char* out, size_t capacity) {
  size_t n = 0;
  if (strcmp(hex, "-") == 0) return 0;
  while (hex[0] && hex[1] && n < capacity) {
    unsigned value;
    if (sscanf(hex, "%2x", &value) != 1) break;
    out[n++] = (unsigned char)value;
    hex += 2;
  }
  return n;
}

static void Fail(const char* what) {
  fprintf(g_result, "error %s %lu\n", what, (unsigned long)GetLastError());
  fclose(g_result);
  exit(1);
}

static WCHAR* Utf8ToWide(const unsigned char* bytes, size_t length, int* wide_length) {
  int n = MultiByteToWideChar(CP_UTF8, 0, (const char*)bytes, (int)length, NULL, 0);
  WCHAR* wide = calloc((size_t)n + 2, sizeof(WCHAR));
  MultiByteToWideChar(CP_UTF8, 0, (const char*)bytes, (int)length, wide, n);
  *wide_length = n;
  return wide;
}

static void ClearDevices(void) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, DEVICE_CLASSES);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, ENUM_ROOT L"\\E2E");
}

/* Wine's Windows version for programs of one file name: the value "Version"
 * of HKCU\Software\Wine\AppDefaults\<name>, set to `version`, or removed
 * where `version` is NULL. */
static void SetAppVersion(const WCHAR* name, const WCHAR* version) {
  WCHAR path[512];
  HKEY key;
  swprintf(path, 512, L"Software\\Wine\\AppDefaults\\%ls", name);
  if (version == NULL) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"Version");
      RegCloseKey(key);
    }
    return;
  }
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL))
    Fail("create-appdefaults-key");
  if (RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE*)version,
                     (DWORD)((wcslen(version) + 1) * sizeof(WCHAR))))
    Fail("set-appdefaults-version");
  RegCloseKey(key);
}

/* One present USB device interface for `instance` (UTF-16), with the
 * hardware IDs `ids` (a multi-string of `ids_length` characters, or none). */
static void AddDevice(const WCHAR* instance, const WCHAR* ids, int ids_length) {
  WCHAR path[512];
  HKEY key;
  swprintf(path, 512, L"%ls\\%ls", ENUM_ROOT, instance);
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
    Fail("create-enum-key");
  const WCHAR class_guid[] = L"{36fc9e60-c465-11cf-8056-444553540000}";
  RegSetValueExW(key, L"ClassGUID", 0, REG_SZ, (const BYTE*)class_guid, sizeof(class_guid));
  if (ids != NULL) {
    RegSetValueExW(key, L"HardwareID", 0, REG_MULTI_SZ, (const BYTE*)ids,
                   (DWORD)(ids_length * sizeof(WCHAR)));
  }
  RegCloseKey(key);

  WCHAR link[512];
  size_t j = 0;
  for (const WCHAR* p = instance; *p && j < 300; ++p) link[j++] = (*p == L'\\') ? L'#' : *p;
  link[j] = 0;
  swprintf(path, 512, L"%ls\\##?#%ls#%ls", DEVICE_CLASSES, link, USB_INTERFACE_CLASS);
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
    Fail("create-interface-key");
  RegSetValueExW(key, L"DeviceInstance", 0, REG_SZ, (const BYTE*)instance,
                 (DWORD)((wcslen(instance) + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  wcscat(path, L"\\#\\Control");
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
    Fail("create-control-key");
  DWORD linked = 1;
  RegSetValueExW(key, L"Linked", 0, REG_DWORD, (const BYTE*)&linked, sizeof(linked));
  RegCloseKey(key);
}

static BOOL CALLBACK FindStaticText(HWND child, LPARAM out) {
  char cls[32];
  char text[1024];
  GetClassNameA(child, cls, sizeof(cls));
  if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) {
    lstrcpynA((char*)out, text, sizeof(text));
    return FALSE;
  }
  return TRUE;
}

static BOOL CALLBACK FindBox(HWND window, LPARAM unused) {
  (void)unused;
  DWORD pid = 0;
  char cls[32];
  GetWindowThreadProcessId(window, &pid);
  if (pid != g_pid || !IsWindowVisible(window)) return TRUE;
  GetClassNameA(window, cls, sizeof(cls));
  if (strcmp(cls, "#32770") != 0) return TRUE;
  for (int i = 0; i < g_seen_count; ++i) {
    if (g_seen[i] == window) return TRUE;
  }
  char caption[1024] = "";
  char text[1024] = "";
  GetWindowTextA(window, caption, sizeof(caption));
  EnumChildWindows(window, FindStaticText, (LPARAM)text);
  fputs("box ", g_result);
  PutHex((const unsigned char*)caption, strlen(caption));
  fputc(' ', g_result);
  PutHex((const unsigned char*)text, strlen(text));
  fputc('\n', g_result);
  fflush(g_result);
  if (g_seen_count < MAX_BOXES) g_seen[g_seen_count++] = window;
  while (g_hold[0] && GetFileAttributesA(g_hold) == INVALID_FILE_ATTRIBUTES &&
         (LONG)(GetTickCount() - g_deadline) < 0) {
    Sleep(50);
  }
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  g_result = fopen(argv[2], "wb");
  if (g_result == NULL) return 2;
  fprintf(g_result, "acp %u\n", GetACP());
  FILE* job = fopen(argv[1], "rb");
  if (job == NULL) Fail("open-job");

  static char line[65536];
  static unsigned char bytes[32768];
  static char cmdline[32768];
  static int cmdline_utf8;
  static char cwd[1024];
  static char station[256];
  WCHAR* app_name = NULL;
  DWORD timeout = 20000;
  ClearDevices();
  while (fgets(line, sizeof(line), job)) {
    line[strcspn(line, "\r\n")] = 0;
    char* key = strtok(line, " ");
    char* value = strtok(NULL, " ");
    if (key == NULL) continue;
    if (strcmp(key, "timeout") == 0 && value) {
      timeout = (DWORD)strtoul(value, NULL, 10);
    } else if (strcmp(key, "cwd") == 0 && value) {
      cwd[FromHex(value, (unsigned char*)cwd, sizeof(cwd) - 1)] = 0;
    } else if (strcmp(key, "station") == 0 && value) {
      station[FromHex(value, (unsigned char*)station, sizeof(station) - 1)] = 0;
    } else if (strcmp(key, "hold") == 0 && value) {
      g_hold[FromHex(value, (unsigned char*)g_hold, sizeof(g_hold) - 1)] = 0;
    } else if ((strcmp(key, "cmdline") == 0 || strcmp(key, "cmdline8") == 0) && value) {
      cmdline[FromHex(value, (unsigned char*)cmdline, sizeof(cmdline) - 1)] = 0;
      cmdline_utf8 = strcmp(key, "cmdline8") == 0;
    } else if (strcmp(key, "device") == 0 && value) {
      char* ids_hex = strtok(NULL, " ");
      int n;
      size_t length = FromHex(value, bytes, sizeof(bytes));
      WCHAR* instance = Utf8ToWide(bytes, length, &n);
      WCHAR* ids = NULL;
      int ids_length = 0;
      if (ids_hex != NULL && strcmp(ids_hex, "-") != 0) {
        length = FromHex(ids_hex, bytes, sizeof(bytes));
        ids = Utf8ToWide(bytes, length, &ids_length);
      }
      AddDevice(instance, ids, ids_length);
      free(instance);
      free(ids);
    } else if (strcmp(key, "appdefaults") == 0 && value) {
      char* version_hex = strtok(NULL, " ");
      int n;
      size_t length = FromHex(value, bytes, sizeof(bytes));
      free(app_name);
      app_name = Utf8ToWide(bytes, length, &n);
      WCHAR* version = NULL;
      if (version_hex != NULL && strcmp(version_hex, "-") != 0) {
        length = FromHex(version_hex, bytes, sizeof(bytes));
        version = Utf8ToWide(bytes, length, &n);
      }
      SetAppVersion(app_name, version);
      free(version);
    }
  }
  fclose(job);

  /* Started through the wide call, so that a command line in UTF-8 can name
   * what the ANSI code page cannot; ANSI texts are converted as
   * CreateProcessA would. */
  static WCHAR wide_cmdline[32768];
  static WCHAR wide_cwd[1024];
  static WCHAR wide_desktop[300];
  MultiByteToWideChar(cmdline_utf8 ? CP_UTF8 : CP_ACP, 0, cmdline, -1, wide_cmdline, 32768);
  MultiByteToWideChar(CP_ACP, 0, cwd, -1, wide_cwd, 1024);
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  memset(&pi, 0, sizeof(pi));
  HWINSTA new_station = NULL;
  HDESK new_desktop = NULL;
  if (station[0]) {
    /* The desktop is made on the new station, so the driver visits it. */
    static char desktop_path[300];
    HWINSTA own = GetProcessWindowStation();
    new_station = CreateWindowStationA(station, 0, WINSTA_ALL_ACCESS, NULL);
    if (new_station == NULL) Fail("create-window-station");
    if (!SetProcessWindowStation(new_station)) Fail("set-window-station");
    new_desktop = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    if (new_desktop == NULL) Fail("create-desktop");
    if (!SetProcessWindowStation(own)) Fail("restore-window-station");
    snprintf(desktop_path, sizeof(desktop_path), "%s\\Default", station);
    MultiByteToWideChar(CP_ACP, 0, desktop_path, -1, wide_desktop, 300);
    si.lpDesktop = wide_desktop;
  }
  if (!CreateProcessW(NULL, wide_cmdline, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL,
                      cwd[0] ? wide_cwd : NULL, &si, &pi)) {
    Fail("create-process");
  }
  g_pid = pi.dwProcessId;

  g_deadline = GetTickCount() + timeout;
  for (;;) {
    if ((LONG)(GetTickCount() - g_deadline) >= 0) {
      fputs("timeout\n", g_result);
      TerminateProcess(pi.hProcess, 99);
      break;
    }
    DEBUG_EVENT ev;
    if (!WaitForDebugEvent(&ev, 50)) {
      EnumWindows(FindBox, 0);
      continue;
    }
    DWORD status = DBG_CONTINUE;
    BOOL done = FALSE;
    switch (ev.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO* info = &ev.u.DebugString;
        SIZE_T size = info->nDebugStringLength;
        SIZE_T read = 0;
        char* text = calloc(size + 2, 1);
        ReadProcessMemory(pi.hProcess, info->lpDebugStringData, text, size, &read);
        if (read > 0 && text[read - 1] == 0) --read;
        fputs(info->fUnicode ? "debugw " : "debug ", g_result);
        PutHex((const unsigned char*)text, read);
        fputc('\n', g_result);
        fflush(g_result);
        free(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        fprintf(g_result, "exit %lu\n", (unsigned long)ev.u.ExitProcess.dwExitCode);
        done = TRUE;
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    if (done) break;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (app_name) SetAppVersion(app_name, NULL);
  if (new_desktop) CloseDesktop(new_desktop);
  if (new_station) CloseWindowStation(new_station);
  fclose(g_result);
  return 0;
}
