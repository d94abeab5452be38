/* The least a launcher must do, for comparison with camsetup.exe: load
 * SETUPAPI and USER32 from the system folder, read the first hardware ID of
 * every present USB device interface with the calls camsetup.exe makes,
 * then start the program given on its own command line and wait for it.
 *
 * usage: baseline "INSTALLER" [ARGUMENTS]
 */
#include <windows.h>
#include <setupapi.h>
#include <string.h>

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

int main(void) {
  HMODULE user32 = LoadLibraryExA("user32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HMODULE setupapi = LoadLibraryExA("setupapi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (user32 == NULL || setupapi == NULL) return 2;
  GetClassDevsFn get_class_devs =
      (GetClassDevsFn)(void*)GetProcAddress(setupapi, "SetupDiGetClassDevsA");
  EnumDeviceInfoFn enum_device_info =
      (EnumDeviceInfoFn)(void*)GetProcAddress(setupapi, "SetupDiEnumDeviceInfo");
  GetPropertyFn get_property =
      (GetPropertyFn)(void*)GetProcAddress(setupapi, "SetupDiGetDeviceRegistryPropertyA");
  DestroyListFn destroy_list =
      (DestroyListFn)(void*)GetProcAddress(setupapi, "SetupDiDestroyDeviceInfoList");
  if (!get_class_devs || !enum_device_info || !get_property || !destroy_list) return 2;

  int devices = 0;
  HDEVINFO set = get_class_devs(&kUsbDeviceInterface, NULL, NULL,
                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set != INVALID_HANDLE_VALUE) {
    SP_DEVINFO_DATA data;
    BYTE ids[4096];
    memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    for (DWORD i = 0; enum_device_info(set, i, &data); ++i) {
      DWORD type = 0;
      DWORD required = 0;
      /* As camsetup.exe does: the size first, then the value. */
      get_property(set, &data, SPDRP_HARDWAREID, &type, NULL, 0, &required);
      if (required <= sizeof(ids) &&
          get_property(set, &data, SPDRP_HARDWAREID, &type, ids, required, &required)) {
        ++devices;
      }
    }
    destroy_list(set);
  }
  if (devices == 0) return 3;

  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  memset(&pi, 0, sizeof(pi));
  if (!CreateProcessA(NULL, Tail(GetCommandLineA()), NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS,
                      NULL, NULL, &si, &pi)) {
    return 4;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  FreeLibrary(setupapi);
  FreeLibrary(user32);
  return 0;
}
