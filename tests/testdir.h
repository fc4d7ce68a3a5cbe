// A fresh temporary directory for one test, removed with all it holds afterwards; file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}
