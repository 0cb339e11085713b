#include "support/report_table.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <utility>

namespace gelvar::testing {

ReportTable::ReportTable(std::vector<std::string> header) { rows_.push_back(std::move(header)); }

void ReportTable::AddRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

std::string ReportTable::Markdown() const {
  const auto line = [](const std::vector<std::string>& cells) {
    std::string text = "|";
    for (const std::string& cell : cells) text += " " + cell + " |";
    return text + "\n";
  };
  std::string text = line(rows_.front());
  text += line(std::vector<std::string>(rows_.front().size(), "---"));
  for (std::size_t i = 1; i < rows_.size(); ++i) text += line(rows_[i]);
  return text;
}

void ReportTable::Publish(const std::string& name) const {
  const std::string text = Markdown();
  std::cout << text;
  if (const char* dir = std::getenv("GELVAR_REPORT_DIR"); dir != nullptr && *dir != '\0') {
    std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << text;
  }
}

}  // namespace gelvar::testing
