#pragma once

#include <windows.h>

// A multi-line text box for documents too large for the system's edit box, whose layout of
// every line on every change takes minutes for a few megabytes under Wine (and seconds on
// Windows). It lays out only the lines it shows, wraps them at the box's width (a line of
// megabytes too, in moments), scrolls by characters, and answers
// the edit box's messages that the program and its users rely on: WM_SETTEXT, WM_GETTEXT,
// WM_GETTEXTLENGTH, EM_SETSEL, EM_GETSEL, EM_REPLACESEL, EM_UNDO, EM_CANUNDO, EM_GETMODIFY,
// EM_SETMODIFY, EM_SCROLLCARET,
// EM_SETLIMITTEXT, EM_GETLIMITTEXT, WM_CUT, WM_COPY, WM_PASTE, WM_CLEAR, WM_SETFONT and
// WM_GETFONT. The keyboard, the mouse, the clipboard, the context menu and the input method
// work as in an edit box: caret keys with Shift and Ctrl, Home, End, Page Up, Page Down,
// Delete, Backspace, Enter (CR LF), Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V, Ctrl+Z, a double click
// for a word.
extern const wchar_t kTextViewClass[];  // "GeovantTextView"

// Registers the window class; true when it is (or was already) registered.
bool RegisterTextViewClass(HINSTANCE instance);
