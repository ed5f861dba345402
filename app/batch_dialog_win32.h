#pragma once

#include <windows.h>

#include "app/main_view.h"

// The small dialog that an export of several files asks first: the export's file type and,
// below it, the 坐标系 controls of its Save dialog. True when the user confirmed (生成MIF);
// a wrong zone is refused while the dialog stays open.
enum : int { kIdBatchFileTypeLabel = 1111, kIdBatchFileType, kIdBatchMerge };
bool ShowBatchDialog(HWND owner, BatchChoice& choice);
