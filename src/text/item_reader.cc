#include "text/item_reader.h"

namespace krm::text {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

}  // namespace

ItemReader::ItemReader(std::string_view text) : text_(text) {}

// Consumes one comma or one line end (CR LF counts as one) at the current position.
void ItemReader::SkipDelimiter() {
  if (AtEnd()) return;
  const char c = text_[pos_++];
  if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
}

std::optional<std::string_view> ItemReader::Next() {
  if (AtEnd()) return std::nullopt;
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;

  std::string_view item;
  if (pos_ < text_.size() && text_[pos_] == '"') {
    const std::size_t begin = pos_ + 1;
    std::size_t end = text_.find('"', begin);
    if (end == std::string_view::npos) end = text_.size();
    item = text_.substr(begin, end - begin);
    pos_ = end < text_.size() ? end + 1 : end;
    // Whatever follows the closing quote up to the delimiter does not belong to the item.
    while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) ++pos_;
  } else {
    const std::size_t begin = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) ++pos_;
    std::size_t end = pos_;
    while (end > begin && IsBlank(text_[end - 1])) --end;
    item = text_.substr(begin, end - begin);
  }
  SkipDelimiter();
  return item;
}

std::vector<std::string_view> ReadItems(std::string_view text) {
  std::vector<std::string_view> items;
  ItemReader reader(text);
  while (auto item = reader.Next()) items.push_back(*item);
  return items;
}

std::optional<KeyValue> SplitItem(std::string_view item) {
  const std::size_t eq = item.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{item.substr(0, eq), item.substr(eq + 1)};
}

}  // namespace krm::text
