#include "archive/archive_json.h"

namespace krm::archive {
namespace {

// Reads a JSON object or array whose members are all strings, each turned back into station
// bytes; every other value, a nested container or a string no StoredText made stops the parse.
class StringMembers : public nlohmann::json_sax<Json> {
 public:
  explicit StringMembers(bool object) : object_(object) {}

  KeyValueList members;

  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return true; }
  bool end_array() override { return true; }
  bool key(string_t& name) override {
    auto bytes = StationBytes(name);
    if (!bytes) return false;
    members.emplace_back(std::move(*bytes), std::string());
    return true;
  }
  bool string(string_t& value) override {
    auto bytes = StationBytes(value);
    if (!bytes) return false;
    if (object_) {
      members.back().second = std::move(*bytes);
    } else {
      members.emplace_back(std::move(*bytes), std::string());
    }
    return true;
  }
  bool null() override { return false; }
  bool boolean(bool) override { return false; }
  bool number_integer(number_integer_t) override { return false; }
  bool number_unsigned(number_unsigned_t) override { return false; }
  bool number_float(number_float_t, const string_t&) override { return false; }
  bool binary(binary_t&) override { return false; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) override {
    return false;
  }

 private:
  bool Open(bool object) {
    if (opened_ || object != object_) return false;
    opened_ = true;
    return true;
  }
  bool object_;
  bool opened_ = false;
};

std::optional<KeyValueList> Parse(std::string_view json, bool object) {
  StringMembers members(object);
  if (!Json::sax_parse(json, &members)) return std::nullopt;
  return std::move(members.members);
}

}  // namespace

void AppendMember(std::string_view key, std::string_view value, Json* object) {
  object->get_ref<Json::object_t&>().emplace_back(StoredText(key), StoredText(value));
}

std::string JsonObject(const KeyValueList& pairs) {
  Json object = Json::object();
  object.get_ref<Json::object_t&>().reserve(pairs.size());
  for (const auto& [key, value] : pairs) AppendMember(key, value, &object);
  return object.dump();
}

std::string JsonArray(const std::vector<std::string>& items) {
  Json array = Json::array();
  for (const std::string& item : items) array.push_back(StoredText(item));
  return array.dump();
}

std::optional<KeyValueList> ParseJsonObject(std::string_view json) {
  return Parse(json, true);
}

std::optional<std::vector<std::string>> ParseJsonArray(std::string_view json) {
  auto members = Parse(json, false);
  if (!members) return std::nullopt;
  std::vector<std::string> items;
  items.reserve(members->size());
  for (auto& member : *members) items.push_back(std::move(member.first));
  return items;
}

}  // namespace krm::archive
