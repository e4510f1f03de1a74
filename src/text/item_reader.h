// ItemReader: the measurement file read item by item, the way the report export and the recut
// candidate writer walk through it (rather than key by key, as the profile reader does).
//
// An item ends at a comma or at the end of a line (CR LF, LF or CR); a blank line is one empty
// item and the last line needs no line end. Leading blanks (spaces, tabs) are skipped and trailing
// blanks of an unquoted item dropped. An item that starts with a double quote runs to the next
// double quote, even across line ends, and loses both quotes; the rest up to the delimiter is
// ignored. Bytes are items' bytes: a UTF-8 byte-order mark at the start is part of the first item
// (the section line), so that a copy made item by item keeps it.
//
// Items are views into the text given to the reader, which must outlive them. In a measurement
// file the first item is the section line; every further item is expected to read KEY=VALUE,
// which SplitItem takes apart.
#ifndef KRM_TEXT_ITEM_READER_H_
#define KRM_TEXT_ITEM_READER_H_

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace krm::text {

class ItemReader {
 public:
  explicit ItemReader(std::string_view text);

  // True once every item has been read (the file's end-of-file test).
  bool AtEnd() const { return pos_ >= text_.size(); }
  // The next item; no value when the text is used up (reading past the end of the file).
  std::optional<std::string_view> Next();

 private:
  void SkipDelimiter();
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Every item of `text` in order.
std::vector<std::string_view> ReadItems(std::string_view text);

// An item taken apart at its first "=": the text before it and the (possibly empty) text after
// it, neither trimmed.
struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// No value when the item holds no "=" (an item that cannot be split).
std::optional<KeyValue> SplitItem(std::string_view item);

}  // namespace krm::text

#endif  // KRM_TEXT_ITEM_READER_H_
