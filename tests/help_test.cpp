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

const char* const kPages[] = {"index.html", "items.html", "settings.html", "unattended.html", "lists.html",
                              "safety.html"};

std::string HelpFolder() { return ExeFolder() + "help\\"; }

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
  for (const char* name : kPages) {
    const std::string page = Page(name);
    ASSERT_FALSE(page.empty()) << name;
    std::set<std::string>& own = ids[name];
    for (const std::string& id : Attributes(page, "id")) EXPECT_TRUE(own.insert(id).second) << name << "#" << id;
  }
  int links = 0;
  for (const char* name : kPages) {
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
  EXPECT_GT(links, 60);
  EXPECT_TRUE(FileExists(HelpFolder() + "help.css"));
}

}  // namespace
