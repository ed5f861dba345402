#pragma once

// The processors the converter may run on: those of its affinity mask (`taskset -c 0` or
// Windows' "Set affinity" give one), at least one.
int UsableProcessors();
