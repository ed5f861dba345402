#include "app/text_view_win32.h"

#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "app/text_model.h"

const wchar_t kTextViewClass[] = L"GeovantTextView";

namespace {

constexpr int kMargin = 2;  // between the border and the text, as an edit box has

// Widths of the characters of the box's font, measured once per block of 256 characters; the
// first block, which holds the digits, commas and tags of KML, is looked up directly.
class CharWidths {
 public:
  void Reset(HFONT font) {
    font_ = font;
    blocks_.clear();
    first_ = nullptr;
  }
  int Width(HDC dc, char16_t c) {
    if (c < 0x100 && first_) return (*first_)[c];
    auto& block = blocks_[c >> 8];
    if (!block) {
      block = std::make_unique<std::array<int, 256>>();
      HGDIOBJ old = SelectObject(dc, font_);
      for (int i = 0; i < 256; ++i) {
        wchar_t one = static_cast<wchar_t>((c & 0xFF00) | i);
        SIZE size{};
        GetTextExtentPoint32W(dc, &one, 1, &size);
        (*block)[static_cast<size_t>(i)] = size.cx;
      }
      SelectObject(dc, old);
      if (c < 0x100) first_ = block.get();
    }
    return (*block)[c & 0xFF];
  }

 private:
  HFONT font_ = nullptr;
  std::unordered_map<unsigned, std::unique_ptr<std::array<int, 256>>> blocks_;
  const std::array<int, 256>* first_ = nullptr;
};

// A place in the wrapped text: a line and one of its rows.
struct RowPlace {
  size_t line = 0;
  size_t row = 0;
};

class TextView {
 public:
  explicit TextView(HWND window) : window_(window) { SetFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))); }

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  // ---- layout ----
  HDC Dc() { return dc_ ? dc_ : (dc_ = GetDC(window_)); }
  int Advance(char16_t c, int x) {
    if (c == u'\t') {
      const int stop = tab_width_ > 0 ? tab_width_ : 1;
      return stop - x % stop;
    }
    if (c == u'\n') return 0;
    // A CR of a line break takes no room; any other blank is drawn as a space.
    if (c == u'\r' || c == u'\f' || c == u'\v') c = u' ';
    return widths_.Width(Dc(), c);
  }
  int TextWidth() const { return std::max(1, client_width_ - 2 * kMargin); }
  const std::vector<size_t>& Rows(size_t line) {
    auto it = rows_.find(line);
    if (it != rows_.end()) return it->second;
    if (rows_.size() > 4096) rows_.clear();
    std::u16string_view text(model_.text());
    const size_t start = model_.LineStart(line);
    std::vector<size_t> rows =
        WrapLine(text.substr(start, model_.LineEnd(line) - start), TextWidth(), [this](char16_t c, int x) { return Advance(c, x); });
    rows.shrink_to_fit();
    return rows_.emplace(line, std::move(rows)).first->second;
  }
  // The row `n` rows after `place` (before it for negative n), held to the text.
  RowPlace Move(RowPlace place, long n) {
    while (n > 0) {
      if (place.row + 1 < Rows(place.line).size()) {
        ++place.row;
      } else if (place.line + 1 < model_.line_count()) {
        ++place.line;
        place.row = 0;
      } else {
        break;
      }
      --n;
    }
    while (n < 0) {
      if (place.row > 0) {
        --place.row;
      } else if (place.line > 0) {
        --place.line;
        place.row = Rows(place.line).size() - 1;
      } else {
        break;
      }
      ++n;
    }
    return place;
  }
  // Where a row's text begins and ends.
  size_t RowStart(RowPlace p) { return model_.LineStart(p.line) + Rows(p.line)[p.row]; }
  size_t RowEnd(RowPlace p) {
    const std::vector<size_t>& rows = Rows(p.line);
    return p.row + 1 < rows.size() ? model_.LineStart(p.line) + rows[p.row + 1] : model_.LineEnd(p.line);
  }
  RowPlace PlaceOf(size_t position) {
    RowPlace p{model_.LineOf(position), 0};
    const std::vector<size_t>& rows = Rows(p.line);
    const size_t offset = position - model_.LineStart(p.line);
    p.row = static_cast<size_t>(std::upper_bound(rows.begin(), rows.end(), offset) - rows.begin()) - 1;
    return p;
  }
  int XOf(size_t position) {
    RowPlace p = PlaceOf(position);
    int x = 0;
    for (size_t i = RowStart(p); i < position; ++i) x += Advance(model_.text()[i], x);
    return x;
  }
  // The position in row `p` nearest to `x`.
  size_t PositionAt(RowPlace p, int x) {
    const size_t end = RowEnd(p);
    int at = 0;
    for (size_t i = RowStart(p); i < end; ++i) {
      const int w = Advance(model_.text()[i], at);
      if (x < at + w / 2) return i;
      at += w;
    }
    // A row that wraps ends before its last character: the caret stays on this row.
    if (end < model_.LineEnd(p.line) && end > RowStart(p)) return end - 1;
    return end;
  }
  int VisibleRows() const { return std::max(1, (client_height_ - 2 * kMargin) / std::max(1, line_height_)); }
  int RowsBetween(RowPlace from, RowPlace to) {
    int n = 0;
    while ((from.line < to.line || (from.line == to.line && from.row < to.row)) && n <= VisibleRows() + 1) {
      from = Move(from, 1);
      ++n;
    }
    return n;
  }
  bool Before(RowPlace a, RowPlace b) const { return a.line < b.line || (a.line == b.line && a.row < b.row); }

  // ---- state changes ----
  void SetFont(HFONT font) {
    font_ = font;
    widths_.Reset(font);
    HDC dc = Dc();
    HGDIOBJ old = SelectObject(dc, font_);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    line_height_ = std::max<int>(1, metrics.tmHeight);
    // An edit box's tab stops: every 32 dialog units, eight average characters.
    tab_width_ = std::max<int>(1, 8 * metrics.tmAveCharWidth);
    Relayout();
  }
  void Relayout() {
    rows_.clear();
    top_.row = std::min(top_.row, Rows(top_.line).size() - 1);
    UpdateScrollBar();
    InvalidateRect(window_, nullptr, TRUE);
  }
  void SetText(std::u16string text) {
    modified_ = false;
    model_.SetText(std::move(text));
    caret_ = anchor_ = 0;
    top_ = {};
    goal_x_ = -1;
    Relayout();
    PlaceCaret();
  }
  // Puts `with` in place of the selection and the caret after it.
  void ReplaceSelection(std::u16string_view with, bool typing = false) {
    const size_t begin = std::min(caret_, anchor_), end = std::max(caret_, anchor_);
    if (with.size() > limit_ || model_.size() - (end - begin) > limit_ - with.size()) return;
    model_.Replace(begin, end, with, typing);
    caret_ = anchor_ = begin + with.size();
    Changed();
  }
  void Changed() {
    modified_ = true;
    rows_.clear();
    if (top_.line >= model_.line_count()) top_ = {model_.line_count() - 1, 0};
    top_.row = std::min(top_.row, Rows(top_.line).size() - 1);
    goal_x_ = -1;
    UpdateScrollBar();
    ScrollToCaret();
    InvalidateRect(window_, nullptr, TRUE);
    PlaceCaret();
    SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), EN_CHANGE),
                 reinterpret_cast<LPARAM>(window_));
  }
  void Select(size_t anchor, size_t caret) {
    anchor_ = std::min(anchor, model_.size());
    caret_ = std::min(caret, model_.size());
    ScrollToCaret();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
  }
  void MoveCaret(size_t position, bool extend) { Select(extend ? anchor_ : position, position); }

  // ---- scrolling ----
  // The scroll bar counts characters: its thumb stands where the top row begins, as large as
  // the characters shown, so that it moves through one long line as through many short ones.
  void UpdateScrollBar() {
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
    const size_t top = RowStart(top_);
    const size_t shown = RowEnd(Move(top_, VisibleRows() - 1)) - top;
    info.nMax = static_cast<int>(std::min<size_t>(model_.size(), 0x7FFFFFFE));
    info.nPage = static_cast<UINT>(std::min<size_t>(shown + 1, 0x7FFFFFFE));
    info.nPos = static_cast<int>(std::min<size_t>(top, 0x7FFFFFFE));
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
  }
  void ScrollTo(RowPlace top) {
    if (top.line == top_.line && top.row == top_.row) return;
    top_ = top;
    UpdateScrollBar();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
  }
  void ScrollToCaret() {
    RowPlace caret = PlaceOf(caret_);
    if (Before(caret, top_)) {
      ScrollTo(caret);
    } else if (RowsBetween(top_, caret) >= VisibleRows()) {
      ScrollTo(Move(caret, -(VisibleRows() - 1)));
    }
  }
  void OnVScroll(int code) {
    SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
    GetScrollInfo(window_, SB_VERT, &info);
    switch (code) {
      case SB_LINEUP: ScrollTo(Move(top_, -1)); break;
      case SB_LINEDOWN: ScrollTo(Move(top_, 1)); break;
      case SB_PAGEUP: ScrollTo(Move(top_, -VisibleRows())); break;
      case SB_PAGEDOWN: ScrollTo(Move(top_, VisibleRows())); break;
      case SB_TOP: ScrollTo({}); break;
      case SB_BOTTOM: ScrollTo(PlaceOf(model_.size())); break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION:
        ScrollTo(PlaceOf(std::min<size_t>(static_cast<size_t>(std::max(info.nTrackPos, 0)), model_.size())));
        break;
    }
  }

  // ---- caret, painting ----
  void PlaceCaret() {
    if (GetFocus() != window_) return;
    RowPlace caret = PlaceOf(caret_);
    const bool shown = !Before(caret, top_) && RowsBetween(top_, caret) < VisibleRows() + 1;
    const int y = kMargin + RowsBetween(top_, caret) * line_height_;
    const int x = kMargin + XOf(caret_);
    SetCaretPos(shown ? x : -100, shown ? y : -100);
    // The input method's window follows the caret.
    if (HIMC context = ImmGetContext(window_)) {
      COMPOSITIONFORM form{CFS_POINT, {x, y}, {}};
      ImmSetCompositionWindow(context, &form);
      ImmReleaseContext(window_, context);
    }
  }
  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    HGDIOBJ old_font = SelectObject(dc, font_);
    RECT client;
    GetClientRect(window_, &client);
    const bool focused = GetFocus() == window_;
    const size_t sel_begin = std::min(caret_, anchor_), sel_end = std::max(caret_, anchor_);
    std::u16string_view text(model_.text());
    RowPlace row = top_;
    std::wstring glyphs;
    std::vector<int> dx;
    int y = kMargin;
    for (int shown = 0; y < client.bottom; ++shown, y += line_height_) {
      RECT band{0, y, client.right, y + line_height_};
      if (shown > 0) {
        RowPlace next = Move(row, 1);
        if (next.line == row.line && next.row == row.row) {  // past the last row
          RECT rest{0, y, client.right, client.bottom};
          FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
          break;
        }
        row = next;
      }
      // The row's characters, tabs drawn as blanks of their width; the selected run in the
      // selection's colours.
      const size_t begin = RowStart(row), end = RowEnd(row);
      glyphs.clear();
      dx.clear();
      int x = 0;
      for (size_t i = begin; i < end; ++i) {
        const int w = Advance(text[i], x);
        const char16_t c = text[i];
        glyphs += c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v' ? L' ' : static_cast<wchar_t>(c);
        dx.push_back(w);
        x += w;
      }
      RECT margin{0, y, kMargin, y + line_height_};
      FillRect(dc, &margin, GetSysColorBrush(COLOR_WINDOW));
      size_t drawn = begin;
      int at = kMargin;
      auto draw = [&](size_t to, bool selected) {
        if (to <= drawn) return;
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        int width = 0;
        for (size_t i = drawn; i < to; ++i) width += dx[i - begin];
        RECT cell{at, y, at + width, y + line_height_};
        ExtTextOutW(dc, at, y, ETO_OPAQUE | ETO_CLIPPED, &cell, glyphs.data() + (drawn - begin),
                    static_cast<UINT>(to - drawn), dx.data() + (drawn - begin));
        at += width;
        drawn = to;
      };
      if (focused && sel_begin < sel_end) {
        draw(std::clamp(sel_begin, begin, end), false);
        draw(std::clamp(sel_end, begin, end), true);
      }
      draw(end, false);
      band.left = at;
      FillRect(dc, &band, GetSysColorBrush(COLOR_WINDOW));
    }
    RECT top_margin{0, 0, client.right, std::min<LONG>(kMargin, client.bottom)};
    FillRect(dc, &top_margin, GetSysColorBrush(COLOR_WINDOW));
    SelectObject(dc, old_font);
    EndPaint(window_, &ps);
  }

  // ---- input ----
  void OnKey(WPARAM key) {
    const bool shift = GetKeyState(VK_SHIFT) & 0x8000, control = GetKeyState(VK_CONTROL) & 0x8000;
    RowPlace caret = PlaceOf(caret_);
    auto vertical = [&](long rows) {
      if (goal_x_ < 0) goal_x_ = XOf(caret_);
      const int goal = goal_x_;
      MoveCaret(PositionAt(Move(caret, rows), goal), shift);
      goal_x_ = goal;
    };
    switch (key) {
      case VK_LEFT:
        if (!shift && caret_ != anchor_) return MoveCaret(std::min(caret_, anchor_), false);
        return MoveCaret(control ? WordStartBefore(caret_) : StepBack(caret_), shift);
      case VK_RIGHT:
        if (!shift && caret_ != anchor_) return MoveCaret(std::max(caret_, anchor_), false);
        return MoveCaret(control ? WordStartAfter(caret_) : StepForward(caret_), shift);
      case VK_UP: return vertical(-1);
      case VK_DOWN: return vertical(1);
      case VK_PRIOR: return vertical(-VisibleRows());
      case VK_NEXT: return vertical(VisibleRows());
      case VK_HOME: return MoveCaret(control ? 0 : RowStart(caret), shift);
      case VK_END: return MoveCaret(control ? model_.size() : PositionAt(caret, 0x7FFFFFFF), shift);
      case VK_DELETE:
        if (shift) return Cut();
        if (caret_ == anchor_) Select(caret_, StepForward(caret_));
        return ReplaceSelection(u"");
      case VK_INSERT:
        if (control) Copy();
        if (shift) Paste();
        return;
    }
  }
  void OnChar(wchar_t c) {
    switch (c) {
      case 1: return Select(0, model_.size());  // Ctrl+A
      case 3: return Copy();                    // Ctrl+C
      case 22: return Paste();                  // Ctrl+V
      case 24: return Cut();                    // Ctrl+X
      case 26: return Undo();                   // Ctrl+Z
      case 8:                                   // Backspace
        if (caret_ == anchor_) Select(StepBack(caret_), caret_);
        return ReplaceSelection(u"");
      case L'\r': return ReplaceSelection(u"\r\n", /*typing=*/true);
      case L'\n': return;  // Ctrl+Enter
    }
    if (c < 0x20 && c != L'\t') return;
    const char16_t typed = static_cast<char16_t>(c);
    ReplaceSelection(std::u16string_view(&typed, 1), /*typing=*/true);
  }
  // A step over one character: CR LF and a surrogate pair are one.
  size_t StepBack(size_t p) const {
    if (p == 0) return 0;
    const std::u16string& t = model_.text();
    if (p >= 2 && t[p - 1] == u'\n' && t[p - 2] == u'\r') return p - 2;
    if (p >= 2 && t[p - 1] >= 0xDC00 && t[p - 1] <= 0xDFFF && t[p - 2] >= 0xD800 && t[p - 2] <= 0xDBFF) return p - 2;
    return p - 1;
  }
  size_t StepForward(size_t p) const {
    const std::u16string& t = model_.text();
    if (p >= t.size()) return t.size();
    if (t[p] == u'\r' && p + 1 < t.size() && t[p + 1] == u'\n') return p + 2;
    if (t[p] >= 0xD800 && t[p] <= 0xDBFF && p + 1 < t.size()) return p + 2;
    return p + 1;
  }
  size_t WordStartAfter(size_t p) {
    size_t begin, end;
    WordAt(model_.text(), p, &begin, &end);
    p = std::max(end, StepForward(p));
    while (p < model_.size() && (model_.text()[p] == u' ' || model_.text()[p] == u'\t')) ++p;
    return p;
  }
  size_t WordStartBefore(size_t p) {
    while (p > 0 && (model_.text()[p - 1] == u' ' || model_.text()[p - 1] == u'\t')) --p;
    if (p == 0) return 0;
    size_t begin, end;
    WordAt(model_.text(), p - 1, &begin, &end);
    return begin;
  }
  size_t PositionAtPoint(int x, int y) {
    RowPlace row = Move(top_, y < kMargin ? -1 : (y - kMargin) / std::max(1, line_height_));
    return PositionAt(row, x - kMargin);
  }
  void OnMouseDown(int x, int y, bool double_click) {
    SetFocus(window_);
    const size_t at = PositionAtPoint(x, y);
    if (double_click) {
      size_t begin, end;
      WordAt(model_.text(), at, &begin, &end);
      Select(begin, end);
      return;
    }
    MoveCaret(at, GetKeyState(VK_SHIFT) & 0x8000);
    goal_x_ = -1;
    SetCapture(window_);
  }
  void OnMouseMove(int x, int y) {
    if (GetCapture() != window_) return;
    if (y < 0) ScrollTo(Move(top_, -1));
    if (y > client_height_) ScrollTo(Move(top_, 1));
    MoveCaret(PositionAtPoint(x, std::clamp(y, 0, client_height_ - 1)), true);
  }

  // ---- clipboard, undo ----
  std::u16string Selected() const {
    const size_t begin = std::min(caret_, anchor_), end = std::max(caret_, anchor_);
    return model_.text().substr(begin, end - begin);
  }
  void Copy() {
    std::u16string text = Selected();
    if (text.empty() || !OpenClipboard(window_)) return;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
      auto* copy = static_cast<wchar_t*>(GlobalLock(memory));
      std::copy(text.begin(), text.end(), copy);
      copy[text.size()] = L'\0';
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    }
    CloseClipboard();
  }
  void Cut() {
    Copy();
    ReplaceSelection(u"");
  }
  void Paste() {
    if (!OpenClipboard(window_)) return;
    std::u16string text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* chars = static_cast<const char16_t*>(GlobalLock(data))) {
        text = chars;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    ReplaceSelection(text);
  }
  void Undo() {
    size_t begin, end;
    if (!model_.Undo(&begin, &end)) return;
    anchor_ = begin;
    caret_ = end;
    Changed();
  }
  void ContextMenu(int x, int y) {
    HMENU menu = CreatePopupMenu();
    const bool selection = caret_ != anchor_;
    AppendMenuW(menu, model_.CanUndo() ? MF_STRING : MF_GRAYED, EM_UNDO, L"撤消(&U)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, selection ? MF_STRING : MF_GRAYED, WM_CUT, L"剪切(&T)");
    AppendMenuW(menu, selection ? MF_STRING : MF_GRAYED, WM_COPY, L"复制(&C)");
    AppendMenuW(menu, IsClipboardFormatAvailable(CF_UNICODETEXT) ? MF_STRING : MF_GRAYED, WM_PASTE, L"粘贴(&P)");
    AppendMenuW(menu, selection ? MF_STRING : MF_GRAYED, WM_CLEAR, L"删除(&D)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, model_.size() ? MF_STRING : MF_GRAYED, EM_SETSEL, L"全选(&A)");
    if (x == -1 && y == -1) {  // from the keyboard: at the caret
      POINT caret{kMargin + XOf(caret_), kMargin};
      ClientToScreen(window_, &caret);
      x = caret.x;
      y = caret.y;
    }
    const UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, window_, nullptr);
    DestroyMenu(menu);
    if (chosen == EM_SETSEL) return Select(0, model_.size());
    if (chosen) SendMessageW(window_, chosen, 0, 0);
  }

  HWND window_;
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  CharWidths widths_;
  int line_height_ = 16;
  int tab_width_ = 32;
  int client_width_ = 0;
  int client_height_ = 0;
  TextModel model_;
  std::unordered_map<size_t, std::vector<size_t>> rows_;  // of the lines laid out so far
  RowPlace top_;
  size_t caret_ = 0;
  size_t anchor_ = 0;
  int goal_x_ = -1;  // the column kept by Up and Down
  size_t limit_ = 0x7FFFFFFE;
  bool modified_ = false;  // changed by the user since its text was set

  friend LRESULT CALLBACK TextViewProc(HWND, UINT, WPARAM, LPARAM);
  void Release() {
    if (dc_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
  }
};

LRESULT TextView::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      client_width_ = LOWORD(lparam);
      client_height_ = HIWORD(lparam);
      Relayout();
      return 0;
    case WM_SETFONT:
      SetFont(reinterpret_cast<HFONT>(wparam));
      if (lparam) InvalidateRect(window_, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_SETTEXT:
      SetText(lparam ? std::u16string(reinterpret_cast<const char16_t*>(lparam)) : std::u16string());
      return TRUE;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(model_.size());
    case WM_GETTEXT: {
      if (wparam == 0) return 0;
      const size_t n = std::min<size_t>(model_.size(), wparam - 1);
      auto* out = reinterpret_cast<wchar_t*>(lparam);
      std::copy(model_.text().begin(), model_.text().begin() + static_cast<ptrdiff_t>(n), out);
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | DLGC_WANTALLKEYS;
    case EM_SETSEL: {
      const auto clamp = [&](LPARAM v) { return v < 0 ? model_.size() : std::min<size_t>(static_cast<size_t>(v), model_.size()); };
      Select(clamp(static_cast<LPARAM>(static_cast<int>(wparam))), clamp(static_cast<LPARAM>(static_cast<int>(lparam))));
      return 0;
    }
    case EM_GETSEL: {
      const size_t begin = std::min(caret_, anchor_), end = std::max(caret_, anchor_);
      if (wparam) *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(begin);
      if (lparam) *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(end);
      return MAKELRESULT(std::min<size_t>(begin, 0xFFFF), std::min<size_t>(end, 0xFFFF));
    }
    case EM_REPLACESEL:
      ReplaceSelection(lparam ? std::u16string_view(reinterpret_cast<const char16_t*>(lparam)) : std::u16string_view(),
                       /*typing=*/true);
      return 0;
    case EM_SCROLLCARET:
      ScrollToCaret();
      return 0;
    case EM_UNDO:
    case WM_UNDO:
      Undo();
      return TRUE;
    case EM_CANUNDO:
      return model_.CanUndo();
    case EM_GETMODIFY:
      return modified_;
    case EM_SETMODIFY:
      modified_ = wparam != 0;
      return 0;
    case EM_SETLIMITTEXT:
      limit_ = wparam ? static_cast<size_t>(wparam) : 0x7FFFFFFE;
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(limit_);
    case WM_CUT:
      Cut();
      return 0;
    case WM_COPY:
      Copy();
      return 0;
    case WM_PASTE:
      Paste();
      return 0;
    case WM_CLEAR:
      ReplaceSelection(u"");
      return 0;
    case WM_SETFOCUS:
      CreateCaret(window_, nullptr, 1, line_height_);
      PlaceCaret();
      ShowCaret(window_);
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS:
      DestroyCaret();
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN:
      OnKey(wparam);
      return 0;
    case WM_CHAR:
      OnChar(static_cast<wchar_t>(wparam));
      return 0;
    case WM_VSCROLL:
      OnVScroll(LOWORD(wparam));
      return 0;
    case WM_MOUSEWHEEL: {
      UINT lines = 3;
      SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
      const int notches = GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA;
      ScrollTo(Move(top_, -notches * static_cast<long>(std::min<UINT>(lines, 100))));
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnMouseDown(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), message == WM_LBUTTONDBLCLK);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == window_) ReleaseCapture();
      return 0;
    case WM_CONTEXTMENU:
      ContextMenu(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK TextViewProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* view = reinterpret_cast<TextView*>(GetWindowLongPtrW(hwnd, 0));
  if (message == WM_NCCREATE) {
    view = new TextView(hwnd);
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(view));
  }
  if (!view) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    view->Release();
    delete view;
    SetWindowLongPtrW(hwnd, 0, 0);
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  // No exception may leave a window procedure: a text larger than memory allows is refused.
  try {
    return view->Handle(message, wparam, lparam);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace

bool RegisterTextViewClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  if (GetClassInfoExW(instance, kTextViewClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = TextViewProc;
  wc.cbWndExtra = sizeof(TextView*);
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32513));  // IDC_IBEAM
  wc.lpszClassName = kTextViewClass;
  return RegisterClassExW(&wc) != 0;
}
