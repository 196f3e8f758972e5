// The shell link (.lnk) file format: our own reader and writer, for the
// platform without the Windows shell. Layout and field meanings follow the
// published Windows shell link format ([MS-SHLLINK]); each record is
// described field by field where lnk_format.cpp reads it.
//
// Every text here is in code page 936, as everywhere in the program: UTF-16
// strings of the file are converted (cp936.h), ANSI ones taken as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace lnk {

// LinkFlags (header offset 0x14): each optional structure is present exactly
// when its bit is set.
constexpr std::uint32_t kHasLinkTargetIdList = 0x00000001;
constexpr std::uint32_t kHasLinkInfo = 0x00000002;
constexpr std::uint32_t kHasName = 0x00000004;
constexpr std::uint32_t kHasRelativePath = 0x00000008;
constexpr std::uint32_t kHasWorkingDir = 0x00000010;
constexpr std::uint32_t kHasArguments = 0x00000020;
constexpr std::uint32_t kHasIconLocation = 0x00000040;
constexpr std::uint32_t kIsUnicode = 0x00000080;
constexpr std::uint32_t kForceNoLinkInfo = 0x00000100;
constexpr std::uint32_t kHasExpString = 0x00000200;
constexpr std::uint32_t kHasDarwinId = 0x00001000;
constexpr std::uint32_t kDisableLinkPathTracking = 0x00100000;

// Signatures of the extra data blocks this codec looks into.
constexpr std::uint32_t kEnvironmentVariableBlock = 0xA0000001;
constexpr std::uint32_t kDarwinBlock = 0xA0000006;

// The show command of a new link (SW_SHOWNORMAL).
constexpr std::uint32_t kShowNormal = 1;

// The largest file the reader takes. Real links are a few kilobytes; the
// largest one we have seen is 68 KB, a link with data appended after its
// end. Anything bigger is not a link worth reading, and the bound keeps a
// hostile file from making the reader hold much memory.
constexpr std::size_t kMaxLinkFileSize = 1 << 20;

// The LinkInfo structure: where the target was when the link was made.
struct LinkInfo {
  std::optional<Text> local_base_path;  // the target on a local volume
  std::optional<Text> net_name;         // the share (\\server\share) it is on
  Text common_path_suffix;              // the rest of the path after either
};

// An EnvironmentVariableDataBlock: the target with %VAR% forms left in.
struct EnvironmentTarget {
  Text ansi;     // the block's ANSI copy
  Text unicode;  // the block's UTF-16 copy, converted
};

struct LinkData {
  // Header. On reading, `flags` is the stored word; on writing it is ignored
  // and derived from the fields that are present.
  std::uint32_t flags = 0;
  std::uint32_t file_attributes = 0;
  std::uint32_t show_command = kShowNormal;
  std::uint16_t hotkey = 0;  // low byte the virtual key, high byte the modifiers
  std::int32_t icon_index = 0;

  // The path the target ID list names when it is a file-system path below
  // My Computer ("C:\dir\file.exe"); not written.
  std::optional<Text> id_list_path;
  std::optional<LinkInfo> link_info;

  // StringData, each present or not.
  std::optional<Text> name;  // the description
  std::optional<Text> relative_path;
  std::optional<Text> working_dir;
  std::optional<Text> arguments;
  std::optional<Text> icon_location;

  std::optional<EnvironmentTarget> env_target;

  // Read only: the signatures of the extra data blocks in file order, and the
  // number of bytes up to and including the terminal block.
  std::vector<std::uint32_t> extra_blocks;
  std::size_t size = 0;
};

// The link in `bytes`, or nullopt when they are not a whole, well-formed
// link: a wrong header size or class id, any size, offset or count that
// reaches outside its structure or the file, an ID list or extra data list
// without its terminator, a file above kMaxLinkFileSize. Bytes after the
// terminal block are ignored.
std::optional<LinkData> ParseLink(std::string_view bytes);

// The file for `link`: the header (show command, hotkey, icon index, file
// attributes as given), a LinkInfo with the local base path in ANSI when
// `link_info` has one, the StringData present in UTF-16, an
// EnvironmentVariableDataBlock when `env_target` is set, and the terminal
// block. Nullopt when a field does not fit the format (a string over 65535
// UTF-16 units, an environment target over 259 bytes or units).
std::optional<std::string> SerializeLink(const LinkData& link);

// Replaces %VAR% forms in a target.
using Expander = std::function<Text(const Text&)>;

// The target path as the Windows shell reports it for `link`, from the first
// source that has one: none for an advertised (Darwin) link; the environment
// block when HasExpString is set and DisableLinkPathTracking is not, through
// `expand` (when null, unexpanded, as SLGP_RAWPATH asks); the ID list's
// file-system path; LinkInfo unless ForceNoLinkInfo (the local base path,
// else the network name, each followed by the common path suffix); the
// relative path. Empty when there is none.
Text ShellTarget(const LinkData& link, const Expander* expand);

}  // namespace lnk
