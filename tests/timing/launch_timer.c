/* Times programs from their start to their end, with no debugger attached.
 *
 * usage: launch_timer JOB_FILE RESULT_FILE
 *
 * The job file holds lines "key value", texts in hexadecimal bytes:
 *   rounds   <count, decimal>        timed rounds, after one untimed round
 *   timeout  <milliseconds, decimal> per run; a run past it is killed
 *   cwd      <ANSI bytes>            current directory of every run
 *   program  <name> <ANSI bytes>     a full command line to time
 * Each round runs every program once, starting one further down the list
 * than the round before, so that none always runs first or after the same
 * neighbour.
 *
 * The result file gets one line per timed run:
 *   run <name> <microseconds> <exit code>
 * and "timeout <name>" or "error <name> <code>" for a run that failed.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_PROGRAMS 8

struct Program {
  char name[64];
  char command_line[4096];
};

static size_t FromHex(const char* hex, char* out, size_t capacity) {
  size_t n = 0;
  if (strcmp(hex, "-") == 0) return 0;
  while (hex[0] && hex[1] && n < capacity) {
    unsigned value;
    if (sscanf(hex, "%2x", &value) != 1) break;
    out[n++] = (char)value;
    hex += 2;
  }
  return n;
}

/* Runs `program` once; returns FALSE when it did not end in time. */
static BOOL TimeOne(FILE* result, const struct Program* program, const char* cwd, DWORD timeout,
                    BOOL record) {
  static char command_line[4096];
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  LARGE_INTEGER frequency, started, ended;
  DWORD exit_code = 0;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  memset(&pi, 0, sizeof(pi));
  /* CreateProcessA may write to the command line. */
  memcpy(command_line, program->command_line, sizeof(command_line));
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  if (!CreateProcessA(NULL, command_line, NULL, NULL, FALSE, 0, NULL, cwd[0] ? cwd : NULL, &si,
                      &pi)) {
    fprintf(result, "error %s %lu\n", program->name, (unsigned long)GetLastError());
    return FALSE;
  }
  const DWORD waited = WaitForSingleObject(pi.hProcess, timeout);
  QueryPerformanceCounter(&ended);
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
    fprintf(result, "timeout %s\n", program->name);
  } else if (record) {
    GetExitCodeProcess(pi.hProcess, &exit_code);
    fprintf(result, "run %s %lld %lu\n", program->name,
            (long long)((ended.QuadPart - started.QuadPart) * 1000000 / frequency.QuadPart),
            (unsigned long)exit_code);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return waited == WAIT_OBJECT_0;
}

int main(int argc, char** argv) {
  static struct Program programs[MAX_PROGRAMS];
  static char line[16384];
  static char cwd[1024];
  int count = 0;
  int rounds = 21;
  DWORD timeout = 20000;
  if (argc != 3) return 2;
  FILE* job = fopen(argv[1], "rb");
  if (job == NULL) return 2;
  while (fgets(line, sizeof(line), job)) {
    line[strcspn(line, "\r\n")] = 0;
    char* key = strtok(line, " ");
    char* value = strtok(NULL, " ");
    if (key == NULL || value == NULL) continue;
    if (strcmp(key, "rounds") == 0) {
      rounds = atoi(value);
    } else if (strcmp(key, "timeout") == 0) {
      timeout = (DWORD)strtoul(value, NULL, 10);
    } else if (strcmp(key, "cwd") == 0) {
      cwd[FromHex(value, cwd, sizeof(cwd) - 1)] = 0;
    } else if (strcmp(key, "program") == 0 && count < MAX_PROGRAMS) {
      const char* hex = strtok(NULL, " ");
      struct Program* p = &programs[count++];
      lstrcpynA(p->name, value, sizeof(p->name));
      p->command_line[hex ? FromHex(hex, p->command_line, sizeof(p->command_line) - 1) : 0] = 0;
    }
  }
  fclose(job);

  FILE* result = fopen(argv[2], "wb");
  if (result == NULL) return 2;
  for (int round = -1; round < rounds; ++round) {
    for (int k = 0; k < count; ++k) {
      const int first = round < 0 ? 0 : round % count;
      if (!TimeOne(result, &programs[(first + k) % count], cwd, timeout, round >= 0)) {
        fclose(result);
        return 1;
      }
      fflush(result);
    }
  }
  fclose(result);
  return 0;
}
