#include "cli/processors.h"

#include <algorithm>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

int UsableProcessors() {
#ifdef _WIN32
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    int count = 0;
    for (; process; process &= process - 1) ++count;
    return count;
  }
#else
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
