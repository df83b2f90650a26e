#include "dialogs/CookiesManager.h"

#include <vector>

#include "base/Global.h"
#include "cleaners/apps/BrowserCookies.h"
#include "cleaners/ie/IeCookies.h"

namespace qv {

namespace {

void FillList(HWND list, const std::vector<TCookieEntry>& entries, int selection) {
  std::vector<std::string> names;
  for (const TCookieEntry& e : entries) names.push_back(e.Text());
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  // Scrolled sideways only as far as the longest name needs.
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(list, WM_GETFONT, 0, 0));
  int widest = 0;
  for (const std::string& n : names) {
    const std::wstring w = Widen(n);
    SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)w.c_str());
    SIZE size = {};
    GetTextExtentPoint32W(dc, w.c_str(), (int)w.size(), &size);
    if (size.cx > widest) widest = size.cx;
  }
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  SendMessageW(list, LB_SETHORIZONTALEXTENT, widest + 8, 0);
  SendMessageW(list, LB_SETCURSEL, (WPARAM)selection, 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

// A text file of the system's code page, every line preceded by a line break.
bool ReadCookieText(const std::string& path, std::string& text) {
  HANDLE f = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  // A cookie file is small; anything far larger is not read whole into a message box.
  const LONGLONG kMost = 1 << 20;
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart <= kMost;
  std::string raw;
  if (ok) {
    raw.resize((size_t)size.QuadPart);
    DWORD got = 0;
    ok = raw.empty() || (ReadFile(f, &raw[0], (DWORD)raw.size(), &got, nullptr) && got == raw.size());
  }
  CloseHandle(f);
  if (!ok) return false;
  std::wstring wide;
  if (!raw.empty()) {
    int n = MultiByteToWideChar(CP_ACP, 0, raw.data(), (int)raw.size(), nullptr, 0);
    wide.assign((size_t)n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, raw.data(), (int)raw.size(), &wide[0], n);
  }
  const std::string all = Narrow(wide);
  text.clear();
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    std::string line = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += "\r\n" + line;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

}  // namespace

TDialogTemplate TfrmCookiesManager::BuildTemplate() {
  TDialogTemplate t("Cookies Manager", 300, 192);
  const DWORD list = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | WS_BORDER;
  t.Label("All cookies &found", 7, 7, 115, 9, Label1);
  t.Add(L"LISTBOX", "", list, 7, 18, 115, 147, ListBox1);
  t.Button("&Add         ->", 128, 40, 62, 14, bAdd);
  t.Button("&Remove <-", 128, 58, 62, 14, bRemove);
  t.Button("Add A&ll    ->", 128, 84, 62, 14, bAddAll);
  t.Button("Re&move All <-", 128, 102, 62, 14, bRemoveAll);
  t.Button("&View", 128, 130, 62, 14, bView);
  t.Label("Cookies to &keep", 196, 7, 97, 9, Label2);
  t.Add(L"LISTBOX", "", list, 196, 18, 97, 147, ListBox2);
  t.Button("&Help", 133, 172, 50, 14, IDHELP);
  t.Button("&OK", 188, 172, 50, 14, bOK, true);
  t.Button("&Cancel", 243, 172, 50, 14, bCancel);
  return t;
}

void TfrmCookiesManager::OnInit() {
  // The keep list, entries no browser holds any more included; then the sites of every browser.
  const std::vector<std::string> keep = ReadCookieKeepList(CookiesDatSourcePath());
  folder_ = FindCookieFolder(Handle());
  std::vector<TCookieEntry> found;
  for (const TCookieSite& site : ListCookieSites(folder_, keep)) {
    std::string where;
    for (const std::string& browser : site.Browsers) where += (where.empty() ? "" : ", ") + browser;
    found.push_back({site.Site, where});
  }
  lists_.reset(new TCookieLists(found, keep));
  ShowLists();
}

void TfrmCookiesManager::ShowLists() {
  FillList(Item(ListBox1), lists_->Found, lists_->FoundSelection);
  FillList(Item(ListBox2), lists_->Keep, lists_->KeepSelection);
}

// The cookies of the selected site: the text of each of its Internet Explorer cookie files, then a
// line for each cookie the other browsers hold of it (never a value: Chromium's are encrypted).
void TfrmCookiesManager::bViewClick() {
  const int sel = lists_->FoundSelection;
  if (sel < 0 || sel >= (int)lists_->Found.size()) return;
  const std::string site = lists_->Found[(size_t)sel].Name;
  std::string text;
  if (!folder_.empty())
    for (const std::string& name : IeCookieFilesOfSite(folder_, site)) {
      std::string file;
      if (ReadCookieText(folder_ + name, file)) text += file;  // gone or unreadable: left out
    }
  for (const std::string& line : DatabaseCookiesOfSite(site)) text += "\r\n" + line;
  if (text.empty()) return;
  ShowMessage(Handle(), text, MB_OK | MB_ICONINFORMATION, site);
}

void TfrmCookiesManager::bOKClick() {
  WriteCookieKeepList(lists_->KeepNames(), CookiesDatPath());
  Close(IDOK);
}

bool TfrmCookiesManager::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case ListBox1:
    case ListBox2: {
      if (code == LBN_SELCHANGE) {
        int sel = (int)SendMessageW(control, LB_GETCURSEL, 0, 0);
        (id == ListBox1 ? lists_->FoundSelection : lists_->KeepSelection) = sel == LB_ERR ? -1 : sel;
      } else if (code == LBN_DBLCLK) {
        if (id == ListBox1)
          lists_->FoundDoubleClick();
        else
          lists_->KeepDoubleClick();
        ShowLists();
      }
      return true;
    }
    case bAdd: lists_->Add(); break;
    case bRemove: lists_->Remove(); break;
    case bAddAll: lists_->AddAll(); break;
    case bRemoveAll: lists_->RemoveAll(); break;
    case bView: bViewClick(); return true;
    case bOK: bOKClick(); return true;
    default: return false;
  }
  ShowLists();
  return true;
}

}  // namespace qv
