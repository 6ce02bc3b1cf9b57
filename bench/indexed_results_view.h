// A results list for the fix benchmarks whose deletions cost O(log n), as a
// list view's pointer array nearly does.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/recording_ports.h"

namespace tavik::bench {

// A results list whose deletions cost O(log n), as a list view's pointer
// array nearly does: rows stay in place and a Fenwick tree over their
// "still listed" marks finds the row at a given index.
class IndexedResultsView final : public ResultsView {
 public:
  explicit IndexedResultsView(std::vector<ResultsRow> rows)
      : rows_(std::move(rows)), tree_(rows_.size() + 1, 0), count_(rows_.size()) {
    for (size_t i = 1; i <= rows_.size(); ++i) {
      tree_[i] += 1;
      const size_t parent = i + (i & (~i + 1));
      if (parent <= rows_.size()) tree_[parent] += tree_[i];
    }
  }
  void DeleteAllRows() override {}
  void SetRedraw(bool) override {}
  void SetItemCountHint(int32_t) override {}
  void InsertRow(int32_t, const std::u16string&) override {}
  void SetCellText(int32_t, int32_t, const std::u16string&) override {}
  void SetChecked(int32_t, bool) override {}
  int32_t RowCount() override { return static_cast<int32_t>(count_); }
  std::u16string CellText(int32_t row, int32_t column) override {
    return rows_[At(row)].cells[static_cast<size_t>(column)];
  }
  bool IsChecked(int32_t row) override { return rows_[At(row)].checked; }
  void DeleteRow(int32_t row) override {
    for (size_t i = At(row) + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
    --count_;
  }

 private:
  // The position of the row shown at `index`.
  size_t At(int32_t index) const {
    size_t position = 0;
    size_t remaining = static_cast<size_t>(index) + 1;
    size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (position + step < tree_.size() && tree_[position + step] < remaining) {
        position += step;
        remaining -= tree_[position];
      }
    }
    return position;  // zero-based: the tree is one-based
  }

  std::vector<ResultsRow> rows_;
  std::vector<size_t> tree_;
  size_t count_;
};

}  // namespace tavik::bench
