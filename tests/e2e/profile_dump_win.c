/* Reads a list of (section, key) queries from a profile file with Windows'
 * own GetPrivateProfileStringA, as the launcher calls it (default "0", a
 * buffer of 255 bytes).
 * usage: profile_dump INI QUERIES OUT
 *   QUERIES: lines "section<TAB>key"; OUT: lines "section<TAB>key<TAB>value-in-hex" */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  FILE* queries = fopen(argv[2], "rb");
  FILE* out = fopen(argv[3], "wb");
  if (queries == NULL || out == NULL) return 2;
  char line[1024];
  while (fgets(line, sizeof(line), queries)) {
    line[strcspn(line, "\r\n")] = 0;
    char* tab = strchr(line, '\t');
    if (tab == NULL) continue;
    *tab = 0;
    char value[255];
    memset(value, 0x7F, sizeof(value));
    GetPrivateProfileStringA(line, tab + 1, "0", value, sizeof(value), argv[1]);
    value[sizeof(value) - 1] = 0;
    fprintf(out, "%s\t%s\t", line, tab + 1);
    for (const unsigned char* p = (const unsigned char*)value; *p; ++p) fprintf(out, "%02x", *p);
    fputc('\n', out);
  }
  fclose(out);
  fclose(queries);
  return 0;
}
