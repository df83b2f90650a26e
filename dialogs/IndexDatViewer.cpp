#include "dialogs/IndexDatViewer.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <stdexcept>

#include "base/Global.h"
#include "cleaners/ie/IeShared.h"
#include "cleaners/ie/IndexDat.h"
#include "cleaners/ie/IndexDatFile.h"

namespace qv {

const char* const kIndexDatViewerCaption = "Index.dat file viewer";
const char* const kNotAvailable = "Not Available";

std::function<bool(std::string&)> TfrmIndexDatViewer::OpenDialogHook;

namespace {

const char* const kWrongFile = "Please enter the correct index.dat file name.";
const char* const kIndexDatPage = "http://www.marrowdale.example/indexdat.html";
const char* const kListHint = "Double click the item to link to the URL";
// Waiting messages are handled at most this often while a file is read.
const DWORD kPumpEveryMs = 30;

std::string AsciiLower(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return r;
}

bool HasSchemeAt(const std::string& lower, size_t at) {
  for (const char* scheme : {"http://", "https://", "ftp://"}) {
    const size_t n = std::strlen(scheme);
    if (lower.compare(at, n, scheme) == 0 && lower.size() > at + n) return true;
  }
  return false;
}

// Only the characters an address may hold (and those of international addresses): no blanks, no
// quotes, no control characters that could make the browser's command line say something else.
bool PlainAddress(const std::string& s) {
  static const char kAllowed[] = "-._~:/?#[]@!$&'()*+,;=%";
  for (unsigned char c : s) {
    if (c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) continue;
    if (c == 0 || !std::strchr(kAllowed, c)) return false;
  }
  return !s.empty();
}

}  // namespace

std::string IndexDatLinkTarget(const std::string& url) {
  const std::string lower = AsciiLower(url);
  std::string target;
  if (HasSchemeAt(lower, 0)) {
    target = url;
  } else if (lower.compare(0, 7, "cookie:") == 0) {
    // "Cookie:user@site/path": the user name may hold "@" itself, the site never does.
    const size_t slash = url.find('/', 7);
    const size_t at = url.rfind('@', slash == std::string::npos ? std::string::npos : slash);
    if (at != std::string::npos && at >= 7 && at + 1 < url.size() && url[at + 1] != '/')
      target = "http://" + url.substr(at + 1);
  } else {
    // "Visited: user@http://...", ":2024010120240108: user@http://...".
    for (size_t at = url.find('@'); at != std::string::npos; at = url.find('@', at + 1)) {
      if (HasSchemeAt(lower, at + 1)) {
        target = url.substr(at + 1);
        break;
      }
    }
  }
  return PlainAddress(target) ? target : std::string();
}

std::string IndexDatTimeText(double dateTime) {
  if (dateTime == 0) return kNotAvailable;
  const CalendarTime f = DecodeDateTime(dateTime);
  SYSTEMTIME st = {};
  st.wYear = (WORD)f.year;
  st.wMonth = (WORD)f.month;
  st.wDay = (WORD)f.day;
  st.wDayOfWeek = (WORD)f.dayOfWeek;
  st.wHour = (WORD)f.hour;
  st.wMinute = (WORD)f.minute;
  st.wSecond = (WORD)f.second;
  st.wMilliseconds = (WORD)f.milliseconds;
  wchar_t date[128] = {}, time[128] = {};
  if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128)) return kNotAvailable;
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128);
  return Narrow(date) + " " + Narrow(time);
}

TDialogTemplate TfrmIndexDatViewer::BuildTemplate() {
  TDialogTemplate t(kIndexDatViewerCaption, 372, 242);
  t.Group("Index.dat file &location", 7, 4, 358, 32, GroupBox1);
  t.Edit(14, 16, 278, 13, eFileName);
  t.Button("...", 296, 15, 20, 14, bBrowseFolder);
  t.Button("&Show", 320, 15, 38, 14, bShow, true);
  t.Add(PROGRESS_CLASSW, "", PBS_SMOOTH, 7, 40, 358, 10, ProgressBar1);
  t.Label("", 7, 45, 358, 1, Panel2, SS_ETCHEDHORZ);
  t.Add(WC_LISTVIEWW, "",
        LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP | WS_BORDER, 7,
        54, 358, 158, lvIndexDat);
  t.Label("Total Record:", 7, 223, 48, 9, Label1);
  t.Label("0", 56, 221, 60, 12, Panel1, SS_CENTER | SS_SUNKEN | SS_CENTERIMAGE);
  t.Button("&Help", 183, 220, 50, 14, IDHELP);
  t.Button("&More Index.dat", 238, 220, 72, 14, bShowDetail);
  t.Button("&Close", 315, 220, 50, 14, suiButton3);
  return t;
}

void TfrmIndexDatViewer::OnInit() {
  ShowItem(ProgressBar1, false);
  HWND bar = Item(ProgressBar1);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SetWindowLongPtrW(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  oldProgressProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmIndexDatViewer::ProgressProc)));

  HWND list = Item(lvIndexDat);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  // The columns in dialog units, so they grow with the font and the DPI as the dialog does: the
  // URL column 380 pixels wide at 96 DPI, the time column wide enough for a long date and time.
  const wchar_t* captions[] = {L"URL", L"Last Modified"};
  RECT url = {0, 0, 253, 0}, modified = {0, 0, 90, 0};
  MapDialogRect(Handle(), &url);
  MapDialogRect(Handle(), &modified);
  const int columnWidths[] = {url.right, modified.right};
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<wchar_t*>(captions[i]);
    col.cx = columnWidths[i];
    SendMessageW(list, LVM_INSERTCOLUMNW, i, (LPARAM)&col);
  }
  // ImageList1: one small picture, shown by every row.
  const int sx = GetSystemMetrics(SM_CXSMICON), sy = GetSystemMetrics(SM_CYSMICON);
  images_ = ImageList_Create(sx, sy, ILC_COLOR32 | ILC_MASK, 1, 0);
  HICON icon = (HICON)LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, sx, sy, 0);
  if (!icon) icon = (HICON)LoadImageW(nullptr, MAKEINTRESOURCEW(32512) /* IDI_APPLICATION */, IMAGE_ICON, sx, sy,
                                      LR_SHARED);
  if (images_ && icon) ImageList_AddIcon(images_, icon);
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)images_);
  AddHint(Handle(), list, kListHint);
  // The list takes Enter itself (the dialog would give it to "Show").
  SetPropW(list, L"QvOldProc", reinterpret_cast<HANDLE>(
                                    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc))));

  // FormShow: Internet Explorer's cache index.
  SetText(eFileName, IeSpecialFolder(Handle(), CSIDL_INTERNET_CACHE) + "\\Content.IE5\\index.dat");
}

void TfrmIndexDatViewer::OnClose() {
  closing_ = true;
  if (images_) ImageList_Destroy(images_);
  images_ = nullptr;
  urls_.clear();
  times_.clear();
}

void TfrmIndexDatViewer::SetProgress(int percent) {
  if (percent <= progress_) return;  // only ever forward
  progress_ = percent > 100 ? 100 : percent;
  SendMessageW(Item(ProgressBar1), PBM_SETPOS, progress_, 0);
  InvalidateRect(Item(ProgressBar1), nullptr, FALSE);
  UpdateWindow(Item(ProgressBar1));
}

bool TfrmIndexDatViewer::PumpWhileReading() {
  const DWORD now = GetTickCount();
  if (now - lastPump_ < kPumpEveryMs) return !closing_;
  lastPump_ = now;
  MSG m;
  while (!closing_ && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage((int)m.wParam);
      closing_ = true;
      break;
    }
    if (!IsDialogMessageW(Handle(), &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  return !closing_;
}

void TfrmIndexDatViewer::bShowClick() {
  if (reading_) return;
  const std::string path = Text(eFileName);
  const size_t slash = path.find_last_of("\\/:");
  const size_t dot = path.rfind('.');
  const std::string ext =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot) : std::string();
  if (!FileExists(path) || UpperCase(ext) != ".DAT") {
    ShowMessage(Handle(), kWrongFile, MB_OK, kIndexDatViewerCaption);
    SetFocus(Item(eFileName));
    return;
  }
  HWND list = Item(lvIndexDat);
  SendMessageW(list, LVM_SETITEMCOUNT, 0, 0);
  urls_.clear();
  times_.clear();
  ShowItem(Panel2, false);
  ShowItem(ProgressBar1, true);
  progress_ = -1;
  SetProgress(0);
  SetText(Panel1, "0");

  reading_ = true;
  lastPump_ = GetTickCount();
  IndexDatFileCallbacks cb;
  cb.onEntry = [this](const std::string& url, double when) {
    urls_.push_back(url);
    times_.push_back(when);
  };
  cb.onProgress = [this](int percent) { SetProgress(percent); };
  cb.beforeEntry = [this] { return PumpWhileReading(); };
  try {
    ReadIndexDatEntries(path, cb);
  } catch (const std::exception&) {
    // Out of memory on a huge file: the rows read so far are shown.
    const size_t rows = urls_.size() < times_.size() ? urls_.size() : times_.size();
    urls_.resize(rows);
    times_.resize(rows);
  }
  reading_ = false;
  if (closing_) return;
  SendMessageW(list, LVM_SETITEMCOUNT, (WPARAM)urls_.size(), LVSICF_NOINVALIDATEALL);
  InvalidateRect(list, nullptr, TRUE);
  SetText(Panel1, std::to_string(urls_.size()));
}

void TfrmIndexDatViewer::bBrowseFolderClick() {
  std::string file;
  if (OpenDialogHook) {
    if (!OpenDialogHook(file)) return;
  } else {
    wchar_t buf[MAX_PATH * 4] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = Handle();
    ofn.lpstrFilter = L"Index dat file(*.dat)\0*.DAT\0";
    ofn.lpstrFile = buf;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return;
    file = Narrow(buf);
  }
  SetText(eFileName, file);
}

void TfrmIndexDatViewer::OpenSelectedRow() {
  const int sel = (int)SendMessageW(Item(lvIndexDat), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
  if (sel < 0 || sel >= (int)urls_.size()) return;
  const std::string target = IndexDatLinkTarget(urls_[(size_t)sel]);
  if (target.empty()) {
    MessageBeep(MB_OK);  // nothing a browser should be given
    return;
  }
  ShellOpen(Handle(), target);
}

bool TfrmIndexDatViewer::OnCommand(int id, int, HWND) {
  switch (id) {
    case bShow: bShowClick(); return true;
    case bBrowseFolder: bBrowseFolderClick(); return true;
    case bShowDetail: ShellOpen(Handle(), kIndexDatPage); return true;
    case suiButton3:
      closing_ = true;  // a file being read stops at once
      Close(IDCANCEL);
      return true;
  }
  return false;
}

INT_PTR TfrmIndexDatViewer::OnMessage(UINT msg, WPARAM, LPARAM lParam, bool& handled) {
  if (msg != WM_NOTIFY) return 0;
  auto* n = reinterpret_cast<NMHDR*>(lParam);
  if (n->idFrom != lvIndexDat) return 0;
  if (n->code == LVN_GETDISPINFOW) {
    auto* d = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    const int row = d->item.iItem;
    if (row < 0 || row >= (int)urls_.size()) return 0;
    if (d->item.mask & LVIF_TEXT) {
      scratch_ = Widen(d->item.iSubItem == 0 ? urls_[(size_t)row] : IndexDatTimeText(times_[(size_t)row]));
      if (d->item.pszText && d->item.cchTextMax > 0) lstrcpynW(d->item.pszText, scratch_.c_str(), d->item.cchTextMax);
    }
    if (d->item.mask & LVIF_IMAGE) d->item.iImage = 0;
    handled = true;
  } else if (n->code == NM_DBLCLK) {
    OpenSelectedRow();
    handled = true;
  } else if (n->code == LVN_KEYDOWN && reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey == VK_RETURN) {
    OpenSelectedRow();  // Enter in the list is a double click on the selected row
    handled = true;
  }
  return 0;
}

LRESULT CALLBACK TfrmIndexDatViewer::ListProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto old = reinterpret_cast<WNDPROC>(GetPropW(h, L"QvOldProc"));
  if (msg == WM_GETDLGCODE) {
    auto* m = reinterpret_cast<MSG*>(lParam);
    LRESULT code = CallWindowProcW(old, h, msg, wParam, lParam);
    if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
    return code;
  }
  if (msg == WM_NCDESTROY) {
    RemovePropW(h, L"QvOldProc");
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
  }
  return CallWindowProcW(old, h, msg, wParam, lParam);
}

// The bar shows its percentage over it.
LRESULT CALLBACK TfrmIndexDatViewer::ProgressProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfrmIndexDatViewer*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  LRESULT r = CallWindowProcW(self->oldProgressProc_, h, msg, wParam, lParam);
  if (msg == WM_PAINT) {
    HDC dc = GetDC(h);
    RECT rc;
    GetClientRect(h, &rc);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(GetParent(h), WM_GETFONT, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    std::wstring t = std::to_wstring(self->progress_ < 0 ? 0 : self->progress_) + L"%";
    DrawTextW(dc, t.c_str(), (int)t.size(), &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
  }
  return r;
}

}  // namespace qv
