// A fresh temporary directory for one test, removed with all it holds afterwards; file contents.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct testdir {
  std::filesystem::path path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "eigenshoot-XXXXXX").string();
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  ~testdir() { std::filesystem::remove_all(path); }
};

inline std::string slurp(const std::filesystem::path& file) {
  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}
