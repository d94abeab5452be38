/* A stand-in for a camera's installer. It appends what it received to
 * "<its own path>.log": its path, its command line exactly as received and
 * its current directory, each as hexadecimal bytes, then exits with 3 (an
 * installer's own error, which the launcher must not care about). */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void WriteHex(FILE* f, const char* key, const char* text) {
  fprintf(f, "%s ", key);
  for (const unsigned char* p = (const unsigned char*)text; *p; ++p) fprintf(f, "%02x", *p);
  fputc('\n', f);
}

int main(void) {
  char path[MAX_PATH + 8];
  char cwd[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  path[n] = '\0';
  GetCurrentDirectoryA(sizeof(cwd), cwd);

  char log[MAX_PATH + 8];
  memcpy(log, path, n);
  memcpy(log + n, ".log", 5);
  FILE* f = fopen(log, "ab");
  if (f == NULL) return 2;
  WriteHex(f, "path", path);
  WriteHex(f, "cmdline", GetCommandLineA());
  WriteHex(f, "cwd", cwd);
  fclose(f);
  return 3;
}
