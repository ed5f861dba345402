#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "features/kml_features.h"
#include "features/table_layout.h"

// When set, every read of a spool fails: for the tests of an export that cannot read its
// records back.
inline bool g_fail_spool_reads_for_testing = false;

// What the writing of a conversion takes from its first reading instead of reading the
// placemarks again: the row values and the style of each placemark, as that reading found
// them, one record after another in the order the placemarks begin. The records go to a
// temporary file (to memory where none can be had, or once a write to it fails), so that
// only an entry for each window of 64 KB of them stays in memory.
class RowSpool {
 public:
  // `in_file` false keeps the records in memory.
  explicit RowSpool(bool in_file = true);
  ~RowSpool();
  RowSpool(const RowSpool&) = delete;
  RowSpool& operator=(const RowSpool&) = delete;

  // Appends to `records` the record of `placemark`, number `number` of `reading`: `values`
  // (its row's values, by the reading's own fields), and its style when `styles`.
  static void AppendRecord(const KmlFeatures& reading, const Placemark& placemark, uint32_t number,
                           const RowValues& values, bool styles, std::string& records);

  // Adds the records of a stretch, whose own fields are the document's fields field_of[f] and
  // whose placemarks are numbered from `first_number` on in the document. Stretches come in
  // document order.
  void AddStretch(std::string_view records, std::vector<int> field_of, uint32_t first_number);

  // A placemark's style as its record holds it.
  struct Style {
    std::string_view url;  // its styleUrl
    bool own = false;      // it has a Style of its own, `style`, which takes the place of a shared one
    KmlStyle style;
  };

  // Reads the records of one worker; the spool may be read by several at once.
  class Cursor {
   public:
    explicit Cursor(const RowSpool& spool) : spool_(spool) {}
    // The record of the placemark of the number `number` in the document: its values, by the
    // document's fields, and its style; they stay valid until the next call. False when the
    // spool has none.
    bool At(uint32_t number, RowValues* values, Style* style);

   private:
    bool Load(size_t window);

    const RowSpool& spool_;
    size_t window_ = SIZE_MAX;  // whose records `records_` holds
    std::string records_;
    size_t at_ = 0;  // the record last found, or where the search begins
  };

 private:
  // Records of one stretch, about kWindow bytes of them, read at once.
  struct Window {
    uint32_t first_number;  // of the placemark of its first record
    uint32_t base;          // of its stretch's first placemark: a record holds its number from there
    uint64_t offset, size;  // of its records
    std::shared_ptr<const std::vector<int>> field_of;
  };
  static constexpr size_t kWindow = size_t{64} << 10;
  // Copies size bytes from `offset` to `out`; false when the file fails to give them.
  bool Read(uint64_t offset, size_t size, std::string& out) const;

  bool use_file_;
  std::FILE* file_ = nullptr;
  uint64_t in_file_ = 0;  // the records before this offset lie in the file, the rest in memory_
  std::string memory_;
  std::vector<Window> windows_;
  mutable std::mutex reading_;  // of the file
};
