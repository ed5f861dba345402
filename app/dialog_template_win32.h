#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

// An in-memory dialog template of no controls, in the dialog font (9 points, MS Shell Dlg):
// the dialog makes its controls when it starts. A DLGTEMPLATE must be DWORD-aligned, which the
// vector's elements are.
inline std::vector<DWORD> DialogTemplate(DWORD style, short width, short height, const wchar_t* title = L"") {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD));
  DLGTEMPLATE header = {};
  header.style = style | DS_SETFONT;
  header.cx = width;
  header.cy = height;
  std::memcpy(words.data(), &header, sizeof header);
  words.insert(words.end(), {0, 0});  // no menu, the default class
  for (const wchar_t* c = title;; ++c) {
    words.push_back(static_cast<WORD>(*c));
    if (!*c) break;
  }
  words.push_back(9);
  for (const wchar_t* c = L"MS Shell Dlg";; ++c) {
    words.push_back(static_cast<WORD>(*c));
    if (!*c) break;
  }
  std::vector<DWORD> aligned((words.size() * sizeof(WORD) + sizeof(DWORD) - 1) / sizeof(DWORD));
  std::memcpy(aligned.data(), words.data(), words.size() * sizeof(WORD));
  return aligned;
}

// A control of a dialog, placed in dialog units, in the dialog's font.
inline HWND MakeDialogControl(HWND dialog, const wchar_t* kind, const wchar_t* text, DWORD style, int id, RECT place,
                              DWORD ex_style = 0) {
  MapDialogRect(dialog, &place);
  HWND control = CreateWindowExW(ex_style, kind, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                 place.right - place.left, place.bottom - place.top, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), TRUE);
  return control;
}
