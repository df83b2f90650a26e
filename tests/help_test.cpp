// The help pages shipped beside the program (help\, which the Help menu opens when there is no
// compiled help): every item the tree can show has its entry, and every link between the pages
// leads to a page and a place that exist.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/Global.h"
#include "engine/Catalogue.h"
#include "support/Sandbox.h"

using namespace qv;

namespace {

std::string HelpFolder() { return ExeFolder() + "help\\"; }

// Every page shipped.
std::vector<std::string> Pages() {
  std::vector<std::string> pages;
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(Widen(HelpFolder() + "*.html").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return pages;
  do pages.push_back(Narrow(fd.cFileName));
  while (FindNextFileW(f, &fd));
  FindClose(f);
  return pages;
}

std::string Page(const std::string& name) { return qvtest::ReadTextFile(HelpFolder() + name); }

// An item's place in the page: its name in lower case, every run of other characters one "-".
std::string Anchor(const std::string& name) {
  std::string a;
  bool dash = false;
  for (char c : name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
    if (keep) {
      if (dash && !a.empty()) a += '-';
      a += (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      dash = false;
    } else {
      dash = true;
    }
  }
  return a;
}

std::string Escaped(const std::string& text) {
  std::string r;
  for (char c : text) {
    if (c == '<')
      r += "&lt;";
    else if (c == '>')
      r += "&gt;";
    else if (c == '&')
      r += "&amp;";
    else
      r += c;
  }
  return r;
}

// The values of an attribute (id="..." or href="...") in a page.
std::vector<std::string> Attributes(const std::string& page, const std::string& attribute) {
  std::vector<std::string> values;
  const std::string start = " " + attribute + "=\"";
  for (size_t at = page.find(start); at != std::string::npos; at = page.find(start, at + 1)) {
    const size_t from = at + start.size();
    values.push_back(page.substr(from, page.find('"', from) - from));
  }
  return values;
}

TEST(Help, EveryItemTheTreeCanShowHasItsEntry) {
  const std::string items = Page("items.html");
  ASSERT_FALSE(items.empty()) << "no " << HelpFolder() << "items.html";
  std::vector<std::string> names;
  for (const TCategory& cat : TCatalogue::Builtin().Categories)
    for (size_t i = 0; i < cat.Items.size(); ++i) names.push_back(cat.ItemName(i));
  ASSERT_EQ(names.size(), 54u);
  // The Applications category shows any definition of Zelbrin.dat that matches an installed program.
  const std::vector<std::string> sections = IniReadSections(ExeFolder() + "Zelbrin.dat");
  ASSERT_GT(sections.size(), 30u);
  for (const std::string& s : sections) names.push_back("Applications - " + s);
  for (const std::string& name : names) {
    const std::string heading = "<h3 id=\"" + Anchor(name) + "\">" + Escaped(name) + "</h3>";
    EXPECT_NE(items.find(heading), std::string::npos) << heading;
  }
  EXPECT_EQ(Anchor("Custom Lists - <New List>"), "custom-lists-new-list");
  EXPECT_EQ(Anchor("Advanced - Yahoo! Toolbar History"), "advanced-yahoo-toolbar-history");
}

TEST(Help, EveryLinkBetweenThePagesLeadsSomewhere) {
  std::map<std::string, std::set<std::string>> ids;
  const std::vector<std::string> pages = Pages();
  ASSERT_GE(pages.size(), 11u);
  for (const std::string& name : pages) {
    const std::string page = Page(name);
    ASSERT_FALSE(page.empty()) << name;
    std::set<std::string>& own = ids[name];
    for (const std::string& id : Attributes(page, "id")) EXPECT_TRUE(own.insert(id).second) << name << "#" << id;
  }
  int links = 0;
  for (const std::string& name : pages) {
    for (const std::string& href : Attributes(Page(name), "href")) {
      if (href == "help.css" || StartsWith(href, "http")) continue;
      const size_t hash = href.find('#');
      const std::string target = hash == 0 ? name : href.substr(0, hash);
      ASSERT_TRUE(ids.count(target)) << name << ": " << href;
      if (hash != std::string::npos) {
        EXPECT_TRUE(ids[target].count(href.substr(hash + 1))) << name << ": " << href;
      }
      ++links;
    }
  }
  // Every page is reached from the contents.
  for (const std::string& name : pages)
    EXPECT_NE(Page("index.html").find("href=\"" + name + "\""), std::string::npos) << name;
  EXPECT_GT(links, 60);
  EXPECT_TRUE(FileExists(HelpFolder() + "help.css"));
}

}  // namespace
