// Finds members of a JSON text by their dotted paths, and cuts members out of
// the text leaving every other byte as it was. Parsing is RapidJSON's (SAX,
// iterative, UTF-8 validated); only the members asked for are kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/byte_ranges.h"

// The deepest nesting read, the root counted: Chromium's readers refuse 200
// nested containers and read 199 (kAbsoluteMaxDepth, base/json/json_common.h),
// renaming a deeper Preferences to Preferences.bad.
constexpr int kLargestJsonDepth = 199;

// One member found at a path asked for.
struct JsonMember {
  enum class Kind { kNull, kFalse, kTrue, kNumber, kString, kArray, kObject };
  // The keys from the root, joined with '.' (none holds one); "[]" is each
  // element of an array: "engines.[].id".
  std::string path;
  Kind kind = Kind::kNull;
  std::string text;                  // a string's value, a number as written
  std::vector<std::string> strings;  // an array's string elements
  bool only_strings = true;          // an array holding nothing but strings
  std::vector<std::string> keys;     // an object's member names, in order
  // The bytes of "key": value, from the key's opening quote to the value's
  // last byte, and the object it is a member of.
  std::size_t key_begin = 0;
  std::size_t value_end = 0;
  int object = 0;  // numbers the enclosing objects in the order they open
  // An object's or array's own number, which its members' `object` holds.
  int container = 0;
};

struct JsonScan {
  std::vector<JsonMember> members;  // in text order
  // Every member of each object a found member is in: where it starts and
  // ends, so a cut can take the right comma.
  struct Sibling {
    int object = 0;
    std::size_t key_begin = 0;
    std::size_t value_end = 0;
  };
  std::vector<Sibling> siblings;
};

// Why a text was not scanned.
enum class JsonFault {
  kNone,
  kNotJson,       // not one whole JSON value, or not UTF-8
  kTooDeep,       // nested deeper than kLargestJsonDepth
  kDuplicateKey,  // a name twice in an object on a path asked for
};

// Scans `json` for the members at `paths` ("a.b.c": member c of member b of
// member a; "a.*.c": member c of every member of a; "a.[].c": member c of
// every object in the array a; a member whose own name holds a '.' is on no
// path). The objects
// leading to a path are checked for names given twice; a text with one is
// refused, since a reader that keeps the first and one that keeps the last
// would see different settings.
JsonFault ScanJsonMembers(std::string_view json, const std::vector<std::string>& paths,
                          JsonScan* scan);

// The bytes of the scanned text that hold the given members or elements
// (each from `scan`), with the comma that separated each from its
// neighbours: without them the text is still JSON, every other byte kept.
ByteRanges JsonMemberRanges(const JsonScan& scan, const std::vector<const JsonMember*>& cut);

// `json` without those members.
std::string CutJsonMembers(std::string_view json, const JsonScan& scan,
                           const std::vector<const JsonMember*>& cut);
