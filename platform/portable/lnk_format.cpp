#include "platform/portable/lnk_format.h"

#include <cctype>
#include <cstring>

#include "platform/portable/cp936.h"

namespace lnk {
namespace {

constexpr std::size_t kHeaderSize = 0x4C;
// {00021401-0000-0000-C000-000000000046}, the shell link class, as stored.
constexpr unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, My Computer, as stored.
constexpr unsigned char kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                                0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
constexpr std::uint32_t kFileEntryExtension = 0xBEEF0004;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;
constexpr std::size_t kEnvironmentAnsiSize = 260;
constexpr std::size_t kEnvironmentUnicodeSize = 520;
constexpr std::uint32_t kLinkInfoHeaderAnsi = 0x1C;
constexpr std::uint32_t kLinkInfoHeaderUnicode = 0x24;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 1;
constexpr std::uint32_t kCommonNetworkRelativeLinkAndPathSuffix = 2;
constexpr std::uint32_t kDriveFixed = 3;

// A byte range of the file. Every read checks that it stays inside the
// range and fails otherwise; nothing is ever read past its end.
class Range {
 public:
  explicit Range(std::string_view bytes) : bytes_(bytes) {}

  std::size_t size() const { return bytes_.size(); }
  bool Has(std::size_t at, std::size_t count) const {
    return at <= bytes_.size() && count <= bytes_.size() - at;
  }
  const unsigned char* At(std::size_t at) const {
    return reinterpret_cast<const unsigned char*>(bytes_.data()) + at;
  }
  // [at, at + count); the caller has checked Has(at, count).
  Range Sub(std::size_t at, std::size_t count) const { return Range(bytes_.substr(at, count)); }

  bool U8(std::size_t at, std::uint8_t* value) const {
    if (!Has(at, 1)) return false;
    *value = At(at)[0];
    return true;
  }
  bool U16(std::size_t at, std::uint16_t* value) const {
    if (!Has(at, 2)) return false;
    const unsigned char* p = At(at);
    *value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
  }
  bool U32(std::size_t at, std::uint32_t* value) const {
    if (!Has(at, 4)) return false;
    const unsigned char* p = At(at);
    *value = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return true;
  }

  // A zero-terminated ANSI string at `at` whose terminator is inside the range.
  std::optional<Text> Ansi(std::size_t at) const {
    if (at >= size()) return std::nullopt;
    const void* zero = std::memchr(At(at), 0, size() - at);
    if (zero == nullptr) return std::nullopt;
    return Text(reinterpret_cast<const char*>(At(at)),
                static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - At(at)));
  }
  // A zero-terminated UTF-16LE string at `at` whose terminator is inside the range.
  std::optional<Text> Unicode(std::size_t at) const {
    for (std::size_t end = at; Has(end, 2); end += 2) {
      if (At(end)[0] == 0 && At(end)[1] == 0) return Utf16LeToCp936(At(at), (end - at) / 2);
    }
    return std::nullopt;
  }

 private:
  std::string_view bytes_;
};

// The name of a file entry shell item (class type 0x30 to 0x3F):
//   +0x00 u16 size, +0x02 u8 class type (0x01 folder, 0x02 file, 0x04 the
//   primary name is UTF-16), +0x03 u8 unknown, +0x04 u32 file size,
//   +0x08 u32 modification FAT date and time, +0x0C u16 file attributes,
//   +0x0E the primary (often 8.3) name, zero-terminated, then extension
//   blocks; the item's last u16 is the offset of its first extension block.
// The file entry extension block (signature 0xBEEF0004):
//   +0x00 u16 size, +0x02 u16 version, +0x04 u32 signature,
//   +0x08 u32 creation and +0x0C u32 access FAT date and time,
//   +0x10 u16 identifier; from version 7: +0x12 u16 unknown, +0x14 u64 file
//   reference, +0x1C u64 unknown; then u16 localized-name size; from version
//   9 a u32, from version 8 a u32, all unknown; then the long name,
//   zero-terminated UTF-16LE.
// The long name when the extension block has one, else the primary name.
std::optional<Text> FileEntryName(const Range& item, std::uint8_t class_type) {
  std::uint16_t extension_at = 0;
  std::uint16_t extension_size = 0;
  std::uint16_t version = 0;
  std::uint32_t signature = 0;
  if (item.size() >= 0x10 && item.U16(item.size() - 2, &extension_at) && extension_at >= 0x0E &&
      item.U16(extension_at, &extension_size) && item.Has(extension_at, extension_size) &&
      item.U16(extension_at + 2u, &version) && item.U32(extension_at + 4u, &signature) &&
      signature == kFileEntryExtension && version >= 3) {
    const Range extension = item.Sub(extension_at, extension_size);
    const std::size_t name_at =
        0x12 + (version >= 7 ? 0x12 : 0) + 2 + (version >= 9 ? 4 : 0) + (version >= 8 ? 4 : 0);
    std::optional<Text> long_name = extension.Unicode(name_at);
    if (long_name && !long_name->empty()) return long_name;
  }
  return (class_type & 0x04) ? item.Unicode(0x0E) : item.Ansi(0x0E);
}

// Follows an ID list item by item and tells the file-system path it names:
// the My Computer root, a drive, then file entries. Any other item (a known
// folder, a network place, a control panel item...), or one too short for
// the names it should hold, means the list names no path that can be told
// without the shell's namespace; the target then comes from elsewhere.
class IdListPath {
 public:
  void Add(const Range& item) {
    std::uint8_t class_type = 0;
    if (state_ == kNone || !item.U8(2, &class_type)) {
      state_ = kNone;
      return;
    }
    switch (state_) {
      case kRoot:
        // Root folder item: +0x02 u8 class type 0x1F, +0x03 u8 sort index,
        // +0x04 the folder's 16-byte class id.
        state_ = (class_type == 0x1F && item.Has(4, 16) &&
                  std::memcmp(item.At(4), kMyComputerClsid, 16) == 0)
                     ? kVolume
                     : kNone;
        return;
      case kVolume: {
        // Volume item: +0x02 u8 class type 0x20 to 0x2F (0x2E is a shell
        // folder named by class id), +0x03 the drive, "C:\", zero-terminated.
        std::optional<Text> drive;
        if (class_type >= 0x20 && class_type <= 0x2F && class_type != 0x2E) drive = item.Ansi(3);
        if (!drive || drive->size() < 2 || (*drive)[1] != ':' ||
            !std::isalpha(static_cast<unsigned char>((*drive)[0]))) {
          state_ = kNone;
          return;
        }
        path_ = drive->substr(0, 2) + "\\";
        state_ = kEntries;
        return;
      }
      case kEntries: {
        std::optional<Text> name;
        if ((class_type & 0xF0) == 0x30) name = FileEntryName(item, class_type);
        if (!name || name->empty()) {
          state_ = kNone;
          return;
        }
        if (path_.back() != '\\') path_ += '\\';
        path_ += *name;
        return;
      }
      case kNone:
        return;
    }
  }

  std::optional<Text> Result() const {
    if (state_ != kEntries) return std::nullopt;
    return path_;
  }

 private:
  enum State { kRoot, kVolume, kEntries, kNone };
  State state_ = kRoot;
  Text path_;
};

// LinkTargetIDList, right after the header:
//   +0x00 u16 IDListSize: the bytes of the item list that follows
//   +0x02 the ItemIDs, each a u16 ItemIDSize (counting itself) and its data,
//         then a u16 0 TerminalID, which is the list's last two bytes.
bool ReadIdList(const Range& file, std::size_t* pos, LinkData* link) {
  std::uint16_t list_size = 0;
  if (!file.U16(*pos, &list_size) || !file.Has(*pos + 2, list_size)) return false;
  const Range list = file.Sub(*pos + 2, list_size);
  IdListPath path;
  std::size_t at = 0;
  for (;;) {
    std::uint16_t item_size = 0;
    if (!list.U16(at, &item_size)) return false;
    if (item_size == 0) break;
    // Each item moves at least two bytes on, so the walk ends within the list.
    if (item_size < 2 || !list.Has(at, item_size)) return false;
    path.Add(list.Sub(at, item_size));
    at += item_size;
  }
  if (at + 2 != list.size()) return false;
  link->id_list_path = path.Result();
  *pos += 2 + list_size;
  return true;
}

// A string of LinkInfo at `offset` from its start, or nullopt when the
// offset or the string reaches outside it.
std::optional<Text> LinkInfoString(const Range& info, std::uint32_t offset, std::uint32_t header,
                                   bool unicode) {
  if (offset < header) return std::nullopt;
  return unicode ? info.Unicode(offset) : info.Ansi(offset);
}

// LinkInfo, after the ID list:
//   +0x00 u32 LinkInfoSize (counting itself)
//   +0x04 u32 LinkInfoHeaderSize: 0x1C, or 0x24 or more with the Unicode offsets
//   +0x08 u32 LinkInfoFlags: 1 VolumeIDAndLocalBasePath,
//             2 CommonNetworkRelativeLinkAndPathSuffix
//   +0x0C u32 VolumeIDOffset
//   +0x10 u32 LocalBasePathOffset (ANSI)
//   +0x14 u32 CommonNetworkRelativeLinkOffset
//   +0x18 u32 CommonPathSuffixOffset (ANSI)
//   +0x1C u32 LocalBasePathOffsetUnicode, only with a header of 0x24 or more
//   +0x20 u32 CommonPathSuffixOffsetUnicode, likewise
// Offsets count from the start of LinkInfo; whatever they point at must lie
// inside it. A Unicode string, where there is one, is what the shell uses.
bool ReadLinkInfo(const Range& file, std::size_t* pos, LinkData* link) {
  std::uint32_t size = 0, header = 0, flags = 0, volume_offset = 0, local_offset = 0,
                network_offset = 0, suffix_offset = 0, local_offset_w = 0, suffix_offset_w = 0;
  if (!file.U32(*pos, &size) || size < kLinkInfoHeaderAnsi || !file.Has(*pos, size)) return false;
  const Range info = file.Sub(*pos, size);
  if (!info.U32(0x04, &header) || !info.U32(0x08, &flags) || !info.U32(0x0C, &volume_offset) ||
      !info.U32(0x10, &local_offset) || !info.U32(0x14, &network_offset) ||
      !info.U32(0x18, &suffix_offset)) {
    return false;
  }
  if (header != kLinkInfoHeaderAnsi && header < kLinkInfoHeaderUnicode) return false;
  if (header > size) return false;
  const bool has_unicode = header >= kLinkInfoHeaderUnicode;
  if (has_unicode && (!info.U32(0x1C, &local_offset_w) || !info.U32(0x20, &suffix_offset_w))) {
    return false;
  }

  LinkInfo result;
  if (flags & kVolumeIdAndLocalBasePath) {
    // VolumeID: +0x00 u32 VolumeIDSize (over 0x10), +0x04 u32 DriveType,
    // +0x08 u32 DriveSerialNumber, +0x0C u32 VolumeLabelOffset, then the
    // label. Only checked to fit: the label is not kept.
    std::uint32_t volume_size = 0;
    if (volume_offset < header || !info.U32(volume_offset, &volume_size) || volume_size <= 0x10 ||
        !info.Has(volume_offset, volume_size)) {
      return false;
    }
    std::optional<Text> local = LinkInfoString(info, local_offset, header, false);
    if (!local) return false;
    if (has_unicode && local_offset_w != 0) {
      local = LinkInfoString(info, local_offset_w, header, true);
      if (!local) return false;
    }
    result.local_base_path = std::move(local);
  }
  if (flags & kCommonNetworkRelativeLinkAndPathSuffix) {
    // CommonNetworkRelativeLink: +0x00 u32 size (0x14 or more), +0x04 u32
    // flags (1 ValidDevice, 2 ValidNetType), +0x08 u32 NetNameOffset (ANSI),
    // +0x0C u32 DeviceNameOffset, +0x10 u32 NetworkProviderType; when
    // NetNameOffset is above 0x14: +0x14 u32 NetNameOffsetUnicode, +0x18 u32
    // DeviceNameOffsetUnicode. Offsets count from the structure's start.
    std::uint32_t network_size = 0, name_offset = 0, name_offset_w = 0;
    if (network_offset < header || !info.U32(network_offset, &network_size) ||
        network_size < 0x14 || !info.Has(network_offset, network_size)) {
      return false;
    }
    const Range network = info.Sub(network_offset, network_size);
    if (!network.U32(0x08, &name_offset) || name_offset < 0x14) return false;
    std::optional<Text> name = network.Ansi(name_offset);
    if (!name) return false;
    if (name_offset > 0x14) {
      if (!network.U32(0x14, &name_offset_w)) return false;
      if (name_offset_w != 0) {
        name = name_offset_w >= 0x1C ? network.Unicode(name_offset_w) : std::nullopt;
        if (!name) return false;
      }
    }
    result.net_name = std::move(name);
  }
  if (suffix_offset != 0) {
    std::optional<Text> suffix = LinkInfoString(info, suffix_offset, header, false);
    if (!suffix) return false;
    result.common_path_suffix = std::move(*suffix);
  }
  if (has_unicode && suffix_offset_w != 0) {
    std::optional<Text> suffix = LinkInfoString(info, suffix_offset_w, header, true);
    if (!suffix) return false;
    result.common_path_suffix = std::move(*suffix);
  }
  link->link_info = std::move(result);
  *pos += size;
  return true;
}

// One StringData string: u16 CountCharacters, then that many characters,
// UTF-16LE (two bytes each) when IsUnicode is set, else ANSI bytes; no
// terminator is stored, though some writers add one, so the string ends at
// its first zero character.
bool ReadString(const Range& file, std::size_t* pos, bool unicode, std::optional<Text>* out) {
  std::uint16_t count = 0;
  if (!file.U16(*pos, &count)) return false;
  const std::size_t bytes = unicode ? 2u * count : count;
  if (!file.Has(*pos + 2, bytes)) return false;
  const unsigned char* at = file.At(*pos + 2);
  if (unicode) {
    *out = Utf16LeToCp936(at, count);
  } else {
    const void* zero = std::memchr(at, 0, bytes);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - at) : bytes;
    *out = Text(reinterpret_cast<const char*>(at), length);
  }
  *pos += 2 + bytes;
  return true;
}

// ExtraData: blocks of u32 BlockSize (counting itself, 8 or more) and u32
// BlockSignature and their data, up to a TerminalBlock: a u32 below 4.
// The EnvironmentVariableDataBlock (0xA0000001), BlockSize 0x314:
//   +0x08 260 bytes TargetAnsi, zero-terminated ANSI
//   +0x10C 520 bytes TargetUnicode, zero-terminated UTF-16LE
// Bytes after the terminator of either may be left over from before.
bool ReadExtraData(const Range& file, std::size_t* pos, LinkData* link) {
  for (;;) {
    std::uint32_t block_size = 0, signature = 0;
    if (!file.U32(*pos, &block_size)) return false;
    if (block_size < 4) {
      *pos += 4;
      return true;
    }
    // Each block moves at least eight bytes on, so the walk ends within the file.
    if (block_size < 8 || !file.Has(*pos, block_size) || !file.U32(*pos + 4, &signature)) {
      return false;
    }
    if (signature == kEnvironmentVariableBlock) {
      if (block_size != kEnvironmentBlockSize) return false;
      const Range block = file.Sub(*pos, block_size);
      std::optional<Text> ansi = block.Sub(8, kEnvironmentAnsiSize).Ansi(0);
      std::optional<Text> unicode =
          block.Sub(8 + kEnvironmentAnsiSize, kEnvironmentUnicodeSize).Unicode(0);
      if (!ansi || !unicode) return false;
      link->env_target = EnvironmentTarget{std::move(*ansi), std::move(*unicode)};
    }
    link->extra_blocks.push_back(signature);
    *pos += block_size;
  }
}

// Writes little-endian fields.
class Writer {
 public:
  void U16(std::uint32_t value) {
    out_ += static_cast<char>(value & 0xFF);
    out_ += static_cast<char>((value >> 8) & 0xFF);
  }
  void U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    U16(value >> 16);
  }
  void Bytes(const void* data, std::size_t size) {
    out_.append(static_cast<const char*>(data), size);
  }
  void Zeros(std::size_t count) { out_.append(count, '\0'); }
  std::string& out() { return out_; }

 private:
  std::string out_;
};

// True when the last character of `text` is a backslash, and not the second
// byte of a double-byte character.
bool EndsWithBackslash(const Text& text) {
  bool backslash = false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    backslash = text[at] == '\\';
    if (IsLeadByte(static_cast<unsigned char>(text[at]))) ++at;
  }
  return backslash;
}

// A text as the C functions see it: up to its first zero byte.
Text UpToZero(const Text& text) { return text.substr(0, text.find('\0')); }

// The largest LinkInfo path the writer stores; no Windows path comes near it.
constexpr std::size_t kMaxLinkInfoPath = 0xFFFF;

bool WriteLinkInfo(const Text& local_base_path, const Text& common_path_suffix, Writer* out) {
  const Text local = UpToZero(local_base_path);
  const Text suffix = UpToZero(common_path_suffix);
  if (local.size() > kMaxLinkInfoPath || suffix.size() > kMaxLinkInfoPath) return false;
  // VolumeID of a fixed drive with no serial number and an empty label.
  const std::uint32_t volume_size = 0x11;
  const std::uint32_t volume_offset = kLinkInfoHeaderAnsi;
  const std::uint32_t local_offset = volume_offset + volume_size;
  const auto suffix_offset = static_cast<std::uint32_t>(local_offset + local.size() + 1);
  const auto size = static_cast<std::uint32_t>(suffix_offset + suffix.size() + 1);
  out->U32(size);
  out->U32(kLinkInfoHeaderAnsi);
  out->U32(kVolumeIdAndLocalBasePath);
  out->U32(volume_offset);
  out->U32(local_offset);
  out->U32(0);  // no CommonNetworkRelativeLink
  out->U32(suffix_offset);
  out->U32(volume_size);
  out->U32(kDriveFixed);
  out->U32(0);     // serial number
  out->U32(0x10);  // label offset: the empty label right after
  out->Zeros(1);
  out->Bytes(local.data(), local.size() + 1);
  out->Bytes(suffix.data(), suffix.size() + 1);
  return true;
}

bool WriteString(const std::optional<Text>& text, Writer* out) {
  if (!text) return true;
  const std::string wide = Cp936ToUtf16Le(*text);
  if (wide.size() / 2 > 0xFFFF) return false;
  out->U16(static_cast<std::uint32_t>(wide.size() / 2));
  out->Bytes(wide.data(), wide.size());
  return true;
}

bool WriteEnvironmentBlock(const EnvironmentTarget& target, Writer* out) {
  const Text ansi = UpToZero(target.ansi);
  const std::string wide = Cp936ToUtf16Le(target.unicode);
  // Each copy keeps room for its terminator.
  if (ansi.size() >= kEnvironmentAnsiSize || wide.size() >= kEnvironmentUnicodeSize) return false;
  out->U32(kEnvironmentBlockSize);
  out->U32(kEnvironmentVariableBlock);
  out->Bytes(ansi.data(), ansi.size());
  out->Zeros(kEnvironmentAnsiSize - ansi.size());
  out->Bytes(wide.data(), wide.size());
  out->Zeros(kEnvironmentUnicodeSize - wide.size());
  return true;
}

}  // namespace

std::optional<LinkData> ParseLink(std::string_view bytes) {
  if (bytes.size() > kMaxLinkFileSize) return std::nullopt;
  const Range file(bytes);
  LinkData link;

  // ShellLinkHeader, 0x4C bytes:
  //   0x00 u32 HeaderSize, 0x4C
  //   0x04 16 bytes LinkCLSID, {00021401-0000-0000-C000-000000000046}
  //   0x14 u32 LinkFlags
  //   0x18 u32 FileAttributes
  //   0x1C, 0x24, 0x2C FILETIME CreationTime, AccessTime, WriteTime (not kept)
  //   0x34 u32 FileSize (not kept)
  //   0x38 i32 IconIndex
  //   0x3C u32 ShowCommand
  //   0x40 u16 HotKey
  //   0x42 u16 Reserved1, 0x44 u32 Reserved2, 0x48 u32 Reserved3
  std::uint32_t header_size = 0, icon_index = 0;
  if (!file.Has(0, kHeaderSize) || !file.U32(0x00, &header_size) || header_size != kHeaderSize ||
      std::memcmp(file.At(0x04), kShellLinkClsid, sizeof kShellLinkClsid) != 0 ||
      !file.U32(0x14, &link.flags) || !file.U32(0x18, &link.file_attributes) ||
      !file.U32(0x38, &icon_index) || !file.U32(0x3C, &link.show_command) ||
      !file.U16(0x40, &link.hotkey)) {
    return std::nullopt;
  }
  link.icon_index = static_cast<std::int32_t>(icon_index);

  std::size_t pos = kHeaderSize;
  if ((link.flags & kHasLinkTargetIdList) && !ReadIdList(file, &pos, &link)) return std::nullopt;
  if ((link.flags & kHasLinkInfo) && !ReadLinkInfo(file, &pos, &link)) return std::nullopt;

  // StringData, each string present when its flag is set, in this order.
  const bool unicode = (link.flags & kIsUnicode) != 0;
  const struct {
    std::uint32_t flag;
    std::optional<Text>* field;
  } strings[] = {
      {kHasName, &link.name},
      {kHasRelativePath, &link.relative_path},
      {kHasWorkingDir, &link.working_dir},
      {kHasArguments, &link.arguments},
      {kHasIconLocation, &link.icon_location},
  };
  for (const auto& string : strings) {
    if ((link.flags & string.flag) && !ReadString(file, &pos, unicode, string.field)) {
      return std::nullopt;
    }
  }

  if (!ReadExtraData(file, &pos, &link)) return std::nullopt;
  link.size = pos;
  return link;
}

std::optional<std::string> SerializeLink(const LinkData& link) {
  const bool has_local = link.link_info && link.link_info->local_base_path;
  std::uint32_t flags = kIsUnicode;
  if (has_local) flags |= kHasLinkInfo;
  if (link.name) flags |= kHasName;
  if (link.relative_path) flags |= kHasRelativePath;
  if (link.working_dir) flags |= kHasWorkingDir;
  if (link.arguments) flags |= kHasArguments;
  if (link.icon_location) flags |= kHasIconLocation;
  if (link.env_target) flags |= kHasExpString;

  Writer out;
  out.U32(kHeaderSize);
  out.Bytes(kShellLinkClsid, sizeof kShellLinkClsid);
  out.U32(flags);
  out.U32(link.file_attributes);
  out.Zeros(3 * 8 + 4);  // the three times and the file size
  out.U32(static_cast<std::uint32_t>(link.icon_index));
  out.U32(link.show_command);
  out.U16(link.hotkey);
  out.Zeros(2 + 4 + 4);

  if (has_local &&
      !WriteLinkInfo(*link.link_info->local_base_path, link.link_info->common_path_suffix, &out)) {
    return std::nullopt;
  }
  for (const std::optional<Text>* string :
       {&link.name, &link.relative_path, &link.working_dir, &link.arguments, &link.icon_location}) {
    if (!WriteString(*string, &out)) return std::nullopt;
  }
  if (link.env_target && !WriteEnvironmentBlock(*link.env_target, &out)) return std::nullopt;
  out.U32(0);  // TerminalBlock
  return std::move(out.out());
}

Text ShellTarget(const LinkData& link, const Expander* expand) {
  if (link.flags & kHasDarwinId) return Text();
  if ((link.flags & kHasExpString) && !(link.flags & kDisableLinkPathTracking) && link.env_target) {
    const Text& stored =
        link.env_target->unicode.empty() ? link.env_target->ansi : link.env_target->unicode;
    if (!stored.empty()) return expand ? (*expand)(stored) : stored;
  }
  if (link.id_list_path) return *link.id_list_path;
  if (link.link_info && !(link.flags & kForceNoLinkInfo)) {
    const LinkInfo& info = *link.link_info;
    if (info.local_base_path) return *info.local_base_path + info.common_path_suffix;
    if (info.net_name) {
      // The network name may or may not end in a backslash.
      if (info.common_path_suffix.empty() || EndsWithBackslash(*info.net_name)) {
        return *info.net_name + info.common_path_suffix;
      }
      return *info.net_name + "\\" + info.common_path_suffix;
    }
  }
  if (link.relative_path) return *link.relative_path;
  return Text();
}

}  // namespace lnk
