// The help pages shipped beside the program (help\, which the Help menu opens when there is no
// compiled help): every item the tree can show has its entry, and every link between the pages
// leads to a page and a place that exist.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/Global.h"
#include "cleaners/Cleaners.h"
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
  // Every item the tables declare, and every definition of Zelbrin.dat, which the Applications
  // category shows when it matches an installed program.
  TCatalogue catalogue = BuiltinCatalogue();
  const std::vector<std::string> sections = IniReadSections(ExeFolder() + "Zelbrin.dat");
  ASSERT_GT(sections.size(), 30u);
  catalogue.AddApplications(sections, sections);
  std::vector<std::pair<std::string, std::string>> entries;  // name, anchor
  for (const TCategory& cat : catalogue.Categories)
    for (size_t i = 0; i < cat.Items.size(); ++i) entries.push_back({cat.ItemName(i), cat.Items[i].HelpAnchor});
  ASSERT_GT(entries.size(), sections.size() + 50);
  for (const auto& entry : entries) {
    const std::string heading = "<h3 id=\"" + entry.second + "\">" + Escaped(entry.first) + "</h3>";
    EXPECT_NE(items.find(heading), std::string::npos) << heading;
  }
  EXPECT_EQ(HelpAnchorOf("Custom Lists - <New List>"), "custom-lists-new-list");
  EXPECT_EQ(HelpAnchorOf("Advanced - Yahoo! Toolbar History"), "advanced-yahoo-toolbar-history");
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
