// A Markdown table of figures that a test measured: printed with the test's output, and written to
// $GELVAR_REPORT_DIR/<name> when that variable is set, from where scripts/reliability-report puts
// it into docs/reliability.md.
#pragma once

#include <string>
#include <vector>

namespace gelvar::testing {

class ReportTable {
 public:
  explicit ReportTable(std::vector<std::string> header);
  void AddRow(std::vector<std::string> cells);
  std::string Markdown() const;
  void Publish(const std::string& name) const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace gelvar::testing
