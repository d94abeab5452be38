/* The least a launcher can do, for comparison with camsetup.exe. With no C
 * runtime at all (its own entry point, KERNEL32 only), it makes the calls
 * that a run of camsetup.exe which finds a camera must make:
 *   - its own path, and setup.ini beside it read with the same profile
 *     reads ([Launcher] ExitCode, then Path and PID of each CameraN up to
 *     the first missing one);
 *   - SETUPAPI loaded from the system folder, the first hardware ID of
 *     every present USB device interface read with the same calls (the
 *     size first, then the value into a heap block);
 *   - the command line written to the debugger output, the installer given
 *     on its own command line started, waited for, its handles closed.
 * USER32 is needed only for a message box, which such a run never shows,
 * so it is never loaded.
 *
 * usage: baseline "INSTALLER" [ARGUMENTS]
 */
#include <windows.h>
#include <setupapi.h>

typedef HDEVINFO(WINAPI* GetClassDevsFn)(const GUID*, PCSTR, HWND, DWORD);
typedef BOOL(WINAPI* EnumDeviceInfoFn)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
typedef BOOL(WINAPI* GetPropertyFn)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD,
                                    PDWORD);
typedef BOOL(WINAPI* DestroyListFn)(HDEVINFO);

static const GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

/* The command line after the program's own (quoted or bare) name. */
static char* Tail(char* command_line) {
  char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

/* "CameraK" into `out`, K from 1 to 99. */
static void SectionName(char* out, int k) {
  static const char kPrefix[] = "Camera";
  int n = 0;
  for (; kPrefix[n]; ++n) out[n] = kPrefix[n];
  if (k >= 10) out[n++] = (char)('0' + k / 10);
  out[n++] = (char)('0' + k % 10);
  out[n] = 0;
}

/* The profile reads of camsetup.exe; returns the number of models. */
static int ReadSetupIni(void) {
  char path[MAX_PATH + 16];
  char value[255];
  char section[16];
  const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  int folder = 0;
  for (int i = 0; i < (int)length; ++i) {
    if (path[i] == '\\') folder = i + 1;
  }
  static const char kSetupIni[] = "setup.ini";
  for (int i = 0; i < (int)sizeof(kSetupIni); ++i) path[folder + i] = kSetupIni[i];

  GetPrivateProfileStringA("Launcher", "ExitCode", "", value, sizeof(value), path);
  int models = 0;
  for (int k = 1; k <= 20; ++k) {
    SectionName(section, k);
    GetPrivateProfileStringA(section, "Path", "0", value, sizeof(value), path);
    if (lstrlenA(value) == 1) break;
    GetPrivateProfileStringA(section, "PID", "0", value, sizeof(value), path);
    models = k;
  }
  return models;
}

/* The number of devices whose first hardware ID was read, or -1 when
 * SETUPAPI could not be used. */
static int ReadHardwareIds(void) {
  HMODULE setupapi = LoadLibraryExA("setupapi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (setupapi == NULL) return -1;
  GetClassDevsFn get_class_devs =
      (GetClassDevsFn)(void*)GetProcAddress(setupapi, "SetupDiGetClassDevsA");
  EnumDeviceInfoFn enum_device_info =
      (EnumDeviceInfoFn)(void*)GetProcAddress(setupapi, "SetupDiEnumDeviceInfo");
  GetPropertyFn get_property =
      (GetPropertyFn)(void*)GetProcAddress(setupapi, "SetupDiGetDeviceRegistryPropertyA");
  DestroyListFn destroy_list =
      (DestroyListFn)(void*)GetProcAddress(setupapi, "SetupDiDestroyDeviceInfoList");
  if (!get_class_devs || !enum_device_info || !get_property || !destroy_list) return -1;

  int devices = 0;
  HDEVINFO set = get_class_devs(&kUsbDeviceInterface, NULL, NULL,
                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return -1;
  SP_DEVINFO_DATA data;
  SecureZeroMemory(&data, sizeof(data));
  data.cbSize = sizeof(data);
  for (DWORD i = 0; enum_device_info(set, i, &data); ++i) {
    DWORD type = 0;
    DWORD required = 0;
    get_property(set, &data, SPDRP_HARDWAREID, &type, NULL, 0, &required);
    BYTE* ids = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)required * 2);
    if (ids != NULL &&
        get_property(set, &data, SPDRP_HARDWAREID, &type, ids, required, &required)) {
      ++devices;
    }
    if (ids != NULL) HeapFree(GetProcessHeap(), 0, ids);
  }
  destroy_list(set);
  return devices;
}

static UINT Run(void) {
  if (ReadSetupIni() == 0) return 5;
  if (ReadHardwareIds() <= 0) return 3;

  char* command_line = Tail(GetCommandLineA());
  OutputDebugStringA(command_line);
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  SecureZeroMemory(&si, sizeof(si));
  si.cb = sizeof(si);
  SecureZeroMemory(&pi, sizeof(pi));
  if (!CreateProcessA(NULL, command_line, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, NULL,
                      &si, &pi)) {
    return 4;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return 0;
}

/* The entry point of a GUI program, in place of the C runtime's. */
__attribute__((force_align_arg_pointer)) void WinMainCRTStartup(void) { ExitProcess(Run()); }
