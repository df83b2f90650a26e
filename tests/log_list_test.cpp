// The log's lines: held compactly, every one given back as it went in, and a list box that shows
// them answers for its text as an ordinary one does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/Global.h"
#include "base/LineStore.h"
#include "shell/LogListWin.h"
#include "shell/TaskHostWin.h"

using namespace qv;

namespace {

// Lines that share much, little or nothing with the one before, across block edges.
std::vector<std::string> SampleLines() {
  std::vector<std::string> lines = {"",
                                    "deleting C:\\Temp\\a.tmp",
                                    "deleting C:\\Temp\\a.tmp",
                                    "deleting C:\\Temp\\a.tm",
                                    "deleting C:\\Temp\\a.tmpx",
                                    "",
                                    "x",
                                    "C:\\Users\\J\xC3\xBCrgen\\\xE6\x97\xA5\xE6\x9C\xAC\\f.dat could not be removed: held open",
                                    std::string(5000, 'q'),
                                    std::string(4999, 'q') + "r"};
  for (int i = 0; i < 100; ++i) lines.push_back("deleting C:\\bench\\d" + std::to_string(i / 7) + "\\f" + std::to_string(i));
  return lines;
}

}  // namespace

TEST(LineStore, GivesBackEveryLineAsItWentIn) {
  const std::vector<std::string> lines = SampleLines();
  TLineStore store;
  for (const std::string& line : lines) store.Add(line);
  ASSERT_EQ(store.Size(), lines.size());
  EXPECT_EQ(store.All(), lines);
  for (size_t i = lines.size(); i-- > 0;) EXPECT_EQ(store.Line(i), lines[i]) << "line " << i;
  EXPECT_EQ(store.Line(lines.size()), "");

  store.Clear();
  EXPECT_TRUE(store.Empty());
  EXPECT_TRUE(store.All().empty());
  store.Add("after");
  EXPECT_EQ(store.All(), std::vector<std::string>{"after"});
}

// A detailed Clean's lines name files of the same folders: the store must not hold a copy of each.
TEST(LineStore, AHundredThousandLinesOfOneTreeTakeAFewBytesEach) {
  TLineStore store;
  size_t text = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string line = "deleting C:\\bench\\tree\\folder" + std::to_string(i / 1000) + "\\file" +
                             std::to_string(i) + ".tmp";
    text += line.size();
    store.Add(line);
  }
  EXPECT_LT(store.HeldBytes(), text / 3);
  EXPECT_EQ(store.Line(54321), "deleting C:\\bench\\tree\\folder54\\file54321.tmp");
}

TEST(LogList, AnswersForItsTextLikeAListBox) {
  HWND list = CreateWindowExW(0, L"LISTBOX", L"",
                              WS_OVERLAPPEDWINDOW | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | TLogList::kStyle,
                              0, 0, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(list);
  ASSERT_TRUE(TLogList::Attach(list));
  EXPECT_EQ(TLogList::Of(GetDesktopWindow()), nullptr);

  const std::vector<std::string> lines = SampleLines();
  for (const std::string& line : lines) ListBoxAddLine(list, line);
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), (LRESULT)lines.size());
  EXPECT_EQ(ListBoxLines(list), lines);

  const std::wstring seventh = Widen(lines[7]);
  EXPECT_EQ(SendMessageW(list, LB_GETTEXTLEN, 7, 0), (LRESULT)seventh.size());
  std::wstring text(seventh.size() + 1, L'\0');
  EXPECT_EQ(SendMessageW(list, LB_GETTEXT, 7, (LPARAM)&text[0]), (LRESULT)seventh.size());
  EXPECT_EQ(text.c_str(), seventh);
  EXPECT_EQ(SendMessageW(list, LB_GETTEXTLEN, lines.size(), 0), LB_ERR);

  // The window text is the line at the caret, readable from any process.
  SendMessageW(list, LB_SETCARETINDEX, 7, FALSE);
  wchar_t caret[512] = {};
  GetWindowTextW(list, caret, 512);
  EXPECT_EQ(std::wstring(caret), seventh);
  wchar_t cut[5] = {};
  EXPECT_EQ(GetWindowTextW(list, cut, 5), 4);
  EXPECT_EQ(std::wstring(cut), seventh.substr(0, 4));

  // Shown and drawn without a parent to draw it (nothing to check but that it lives).
  ShowWindow(list, SW_SHOWNOACTIVATE);
  UpdateWindow(list);

  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(ListBoxLines(list).empty());
  DestroyWindow(list);
  EXPECT_FALSE(IsWindow(list));
}
