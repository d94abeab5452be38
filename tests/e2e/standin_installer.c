/* A stand-in for a camera's installer. It appends what it received to
 * "<its own path>.log": its path, its command line exactly as received and
 * its current directory, each as hexadecimal bytes of UTF-8 (read through
 * the wide calls, so that a folder the ANSI code page cannot name is
 * recorded too). It then exits with the code written in decimal in
 * "<its own path>.exitcode", if that file exists, else with 3 (an
 * installer's own error). Both files are those beside the program that runs:
 * a 32-bit copy in the 64-bit system folder (started through Sysnative)
 * would otherwise have them redirected into SysWOW64. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void WriteHex(FILE* f, const char* key, const WCHAR* text) {
  static char utf8[32768 * 3];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), NULL, NULL);
  fprintf(f, "%s ", key);
  for (int i = 0; i + 1 < n; ++i) fprintf(f, "%02x", (unsigned char)utf8[i]);
  fputc('\n', f);
}

int main(void) {
  static WCHAR path[32768 + 8];
  static WCHAR cwd[32768];
  DWORD n = GetModuleFileNameW(NULL, path, 32768);
  if (n == 0 || n >= 32768) return 2;
  path[n] = 0;
  GetCurrentDirectoryW(32768, cwd);
  PVOID redirection;
  Wow64DisableWow64FsRedirection(&redirection);  /* fails, harmlessly, where there is none */

  static WCHAR log[32768 + 8];
  memcpy(log, path, n * sizeof(WCHAR));
  memcpy(log + n, L".log", 5 * sizeof(WCHAR));
  FILE* f = _wfopen(log, L"ab");
  if (f == NULL) return 2;
  WriteHex(f, "path", path);
  WriteHex(f, "cmdline", GetCommandLineW());
  WriteHex(f, "cwd", cwd);
  fclose(f);

  static WCHAR code_file[32768 + 16];
  memcpy(code_file, path, n * sizeof(WCHAR));
  memcpy(code_file + n, L".exitcode", 10 * sizeof(WCHAR));
  FILE* c = _wfopen(code_file, L"rb");
  if (c == NULL) return 3;
  char text[32];
  const size_t got = fread(text, 1, sizeof(text) - 1, c);
  text[got] = 0;
  fclose(c);
  return (int)strtoul(text, NULL, 10);
}
