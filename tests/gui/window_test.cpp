// The real main window, created in this process: its controls, menu and anchored layout.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/batch_dialog_win32.h"
#include "app/main_view_win32.h"
#include "document/wide_text_win32.h"
#include "app/main_window_win32.h"
#include "document/file_io.h"
#include "document/text_io.h"
#include "tags/tag_index.h"
#include "layout/anchor_math.h"
#include "layout/anchor_win32.h"

namespace {

// As Geovant.exe's manifest declares: the window is laid out for the screen's DPI.
const bool kDpiAware = SetProcessDPIAware();

struct Design {
  int id;
  const wchar_t* window_class;
  const wchar_t* caption;
  int left, top, width, height;  // at 96 DPI
  bool tab_stop;
};

const Design kDesign[] = {
    {kId按钮1, L"Button", L"打开", 24, 8, 40, 32, true},
    {kId按钮2, L"Button", L"保存", 84, 8, 40, 32, true},
    {kId按钮3, L"Button", L"另存为", 144, 8, 40, 32, true},
    {kId单选框5, L"Button", L"", 200, 16, 16, 16, true},
    {kId标签7, L"Static", L"ANSI", 224, 8, 40, 32, false},
    {kId单选框6, L"Button", L"", 280, 8, 16, 32, true},
    {kId标签8, L"Static", L"UTF8", 312, 8, 40, 32, false},
    {kId按钮4, L"Button", L"点分析", 384, 8, 48, 32, true},
    {kId按钮5, L"Button", L"线分析", 453, 8, 48, 32, true},
    {kId按钮6, L"Button", L"面分析", 522, 8, 48, 32, true},
    {kId按钮7, L"Button", L"生成MIF", 592, 8, 48, 32, true},
    {kId编辑框1, L"Edit", L"", 16, 56, 656, 280, true},
    {kId列表框2, L"ListBox", L"", 16, 360, 160, 216, true},
    {kId编辑框2, L"Edit", L"", 192, 360, 472, 216, true},
};

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  return name;
}

std::wstring TextOf(HWND h) {
  wchar_t text[256] = {};
  GetWindowTextW(h, text, 256);
  return text;
}

// A length of the design at the screen's DPI.
int Scaled(int designed) { return ScaleForDpi(designed, SystemDpi()); }

Placement PlaceOf(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

SIZE ClientSize(HWND w) {
  RECT r;
  GetClientRect(w, &r);
  return {r.right, r.bottom};
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnchorLists(&lists_);
    window_ = CreateMainWindow(GetModuleHandleW(nullptr), geometry_);
    ASSERT_NE(window_, nullptr);
    hwnd_ = WindowOf(window_);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    Pump();
    designed_client_ = ClientSize(hwnd_);
  }
  void TearDown() override {
    DestroyWindow(hwnd_);
    Pump();
    SetAnchorLists(nullptr);
  }
  HWND Item(int id) { return GetDlgItem(hwnd_, id); }

  // Where the three anchored controls must be for the current client size.
  void ExpectLayoutFor(SIZE client) {
    int dx = client.cx - designed_client_.cx, dy = client.cy - designed_client_.cy;
    auto s = Scaled;
    EXPECT_EQ(PlaceOf(Item(kId编辑框1)), (Placement{s(16), s(56), s(656) + dx, s(280) + dy}));
    EXPECT_EQ(PlaceOf(Item(kId列表框2)), (Placement{s(16), s(360) + dy, s(160), s(216)}));
    EXPECT_EQ(PlaceOf(Item(kId编辑框2)), (Placement{s(192), s(360) + dy, s(472) + dx, s(216)}));
    EXPECT_EQ(PlaceOf(Item(kId按钮6)), (Placement{s(522), s(8), s(48), s(32)}));
    EXPECT_EQ(PlaceOf(Item(kId单选框5)), (Placement{s(200), s(16), s(16), s(16)}));
  }

  AnchorLists lists_;
  GeometryState geometry_;
  MainWindow* window_ = nullptr;
  HWND hwnd_ = nullptr;
  SIZE designed_client_{};
};

}  // namespace

TEST_F(MainWindowTest, WindowHasItsCaptionSizeAndFrame) {
  EXPECT_EQ(TextOf(hwnd_), L"Geovant 3.16");
  RECT r;
  GetWindowRect(hwnd_, &r);
  EXPECT_EQ(r.right - r.left, Scaled(686));
  EXPECT_EQ(r.bottom - r.top, Scaled(637));
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME}) {
    EXPECT_TRUE(style & bit) << std::hex << bit;
  }
}

TEST_F(MainWindowTest, ControlsHaveTheirClassPlaceCaptionAndStyle) {
  for (const Design& d : kDesign) {
    HWND h = Item(d.id);
    ASSERT_NE(h, nullptr) << d.id;
    EXPECT_EQ(ClassOf(h), d.window_class) << d.id;
    EXPECT_EQ(TextOf(h), d.caption) << d.id;
    Placement place = PlaceOf(h);
    EXPECT_EQ(place, (Placement{Scaled(d.left), Scaled(d.top), place.width, Scaled(d.height)})) << d.id;
    // A push button may be wider than designed, so that its caption fits; nothing else is.
    if (d.id >= kId按钮1 && d.id <= kId按钮7) {
      EXPECT_GE(place.width, Scaled(d.width)) << d.id;
    } else {
      EXPECT_EQ(place.width, Scaled(d.width)) << d.id;
    }
    LONG style = GetWindowLongW(h, GWL_STYLE);
    // A group of radio buttons is one tab stop: the system keeps it on the checked button.
    if (d.id != kId单选框5 && d.id != kId单选框6) {
      EXPECT_EQ((style & WS_TABSTOP) != 0, d.tab_stop) << d.id;
    }
    EXPECT_TRUE(style & WS_VISIBLE) << d.id;
  }
  for (int id : {kId编辑框1, kId编辑框2}) {
    LONG style = GetWindowLongW(Item(id), GWL_STYLE);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    EXPECT_FALSE(style & (ES_READONLY | ES_PASSWORD | ES_NOHIDESEL | ES_AUTOHSCROLL));
    EXPECT_TRUE(GetWindowLongW(Item(id), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // No limit: Windows reports 0x7FFFFFFE, Wine 0xFFFFFFFF.
    EXPECT_GE(static_cast<DWORD>(SendMessageW(Item(id), EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu);
  }
  LONG list = GetWindowLongW(Item(kId列表框2), GWL_STYLE);
  EXPECT_FALSE(list & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL));
  EXPECT_TRUE(list & LBS_NOTIFY);
  for (int id : {kId单选框5, kId单选框6}) {
    EXPECT_EQ(GetWindowLongW(Item(id), GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
  }
  EXPECT_TRUE(GetWindowLongW(Item(kId单选框6), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(MainWindowTest, UtfChoiceIsSelectedAndTheRadioButtonsExcludeEachOther) {
  auto checked = [&](int id) { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; };
  EXPECT_TRUE(checked(kId单选框6));
  EXPECT_FALSE(checked(kId单选框5));
  SendMessageW(Item(kId单选框5), BM_CLICK, 0, 0);
  EXPECT_TRUE(checked(kId单选框5));
  EXPECT_FALSE(checked(kId单选框6));
  SendMessageW(Item(kId单选框6), BM_CLICK, 0, 0);
  EXPECT_TRUE(checked(kId单选框6));
  EXPECT_FALSE(checked(kId单选框5));
  // The labels do nothing when clicked.
  SendMessageW(Item(kId标签7), WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(Item(kId标签7), WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(checked(kId单选框6));
}

TEST_F(MainWindowTest, MenusHoldTheFileCommandsAndHelp) {
  HMENU bar = GetMenu(hwnd_);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  wchar_t text[64];
  GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"文件");
  GetMenuStringW(bar, 1, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"帮助");
  struct Item {
    const wchar_t* text;
    UINT id;  // 0: a separator
  };
  const std::vector<Item> file = {{L"打开", kIdMenuOpen}, {L"保存\tCtrl+S", kIdMenuSave}, {L"另存为", kIdMenuSaveAs},
                                  {L"", 0}, {L"退出", kIdMenuExit}};
  const std::vector<Item> help = {{L"用户指南", kIdMenuGuide}, {L"关于", kIdMenuAbout}};
  for (int menu = 0; menu < 2; ++menu) {
    HMENU popup = GetSubMenu(bar, menu);
    const std::vector<Item>& expected = menu == 0 ? file : help;
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
      text[0] = L'\0';
      GetMenuStringW(popup, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      EXPECT_STREQ(text, expected[i].text);
      EXPECT_EQ(GetMenuItemID(popup, static_cast<int>(i)), expected[i].id == 0 ? 0u : expected[i].id);
    }
  }
}

TEST_F(MainWindowTest, ResizingMovesOnlyTheAnchoredControls) {
  ExpectLayoutFor(designed_client_);
  SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(686) + 100, Scaled(637) + 100, SWP_NOMOVE | SWP_NOZORDER);
  ExpectLayoutFor(ClientSize(hwnd_));
  EXPECT_EQ(ClientSize(hwnd_).cx, designed_client_.cx + 100);
  SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(600), Scaled(500), SWP_NOMOVE | SWP_NOZORDER);
  ExpectLayoutFor(ClientSize(hwnd_));
  SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(686), Scaled(637), SWP_NOMOVE | SWP_NOZORDER);
  ExpectLayoutFor(designed_client_);
  // The gap between the document box and the lower boxes stays 24.
  EXPECT_EQ(PlaceOf(Item(kId列表框2)).y - (PlaceOf(Item(kId编辑框1)).y + PlaceOf(Item(kId编辑框1)).height), Scaled(24));
}

TEST_F(MainWindowTest, MaximiseMinimiseAndRestoreKeepTheLayout) {
  ShowWindow(hwnd_, SW_MAXIMIZE);
  Pump();
  SIZE maximised = ClientSize(hwnd_);
  EXPECT_GT(maximised.cx, designed_client_.cx);
  ExpectLayoutFor(maximised);
  ShowWindow(hwnd_, SW_RESTORE);
  Pump();
  ExpectLayoutFor(ClientSize(hwnd_));
  Placement before = PlaceOf(Item(kId编辑框1));
  ShowWindow(hwnd_, SW_MINIMIZE);
  Pump();
  ShowWindow(hwnd_, SW_RESTORE);
  Pump();
  EXPECT_EQ(PlaceOf(Item(kId编辑框1)), before);
  ExpectLayoutFor(ClientSize(hwnd_));
}

TEST_F(MainWindowTest, LayoutProcedurePassesOtherMessagesOn) {
  EXPECT_EQ(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&LayoutWindowProc));
  ASSERT_EQ(lists_.LayoutHosts.size(), 1u);
  EXPECT_EQ(lists_.AnchoredControls.size(), 5u);  // the three boxes, and the stand-ins of two
  wchar_t text[64] = {};
  EXPECT_EQ(SendMessageW(hwnd_, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text)), 12);
  EXPECT_STREQ(text, L"Geovant 3.16");
}

namespace {

// Key presses as the user makes them, through the system's input queue.
void PressKey(BYTE key, bool control = false) {
  if (control) keybd_event(VK_CONTROL, 0, 0, 0);
  keybd_event(key, 0, 0, 0);
  keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
  if (control) keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
}

// The program's own message loop, for a while.
void RunLoop(HWND window, DWORD milliseconds) {
  DWORD end = GetTickCount() + milliseconds;
  while (GetTickCount() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (HandleDialogKeys(window, msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

// In the focused box: "a", Enter, "b", Ctrl+Tab, "c", Escape, and the loop run on them.
void TypeEditingKeys(HWND window) {
  PressKey('A');
  PressKey(VK_RETURN);
  PressKey('B');
  PressKey(VK_TAB, /*control=*/true);
  PressKey('C');
  PressKey(VK_ESCAPE);
  RunLoop(window, 300);
}

// The box's text as the program reads it: ANSI.
std::string BoxText(HWND box) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return WideToAnsi(text);
}

}  // namespace

TEST_F(MainWindowTest, KeysInTheTextBoxesEditAndNeverCloseTheWindow) {
  SetForegroundWindow(hwnd_);
  for (int id : {kId编辑框1, kId编辑框2}) {
    HWND box = Item(id);
    SetFocus(box);
    RunLoop(hwnd_, 100);
    TypeEditingKeys(hwnd_);
    ASSERT_TRUE(IsWindow(hwnd_)) << id;
    EXPECT_EQ(BoxText(box), "a\r\nb\tc") << id;
    EXPECT_EQ(GetFocus(), box);
    PressKey(VK_TAB);
    RunLoop(hwnd_, 200);
    EXPECT_EQ(GetFocus(), GetNextDlgTabItem(hwnd_, box, FALSE)) << "Tab moves the focus on";
    EXPECT_EQ(BoxText(box), "a\r\nb\tc");
  }
}

TEST_F(MainWindowTest, CloseDuringAMessageBoxWaitsForTheCommand) {
  // While the analysis shows its count, the window is asked to close; then the box is answered.
  static HWND window;
  window = hwnd_;
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostMessageW(window, WM_CLOSE, 0, 0);
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      HWND box = FindWindowW(L"#32770", nullptr);
      if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
  });
  SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(kId按钮4, BN_CLICKED), reinterpret_cast<LPARAM>(Item(kId按钮4)));
  EXPECT_FALSE(IsWindow(hwnd_)) << "the close is carried out once the command has returned";
}

TEST_F(MainWindowTest, LongTagItemsCanBeSelected) {
  std::string item = "<Placemark a=\"" + std::string(1000, 'x') + "\">";
  std::string document = item + "1</Placemark><Placemark>2</Placemark>";
  ViewOf(window_).SetText(Control::编辑框1, document);
  ViewOf(window_).AddItems(Control::列表框2, {"<kml>", item});
  SendMessageW(Item(kId列表框2), LB_SETCURSEL, 1, 0);
  SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(kId列表框2, LBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(kId列表框2)));
  EXPECT_EQ(ViewOf(window_).Text(Control::编辑框2), ExtractElements(item, document));
}

TEST_F(MainWindowTest, TextBoxesGiveBackTheMendedTextUnchanged) {
  // Every character the document text can hold, in the code page of the system.
  std::string text;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
    }
    text += "\r\n";
  }
  for (int c = 1; c < 0x80; ++c) text += static_cast<char>(c);
  text += "\x80\xFF";
  std::string mended = text;
  MendBrokenCharacters(mended);
  ASSERT_EQ(mended, text);
  Win32MainView view(hwnd_);
  view.SetText(Control::编辑框1, text);
  std::string back = view.Text(Control::编辑框1);
  std::vector<std::string> changed;
  for (size_t i = 0, j = 0; i < text.size() && j < back.size() && changed.size() < 20;) {
    size_t width = static_cast<unsigned char>(text[i]) >= 0x81 && static_cast<unsigned char>(text[i]) <= 0xFE ? 2 : 1;
    if (text.compare(i, width, back, j, width) != 0) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%02X%02X", static_cast<unsigned char>(text[i]),
                    width == 2 ? static_cast<unsigned char>(text[i + 1]) : 0);
      changed.push_back(hex);
    }
    i += width;
    j += width;
  }
  EXPECT_EQ(back.size(), text.size());
  EXPECT_EQ(changed, std::vector<std::string>{});
}

TEST_F(MainWindowTest, TextBoxesKeepCharactersThatGbkLacksAndTellWhetherTheyWereChanged) {
  // An emoji and Chinese, in the edit box and in the stand-in for long lines.
  const std::string emoji = "<name>\xF0\x9F\x98\x80\xE4\xB8\xAD</name>";
  Win32MainView view(hwnd_);
  for (const std::string& text : {emoji, emoji + std::string(2000, 'x')}) {
    view.SetUnicodeText(Control::编辑框1, text);
    EXPECT_TRUE(view.UnicodeText(Control::编辑框1) == text);
    EXPECT_EQ(view.Text(Control::编辑框1).substr(0, 9), "<name>?\xD6\xD0");
    EXPECT_FALSE(view.IsModified(Control::编辑框1));
    HWND box = IsWindowVisible(Item(kIdLarge编辑框1)) ? Item(kIdLarge编辑框1) : Item(kId编辑框1);
    SendMessageW(box, EM_SETSEL, 0, 0);
    SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"a"));
    EXPECT_TRUE(view.IsModified(Control::编辑框1)) << text.size();
  }
}

TEST_F(MainWindowTest, LargeTextsGoToABoxThatEditsAsTheEditBoxDoes) {
  // 400 KB of lines with Chinese names and tabs: more than the edit box is given.
  std::string line = "\t\t<name>\xB1\xB1\xBE\xA9</name>\t116.397477,39.908692,0\r\n";
  std::string large;
  while (large.size() < 400000) large += line;
  Win32MainView view(hwnd_);
  view.SetText(Control::编辑框1, large);
  HWND box = Item(kIdLarge编辑框1);
  EXPECT_TRUE(IsWindowVisible(box));
  EXPECT_FALSE(IsWindowVisible(Item(kId编辑框1)));
  EXPECT_TRUE(view.Text(Control::编辑框1) == large);
  EXPECT_EQ(PlaceOf(box), PlaceOf(Item(kId编辑框1)));

  SetForegroundWindow(hwnd_);
  SetFocus(box);
  SendMessageW(box, EM_SETSEL, 0, 0);
  RunLoop(hwnd_, 100);
  TypeEditingKeys(hwnd_);
  ASSERT_TRUE(IsWindow(hwnd_));
  EXPECT_EQ(view.Text(Control::编辑框1).substr(0, 8), "a\r\nb\tc\t\t");
  EXPECT_EQ(view.Text(Control::编辑框1).size(), large.size() + 6);
  PressKey('Z', /*control=*/true);  // takes back the typing
  RunLoop(hwnd_, 200);
  EXPECT_TRUE(view.Text(Control::编辑框1) == large);

  // A selection copied, and pasted in place of the first line.
  SendMessageW(box, EM_SETSEL, 2, 17);
  SendMessageW(box, WM_COPY, 0, 0);
  SendMessageW(box, EM_SETSEL, 0, static_cast<WPARAM>(line.size() - 4));
  SendMessageW(box, WM_PASTE, 0, 0);
  EXPECT_EQ(view.Text(Control::编辑框1).substr(0, 21), "<name>\xB1\xB1\xBE\xA9</name>\r\n\t\t");
  // Ctrl+End shows the end of the text.
  PressKey(VK_END, /*control=*/true);
  RunLoop(hwnd_, 200);
  SCROLLINFO info{sizeof info, SIF_POS | SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  GetScrollInfo(box, SB_VERT, &info);
  EXPECT_GE(info.nPos + static_cast<int>(info.nPage), static_cast<int>(large.size() / line.size()));
  PressKey(VK_TAB);
  RunLoop(hwnd_, 200);
  EXPECT_EQ(GetFocus(), GetNextDlgTabItem(hwnd_, box, FALSE)) << "Tab moves the focus on";

  // A small text goes back to the edit box.
  view.SetText(Control::编辑框1, "<kml/>");
  EXPECT_TRUE(IsWindowVisible(Item(kId编辑框1)));
  EXPECT_FALSE(IsWindowVisible(box));
  EXPECT_EQ(view.Text(Control::编辑框1), "<kml/>");
}

TEST(FailureMessage, SaysInChineseWhatCouldNotBeDone) {
  EXPECT_EQ(FailureMessage(Ui(u8"生成MIF"), std::make_exception_ptr(std::bad_alloc())), Ui(u8"无法完成“生成MIF”：内存不足。"));
  EXPECT_EQ(FailureMessage(Ui(u8"打开"), std::make_exception_ptr(std::runtime_error("x"))),
            Ui(u8"无法完成“打开”：程序内部出错。"));
}

namespace {

// What the shell sends when files are dropped on a window.
HDROP DropOf(const std::vector<std::wstring>& paths) {
  std::wstring names;
  for (const std::wstring& p : paths) names += p + L'\0';
  names += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

}  // namespace

TEST_F(MainWindowTest, ADroppedFileOpensAndTheTitleNamesIt) {
  // (Names that GBK lacks stay out of the test macros: they are turned into GBK strings too.)
  const std::wstring name = L"拖放 한.kml";
  const std::wstring file = TempFolder() + name;
  WriteWholeFile(WideToUtf8(file), "<kml><name>\xE4\xB8\xAD</name></kml>");  // UTF-8, the choice at start
  EXPECT_TRUE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({file})), 0);
  EXPECT_EQ(BoxText(Item(kId编辑框1)), "<kml><name>\xD6\xD0</name></kml>");
  EXPECT_EQ(SendMessageW(Item(kId列表框2), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(CommandsOf(window_).通用对话框1.file_name, WideToUtf8(file));
  EXPECT_EQ(TextOf(hwnd_), name + L" - Geovant 3.16");
  DeleteFileW(file.c_str());
}

TEST_F(MainWindowTest, SeveralDroppedFilesAreConvertedBesideThemselves) {
  const std::wstring folder = TempFolder();
  const std::vector<std::wstring> files = {folder + L"一.kml", folder + L"二.kml", folder + L"missing.kml"};
  WriteWholeFile(WideToUtf8(files[0]), "<kml><Point><coordinates>1,2</coordinates></Point></kml>");
  WriteWholeFile(WideToUtf8(files[1]), "<kml><Point><coordinates>3,4</coordinates></Point></kml>");
  // The dialog of the batch's choices is confirmed, and the summary at the end answered, as
  // soon as each shows.
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowW(L"#32770", nullptr);
    if (!box) return;
    if (!GetDlgItem(box, kIdBatchFileType)) KillTimer(nullptr, id);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(files)), 0);
  std::string first, second;
  ReadWholeFile(WideToUtf8(folder + L"一.mif"), &first);
  ReadWholeFile(WideToUtf8(folder + L"二.mif"), &second);
  EXPECT_NE(first.find("Point 1 2\r\n"), std::string::npos);
  EXPECT_NE(second.find("Point 3 4\r\n"), std::string::npos);
  EXPECT_EQ(BoxText(Item(kId编辑框1)), "<kml><Point><coordinates>3,4</coordinates></Point></kml>");
  EXPECT_EQ(TextOf(hwnd_), L"二.kml - Geovant 3.16");
  for (const wchar_t* name : {L"一.kml", L"二.kml", L"一.mif", L"二.mif"}) DeleteFileW((folder + name).c_str());
}

TEST_F(MainWindowTest, AGoogleEarthTrackOnOneLineOpensInTheBoxThatLaysOutOnlyWhatItShows) {
  // 5,000 tuples on one line, as Google Earth writes a track: the system's edit box took
  // minutes to lay it out under Wine.
  std::string line;
  for (int i = 0; i < 5000; ++i) line += "116." + std::to_string(100000 + i) + ",39." + std::to_string(200000 + i) + ",0 ";
  const std::wstring file = TempFolder() + L"track.kml";
  WriteWholeFile(WideToUtf8(file), "<kml><Placemark><LineString><coordinates>" + line +
                                       "</coordinates></LineString></Placemark></kml>");
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({file})), 0);
  HWND box = Item(kIdLarge编辑框1);
  EXPECT_TRUE(IsWindowVisible(box));
  EXPECT_EQ(BoxText(box).size(), line.size() + 86);
  EXPECT_EQ(SendMessageW(Item(kId列表框2), LB_GETCOUNT, 0, 0), 4);
  // It scrolls through the line by its rows, which break at the blanks between tuples.
  SendMessageW(box, WM_VSCROLL, SB_PAGEDOWN, 0);
  SCROLLINFO info{sizeof info, SIF_POS | SIF_RANGE, 0, 0, 0, 0, 0};
  GetScrollInfo(box, SB_VERT, &info);
  EXPECT_GT(info.nPos, 0);
  EXPECT_EQ(BoxText(box).substr(static_cast<size_t>(info.nPos) - 1, 5), " 116.");
  DeleteFileW(file.c_str());
}

TEST_F(MainWindowTest, ClosingWithUnsavedEditsAsksFirst) {
  SetForegroundWindow(hwnd_);
  SetFocus(Item(kId编辑框1));
  RunLoop(hwnd_, 100);
  PressKey('A');
  RunLoop(hwnd_, 200);
  // Cancel keeps the window, No closes it.
  static int answer;
  for (int given : {IDCANCEL, IDNO}) {
    answer = given;
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
      if (HWND box = FindWindowW(L"#32770", nullptr)) {
        KillTimer(nullptr, id);
        PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
      }
    });
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_EQ(IsWindow(hwnd_) != FALSE, given == IDCANCEL) << given;
  }
}

TEST_F(MainWindowTest, LabelsSitBesideTheirRadioButtonsAndCaptionsFitTheirButtons) {
  auto middle = [&](int id) { return PlaceOf(Item(id)).y + PlaceOf(Item(id)).height / 2; };
  EXPECT_EQ(GetWindowLongW(Item(kId标签7), GWL_STYLE) & SS_CENTERIMAGE, SS_CENTERIMAGE);
  EXPECT_EQ(GetWindowLongW(Item(kId标签8), GWL_STYLE) & SS_CENTERIMAGE, SS_CENTERIMAGE);
  EXPECT_EQ(middle(kId标签7), middle(kId单选框5));
  EXPECT_EQ(middle(kId标签8), middle(kId单选框6));
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(Item(kId按钮3), WM_GETFONT, 0, 0));
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, font);
  for (int id = kId按钮1; id <= kId按钮7; ++id) {
    std::wstring caption = TextOf(Item(id));
    SIZE text{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    EXPECT_LE(text.cx + 2 * GetSystemMetrics(SM_CXEDGE), PlaceOf(Item(id)).width) << id;
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  // No two controls of the top row overlap.
  std::vector<Placement> row;
  for (const Design& d : kDesign) {
    if (d.top < 50) row.push_back(PlaceOf(Item(d.id)));
  }
  std::sort(row.begin(), row.end(), [](const Placement& a, const Placement& b) { return a.x < b.x; });
  for (size_t i = 1; i < row.size(); ++i) EXPECT_LE(row[i - 1].x + row[i - 1].width, row[i].x) << i;
}
