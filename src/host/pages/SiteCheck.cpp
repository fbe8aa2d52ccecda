#include "host/pages/SiteCheck.h"

#include <algorithm>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "host/pages/PageEngine.h"
#include "host/pages/PageLanguages.h"
#include "host/pages/PageObjects.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// The site's pages, site-relative, in path order.
std::vector<fs::path> PagesOf(const fs::path& root) {
  std::vector<fs::path> pages;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->path().filename().native().starts_with('.')) {
      if (it->is_directory(error)) it.disable_recursion_pending();
      continue;
    }
    if (IsPageFile(it->path()) && it->is_regular_file(error)) pages.push_back(it->path().lexically_relative(root));
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// Adds to `progIDs` those that `text` creates by a literal name and that
// are not there yet: first those of CreateObject("..."), then those of
// <object progid="...">.
void AddProgIDs(const std::string& text, std::vector<std::string>& progIDs) {
  static const std::regex kCreated(R"(createobject\s*\(\s*["']([^"'\r\n]+)["'])", std::regex::icase);
  static const std::regex kDeclared(R"(<object\b[^>]*\bprogid\s*=\s*["']?([^"'\s>]+))", std::regex::icase);
  for (const std::regex* pattern : {&kCreated, &kDeclared}) {
    for (auto it = std::sregex_iterator(text.begin(), text.end(), *pattern); it != std::sregex_iterator(); ++it) {
      const std::string progID = (*it)[1].str();
      if (std::none_of(progIDs.begin(), progIDs.end(),
                       [&](const std::string& known) { return oleaut::SameName(known, progID); }))
        progIDs.push_back(progID);
    }
  }
}

}  // namespace

SiteCheckCount CheckSite(const fs::path& root, std::ostream& out) {
  RegisterPageLibraries();
  const fs::path site = fs::canonical(root);
  SiteCheckCount count;
  const auto report = [&](const std::string& name, const PageCheck& check) {
    ++count.pages;
    std::string found;
    if (const auto& error = check.error) {
      found += check.refused ? "  refused on purpose" : "  error";
      if (!error->file.empty()) found += " at " + error->file + (error->line > 0 ? ":" + std::to_string(error->line) : "");
      found += ": " + error->source + (error->number ? " " + std::to_string(*error->number) : "") + ": " +
               error->description + "\n";
    } else {
      ++count.compiled;
    }
    for (const auto& ignored : check.ignored) found += "  refused on purpose: " + ignored + "\n";
    std::vector<std::string> progIDs;
    for (const auto& named : check.files) {
      if (!named.onDisk.empty())
        found += "  found only by ignoring letter case: " + named.path + " is " + named.onDisk + "\n";
      AddProgIDs(named.text, progIDs);
    }
    for (const auto& progID : progIDs)
      if (!ProvidesPageObject(progID)) found += "  creates an object this host does not provide: " + progID + "\n";
    out << name << (found.empty() ? ": ok\n" : ":\n" + found);
  };
  if (const auto global = CheckGlobalAsa(site)) report(global->files.empty() ? "global.asa" : global->files[0].path, *global);
  for (const fs::path& page : PagesOf(site)) {
    const fs::path file = site / page;
    report(page.generic_string(), oleaut::SameName(page.extension().native(), ".asp") ? CheckAspPage(site, file)
                                                                                     : CheckKspPage(site, file));
  }
  out << count.compiled << " of " << count.pages << " pages compile\n";
  return count;
}

}  // namespace kelvane::host
