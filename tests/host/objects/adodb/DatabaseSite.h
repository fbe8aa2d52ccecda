#pragma once
// A site folder with a data folder beside it holding a SQLite database
// file, for pages that use the database objects: each test writes its
// pages and runs them through the page engine.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/pages/PageEngine.h"

namespace kelvane::host::adodb::testing {

class DatabaseSite : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    folder = std::filesystem::temp_directory_path() /
             ("kelvane-adodb-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(folder / "site");
    std::filesystem::create_directories(folder / "data");
    database = (std::filesystem::canonical(folder / "data") / "test.db").string();
    connect = "Driver=SQLite3;Database=" + database;
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  // Runs `text` as the page `name` (".asp" or ".ksp" chooses the language);
  // "$DB" in it stands for the connection string. The data folder is the
  // one pages write in unless `limits` names others.
  PageReply Run(std::string text, const std::string& name = "page.asp", PageLimits limits = PageLimits{}) {
    if (limits.dataFolders.empty()) limits.dataFolders = {std::filesystem::canonical(folder / "data")};
    for (std::size_t at; (at = text.find("$DB")) != std::string::npos;) text.replace(at, 3, connect);
    const auto page = folder / "site" / name;
    std::ofstream(page) << text;
    PageRequest request;
    request.method = "GET";
    request.path = "/" + name;
    return PageEngine(folder / "site", limits).Run(page, request);
  }

  // The body of `code` run as one script block of the .asp page `name`, or
  // the failure's text.
  std::string Asp(const std::string& code, const std::string& name = "page.asp") {
    const PageReply reply = Run("<%\n" + code + "\n%>", name);
    return reply.status == 200 ? reply.body : "failed: " + reply.body;
  }

  std::filesystem::path folder;
  std::string database;
  std::string connect;
};

}  // namespace kelvane::host::adodb::testing
