#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// How a JSON object of a server reply fills a record: lenient, never failing, and leaving
// a field at its default whenever the value does not fit it.
namespace intercom::mapping {

// One value read as an integer by the rule below; false (and `out` untouched) when it
// gives none.
bool integerOf(const nlohmann::json& value, std::int64_t& out);

// A number (fraction cut), a base-10 string with an optional sign, or true/false.
void mapInteger(const nlohmann::json& object, const char* key, std::int64_t& field);
// A string as it is, a number as its decimal text, true/false as "true"/"false".
void mapText(const nlohmann::json& object, const char* key, std::string& field);

// An array gives one record per element that is an object, in order; anything else
// leaves the list empty.
template <typename Record>
void mapList(const nlohmann::json& object, const char* key, std::vector<Record>& field) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) {
        return;
    }
    for (const auto& element : *found) {
        if (element.is_object()) {
            field.push_back(Record::fromJSON(element));
        }
    }
}

}  // namespace intercom::mapping

// What the stored forms need: strict reads that refuse anything but the field's own kind.
namespace intercom::stored {

bool readInteger(const nlohmann::json& object, const char* key, std::int64_t& field);
bool readText(const nlohmann::json& object, const char* key, std::string& field);
bool readBool(const nlohmann::json& object, const char* key, bool& field);

}  // namespace intercom::stored
