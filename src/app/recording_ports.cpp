#include "app/recording_ports.h"

#include "base/text.h"

namespace tavik {

namespace {
bool ValidCell(size_t rows, int32_t row, int32_t column) {
  return row >= 0 && static_cast<size_t>(row) < rows && column >= 0 &&
         column < 4;
}
}  // namespace

void RecordingResultsView::InsertRow(int32_t index,
                                     const std::u16string& typeText) {
  if (index < 0 || static_cast<size_t>(index) > rows.size()) {
    index = static_cast<int32_t>(rows.size());
  }
  ResultsRow row;
  row.cells[0] = typeText;
  rows.insert(rows.begin() + index, std::move(row));
}

void RecordingResultsView::SetCellText(int32_t row, int32_t column,
                                       const std::u16string& text) {
  if (ValidCell(rows.size(), row, column)) rows[row].cells[column] = text;
}

void RecordingResultsView::SetChecked(int32_t row, bool checked) {
  if (ValidCell(rows.size(), row, 0)) rows[row].checked = checked;
}

void RecordingResultsView::SetRowTip(int32_t row, const std::u16string& text) {
  if (row >= 0 && static_cast<size_t>(row) < rows.size()) {
    rows[static_cast<size_t>(row)].tip = text;
  }
}

std::u16string RecordingResultsView::CellText(int32_t row, int32_t column) {
  return ValidCell(rows.size(), row, column) ? rows[row].cells[column]
                                             : std::u16string();
}

bool RecordingResultsView::IsChecked(int32_t row) {
  return ValidCell(rows.size(), row, 0) && rows[row].checked;
}

void RecordingResultsView::DeleteRow(int32_t row) {
  if (ValidCell(rows.size(), row, 0)) rows.erase(rows.begin() + row);
}

std::string FormatRowsAsTsv(const std::vector<ResultsRow>& rows) {
  std::string out;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.cells.size(); ++i) {
      if (i > 0) out.push_back('\t');
      out += Utf16ToUtf8(row.cells[i]);
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace tavik
